// Classes, inheritance, static members, attributes, instances.
class Animal </ kind = "base" /> {
  name = null;
  static count = 0;
  legs = 4;
  constructor(n) { name = n; Animal.count++; }
  function speak() { return name + " makes a sound"; }
  function describe() { return name + " has " + legs + " legs"; }
}
class Bird extends Animal {
  legs = 2;
  constructor(n) { base.constructor(n); }
  function speak() { return base.speak() + " (tweet)"; }
}
local a = Animal("cat"), b = Bird("robin");
print(a.speak() + "\n" + b.speak() + "\n" + b.describe() + "\n");
print(Animal.count + " " + (b instanceof Animal) + " " + (a instanceof Bird) + " " + (b.getclass() == Bird) + "\n");
print((Bird.getbase() == Animal) + " " + (Animal.getbase() == null) + "\n");
print(Animal.getattributes(null).kind + "\n");
class WithAttrs {
  </ min = 0, max = 10 />
  value = 5;
}
print(WithAttrs.getattributes("value").max + "\n");
WithAttrs.setattributes("value", {min = 1});
print(WithAttrs.getattributes("value").min + "\n");
local i1 = WithAttrs(), i2 = WithAttrs();
i1.value = 7;
print(i1.value + " " + i2.value + "\n");
class Shared { list = []; }
local s1 = Shared(), s2 = Shared();
s1.list.append(1);
print(s2.list.len() + "\n");
class Later {}
Later.extra <- function() { return "added"; };
Later.field <- 3;
local l = Later();
print(l.extra() + " " + l.field + "\n");
foreach (k, v in Later) print(k + " ");
print("\n");
class P { x = 1; y = 2; }
local keys = [];
foreach (k, v in P()) keys.append(k + "=" + v);
keys.sort();
print(keys[0] + " " + keys[1] + "\n");
local cloned = clone i1;
cloned.value = 100;
print(i1.value + " " + cloned.value + "\n");
print(i1.rawin("value") + " " + i1.rawget("value") + "\n");
local Anon = class { function hi() { return "anon"; } };
print(Anon().hi() + "\n");
local ns = {};
class ns.Inner { function id() { return "inner"; } }
print(ns.Inner().id() + "\n");
class Open {}
function Open::extra() { return "via ::"; }
print(Open().extra() + "\n");
try { function Animal::late() {} } catch (e) print(e + "\n");
try { local q = a.nothing; } catch (e) print(e + "\n");
try { a.nothing = 1; } catch (e) print(e + "\n");
try { class Bad extends 5 {} } catch (e) print(e + "\n");
// Making an instance of a derived class locks every class above it: the
// instance's fields were laid out from them.
class Root { r = 1; }
class Mid extends Root { m = 2; }
class Leaf extends Mid { l = 3; }
local leaf = Leaf();
try { Root.late <- 5; } catch (e) print("Root: " + e + "\n");
try { Mid.late <- 5; } catch (e) print("Mid: " + e + "\n");
print(leaf.r + " " + leaf.m + " " + leaf.l + " " + (Root() instanceof Root) + "\n");
print(Animal.instance().legs + "\n");
class Ctorless {}
print(typeof Ctorless() + "\n");
