// Functions, closures, free variables, varargs, defaults, environments.
function add(a, b = 2, c = 3) { return a + b + c; }
print(add(1) + " " + add(1, 1) + " " + add(1, 1, 1) + "\n");
try { add(); } catch (e) print(e + "\n");
try { add(1, 2, 3, 4); } catch (e) print(e + "\n");
function va(first, ...) {
  local s = "" + first + ":" + vargv.len();
  foreach (v in vargv) s += "," + v;
  return s;
}
print(va(1) + " " + va(1, 2, 3) + "\n");
local counter = function() {
  local n = 0;
  return function() { n++; return n; };
}();
counter(); counter();
print(counter() + "\n");
function makepair() {
  local v = 0;
  return [function() { v += 10; }, function() { return v; }];
}
local p = makepair();
p[0](); p[0]();
print(p[1]() + "\n");
local fns = [];
for (local i = 0; i < 3; i++) { local j = i; fns.append(function() { return j; }); }
print(fns[0]() + "" + fns[1]() + fns[2]() + "\n");
local sq = @(x) x * x;
print(sq(9) + " " + [1, 2, 3].map(@(x) x + 1)[2] + "\n");
local obj = {val = 7, function get() { return this.val; }};
local unbound = obj.get;
local other = {val = 99};
print(obj.get() + " " + unbound.call(other) + " " + unbound.bindenv(other)() + "\n");
print(add.call(this, 10) + " " + add.acall([this, 1, 1, 1]) + " " + add.pcall(this, 5) + "\n");
local info = add.getinfos();
print(info.name + " " + info.parameters.len() + " " + info.native + "\n");
local env = {x = "env"};
function showx() { return x; }
print(showx.bindenv(env)() + "\n");
x <- "root";
print(showx() + "\n");
function rec(n) { return n == 0 ? 0 : 1 + rec(n - 1); }
print(rec(200) + "\n");
function getcallee() { return callee(); }
print((getcallee() == getcallee) + "\n");
local cs = compilestring("return 6 * 7");
print(cs() + "\n");
local cs2 = compilestring("local a = vargv[0]; return a * 2;");
print(cs2(21) + "\n");
