// Register allocation and evaluation order in awkward spots.
function id(x) { return x; }
function three(a, b, c) { return a + "," + b + "," + c; }
print(three(id(1), id(id(2)), 1 + id(3) * 2) + "\n");
print(three(1 > 0 ? "y" : "n", (0 || "or"), (1 && "and")) + "\n");
local t = {a = {b = {c = 1}}, arr = [10, 20, 30], n = 0};
t.a.b.c += 5;
t.arr[1] *= 3;
t.n++;
++t.n;
print(t.a.b.c + " " + t.arr[1] + " " + t.n + " " + t.n++ + " " + t.n + "\n");
local k = "arr";
t[k][0] = t[k][2] - t[k][0];
print(t.arr[0] + "\n");
local x = 1;
local y = (x += 2) + 1;
print(x + " " + y + "\n");
local s = "";
for (local i = 0, j = 10; i < j; i += 3, j -= 1) s += i + ":" + j + " ";
print(s + "\n");
local depth = id(id(id(id(id(id(id(id(id(id("deep"))))))))));
print(depth + "\n");
local m = [[1, 2], [3, 4]];
m[1][0] = m[0][1] + m[1][1];
print(m[1][0] + "\n");
function counter() {
  local c = 0;
  return {inc = @() c += 1, dec = @() c -= 1, get = @() c};
}
local c1 = counter(), c2 = counter();
c1.inc(); c1.inc(); c2.dec();
print(c1.get() + " " + c2.get() + "\n");
function outer() {
  local a = 1;
  function mid() {
    local b = 2;
    return function() { a += 10; b += 20; return a + b; };
  }
  local f = mid();
  f();
  return f() + a;
}
print(outer() + "\n");
local fs = [];
foreach (i, v in [5, 6, 7]) fs.append(@() v);
print(fs[0]() + "" + fs[2]() + "\n");
local o = {v = 3, function get() { return v; }, function twice() { return get() * 2; }};
print(o.twice() + " " + o["get"]() + "\n");
local nested = {inner = {val = 8, function f() { return this.val; }}};
print(nested.inner.f() + "\n");
print((function(a, b) { return a * b; })(6, 7) + "\n");
local arrfn = [@(x) x + 1, @(x) x * 2];
print(arrfn[1](arrfn[0](4)) + "\n");
local cond = 0;
local r = cond == 0 ? "zero" : cond == 1 ? "one" : "many";
print(r + "\n");
local v1 = null;
local v2 = v1 || "fallback";
print(v2 + " " + (v1 == null && v2 != null) + "\n");
local big = 0;
for (local i = 0; i < 70000; i++) big += i & 1;
print(big + "\n");
local neg = -5;
print(-neg + " " + - -neg + " " + (-(neg * 2)) + " " + (2 - -2) + "\n");
local line = __LINE__;
print(line + " " + (__FILE__.find("compiler.nut") != null) + "\n");
local lotsoflocals = 0;
{
  local a1 = 1, a2 = 2, a3 = 3, a4 = 4, a5 = 5, a6 = 6, a7 = 7, a8 = 8;
  lotsoflocals = a1 + a2 + a3 + a4 + a5 + a6 + a7 + a8;
}
local after = "scope";
print(lotsoflocals + " " + after + "\n");
if (true)
  print("no braces\n")
else
  print("never\n")
local semicolonless = 1
local alsofine = 2
print(semicolonless + alsofine + "\n")
