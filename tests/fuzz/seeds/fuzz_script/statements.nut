// Control flow statements.
local a = 1, b, c = 3;
print(a + " " + b + " " + c + "\n");
if (a == 1) print("if\n"); else print("else\n");
if (a == 2) print("no\n"); else if (a == 1) print("elseif\n"); else print("no\n");
local i = 0;
while (i < 3) { print("w" + i); i++; }
print("\n");
do { print("d" + i); i--; } while (i > 0);
print("\n");
for (local j = 0; j < 10; j++) { if (j == 2) continue; if (j == 5) break; print("f" + j); }
print("\n");
for (;;) { print("inf"); break; }
print("\n");
foreach (k, v in [10, 20]) print(k + "=" + v + " ");
foreach (v in "hi") print(v + " ");
print("\n");
local t = {only = 1};
foreach (k, v in t) print(k + "=" + v + "\n");
function sw(x) {
  local out = "";
  switch (x) {
    case 1: out += "one";
    case 2: out += "two"; break;
    case "s": out += "str"; break;
    default: out += "default";
  }
  return out;
}
print(sw(1) + " " + sw(2) + " " + sw("s") + " " + sw(9) + "\n");
for (local k = 0; k < 3; k++) {
  switch (k) { case 1: continue; default: print("k" + k); }
}
print("\n");
local sum = 0;
foreach (x in [1, 2, 3, 4]) {
  foreach (y in [1, 2]) { if (y == 2) break; sum += x * y; }
}
print(sum + "\n");
const LIMIT = 3;
const NAME = "n";
enum E { A, B, C = 10, D }
print(LIMIT + NAME + " " + E.A + E.B + E.C + E.D + "\n");
local function lf(x) { return x <= 1 ? 1 : x * lf(x - 1); }
print(lf(5) + "\n");
function outer() { function inner() { return "inner"; } return inner(); }
print(outer() + "\n");
{
  local scoped = "block";
  print(scoped + "\n");
}
local ret = (function() { return; })();
print(ret + "\n");
