// Requests a hostile or careless script can make: each one is a script error
// that a try catches, and the interpreter goes on.
function attempt(name, f) {
  try {
    f();
    print(name + ": no error\n");
  } catch (e) {
    print(name + ": " + e + "\n");
  }
}

attempt("huge array", @() array(1 << 62));
attempt("huge resize", @() [1].resize(1 << 50));
attempt("negative array", @() array(-1));
attempt("array doubled", function() {
  local a = [1];
  while (true) a.extend(a);
});
attempt("string doubled", function() {
  local s = "x";
  while (true) s += s;
});
attempt("format width", @() format("%2147483647s", "x"));
attempt("format precision", @() format("%.999999999f", 1.0));
attempt("format wide number", @() format("%1024d", 7).len());
print(format("%600d|%.3f|%-5s|", 42, 3.14159, "ab").len() + "\n");

// Compiling hostile source: too deep nesting is a compile error with a line.
local function nested(open, close, n) {
  local s = "";
  for (local i = 0; i < n; i++) s += open;
  s += "1";
  for (local i = 0; i < n; i++) s += close;
  return s;
}
attempt("parentheses", @() compilestring("\n\nreturn " + nested("(", ")", 10000)));
attempt("brackets", @() compilestring("return " + nested("[", "]", 10000)));
attempt("unary", @() compilestring("return " + nested("-", "", 10000)));
attempt("blocks", @() compilestring(nested("{", "}", 10000)));
attempt("functions", @() compilestring(nested("function f() {", "}", 5000)));
attempt("classes", @() compilestring("local y = " + nested("class { x = ", "}", 5000)));
print(compilestring("return " + nested("(", ")", 100))() + "\n");

// Integer arithmetic wraps around.
local big = 0x7fffffffffffffff;
big++;
print((big == -0x7fffffffffffffff - 1) + "\n");
local small = -0x7fffffffffffffff - 1;
small--;
print((small == 0x7fffffffffffffff) + " " + (-small - 1) + "\n");

// The regexp matcher refuses what would overflow or never end.
attempt("regexp groups", @() regexp(nested("(", ")", 1000)));
local long = "";
for (local i = 0; i < 20; i++) long += "abababababababababababababababababababab";
long = long + long + long + long;
attempt("regexp deep", @() regexp("(ab)*c").search(long + long + long + long));
attempt("regexp steps", @() regexp("(a|b|ab)*(a|b|ab)*(a|b|ab)*c").match(long));
attempt("regexp on another class", function() {
  class Other {}
  regexp.constructor.call(Other(), "x");
});
attempt("regexp built twice", function() {
  local r = regexp("a");
  r.constructor("b");
});
print("still running\n");

// Conversions and the smallest integer stay defined.
local smallest = -0x7fffffffffffffff - 1;
print(abs(smallest) + " " + (1e30).tointeger() + " " + (-1e30).tointeger() + " " + "1e30".tointeger() + "\n");
try { array(1e30); } catch (e) { print(e + "\n"); }
