// Details of the language our engine once got wrong.

// Members without a value count among themselves.
enum Colour { Red, Green = 5, Blue, Grey = "g", Black }
print(Colour.Red + " " + Colour.Green + " " + Colour.Blue + " " + Colour.Grey + " " + Colour.Black + "\n");

// A class takes no new members once an instance of it exists.
class Shape { sides = 0 }
local s = Shape();
try { Shape.colour <- 1; } catch (e) { print(e + "\n"); }
Shape.sides = 3;  // an existing member may still change
print(Shape().sides + "\n");

// Control characters escape as two hexadecimal digits.
print(escape("a\nb\tc\r\x01\x7f\"'\\") + "\n");

// Too few or too many arguments name both counts, 'this' included.
function three(a, b, c = 3) { return a + b + c; }
try { three(1); } catch (e) { print(e + "\n"); }
try { three(1, 2, 3, 4); } catch (e) { print(e + "\n"); }
print(three(1, 2) + "\n");

// The balanced match \mxy takes a whole nested group.
local text = "f(a, g(b), (c+(d/e)))";
local m = regexp(@"\m()").search(text);
print(text.slice(m.begin, m.end) + "\n");
m = regexp(@"g\m()").search(text);
print(text.slice(m.begin, m.end) + "\n");
print(regexp(@"^\m[]$").match("[[a][b[c]]]") + " " + regexp(@"^\m[]$").match("[[a]") + "\n");
print(regexp(@"x\m""""y").match("x\"q\"y") + "\n");
try { regexp(@"\m("); } catch (e) { print(e + "\n"); }

// Integer modulo by zero stays an error.
try { print(5 % 0); } catch (e) { print(e + "\n"); }
