// The object base: destroying once, the deferred-deletion queue, and weak
// references that read as null once their object is gone.
#include <gtest/gtest.h>

#include "objects/base_object.h"

namespace {
struct Counting : BaseObject {
  int destroyed_calls = 0;
  void onDestroy() override { destroyed_calls++; }
};

struct ObjectModel : ::testing::Test {
  void TearDown() override { deleted_gameobjs.reset(); }
};
}  // namespace

TEST_F(ObjectModel, DestroyQueuesOnceAndLeavesTheObjectIntact) {
  Counting* a = new Counting();
  EXPECT_STREQ(a->getName(), "BaseObject");
  a->destroy();
  a->destroy();
  EXPECT_EQ(a->destroyed_calls, 1);
  EXPECT_EQ(a->flags, OBJ_DESTROYED);
  ASSERT_EQ(deleted_gameobjs.count, 1);
  EXPECT_EQ(deleted_gameobjs[0], a);
  // An object carrying any flag (being relinked, say) is not destroyed.
  Counting* b = new Counting();
  b->flags = OBJ_RELINKED;
  b->destroy();
  EXPECT_EQ(b->destroyed_calls, 0);
  EXPECT_EQ(deleted_gameobjs.count, 1);
  delete a;
  delete b;
}

TEST_F(ObjectModel, WeakReferencesReadNullAfterTheirObjectDies) {
  BaseObject* target = new BaseObject();
  WeakRef r1, r2, r3;
  set_weak_ref(r1, target);
  set_weak_ref(r2, target);
  set_weak_ref(r3, target);
  EXPECT_EQ(r2.object, target);
  // Unlinking one keeps the others in the list.
  set_weak_ref(r2, nullptr);
  EXPECT_EQ(r2.object, nullptr);
  delete target;
  for (WeakRef* r : {&r1, &r2, &r3}) {
    EXPECT_EQ(r->object, nullptr);
    EXPECT_EQ(r->link, nullptr);
    EXPECT_EQ(r->next, nullptr);
  }
}

TEST_F(ObjectModel, AWeakReferenceMovesBetweenTargets) {
  BaseObject* a = new BaseObject();
  BaseObject* b = new BaseObject();
  WeakRef r;
  set_weak_ref(r, a);
  set_weak_ref(r, b);
  EXPECT_EQ(a->weakRefs, nullptr);
  delete a;
  EXPECT_EQ(r.object, b);
  delete b;
  EXPECT_EQ(r.object, nullptr);
  // A bare target clears its references too.
  WeakRef s;
  {
    WeakRefTarget t;
    set_weak_ref(s, &t);
  }
  EXPECT_EQ(s.object, nullptr);
}
