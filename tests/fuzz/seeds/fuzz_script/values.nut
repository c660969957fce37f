// Value types, typeof/type(), conversions and printing.
local vals = [null, true, 1, 1.5, "s", {}, [], function() {}, print, class {}, 0x7fffffffffffffff];
foreach (v in vals) print(typeof v + " " + type(v) + "\n");
print(typeof newthread(function() {}) + "\n");
function g() { yield 1; }
print(typeof g() + "\n");
print(typeof ({}).weakref() + "\n");
print((10).tofloat() + " " + (2.75).tointeger() + " " + (-2.75).tointeger() + " " + (72).tochar() + "\n");
print("42".tointeger() + 1 + " " + "0x10".tointeger() + " " + "2.5".tofloat() * 2 + " " + "ff".tointeger(16) + "\n");
print((1).tostring() + (2.5).tostring() + true.tostring() + "\n");
print(1.0 + " " + 0.1 + " " + 1e10 + " " + 3.0 / 2 + " " + 1.0 / 3 + "\n");
print(_intsize_ + " " + _floatsize_ + " " + _charsize_ + " " + (_versionnumber_ >= 300) + "\n");
try { "abc".tointeger(); } catch (e) print(e + "\n");
print(true && 1 ? "t" : "f");
print((null ? "t" : "f") + (0 ? "t" : "f") + (0.0 ? "t" : "f") + ("" ? "t" : "f") + ([] ? "t" : "f") + "\n");
print(9223372036854775807 + 1 == -9223372036854775807 - 1);
print("\n");
