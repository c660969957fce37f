// The object base: destroying once, the deferred-deletion queue, and weak
// references that read as null once their object is gone.
#include <gtest/gtest.h>

#include <cstring>

#include "objects/base_object.h"
#include "objects/game_objects.h"

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

namespace {
// The dispatch slot of a virtual operation, from the platform ABI's
// representation of a member-function pointer (slot offset + 1).
template <typename F>
int slot_of(F member) {
  static_assert(sizeof(F) == 2 * sizeof(ptrdiff_t));
  ptrdiff_t raw[2];
  std::memcpy(raw, &member, sizeof(raw));
  return int((raw[0] - 1) / ptrdiff_t(sizeof(void*)));
}
}  // namespace

// The game calls these by name and the module fills them; both compile the
// same header, and the slots are the ones the camera and world generation
// rely on. The platform's destructor takes two slots, so slot n of the
// count with one destructor slot is table entry n + 1 from the destroy
// operation on.
TEST(ObjectSlots, OperationsSitInTheirFixedSlots) {
  EXPECT_EQ(slot_of(&BaseObject::destroy), 1 + 1);
  EXPECT_EQ(slot_of(&BaseObject::onDestroy), 2 + 1);
  EXPECT_EQ(slot_of(&BaseObject::getName), 3 + 1);
  EXPECT_EQ(slot_of(&GameObj::onWorldGenerate), 5 + 1);
  EXPECT_EQ(slot_of(&Player::move), 10 + 1);
  EXPECT_EQ(slot_of(&Player::eye), 16 + 1);
  EXPECT_EQ(slot_of(&Player::placeAtCamera), 17 + 1);
  // BaseObject's fields: dispatch pointer, weak-reference head, flags; then
  // the proximity bin index as GameObj's first own field.
  GameObj p;
  auto offset = [&p](const void* field) { return size_t(static_cast<const char*>(field) - reinterpret_cast<char*>(&p)); };
  EXPECT_EQ(offset(&p.weakRefs), sizeof(void*));
  EXPECT_EQ(offset(&p.flags), 2 * sizeof(void*));
  EXPECT_EQ(offset(&p.proximityBin), 2 * sizeof(void*) + 4);
}
