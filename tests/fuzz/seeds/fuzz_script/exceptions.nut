// try/catch/throw across script and native frames, and the messages of common mistakes.
try { throw "plain"; } catch (e) print(e + "\n");
try { throw {code = 42}; } catch (e) print(e.code + "\n");
try { throw null; } catch (e) print(e + "\n");
function deep(n) { if (n == 0) throw "bottom"; return deep(n - 1); }
try { deep(10); } catch (e) print(e + "\n");
try { [3, 1, 2].sort(function(a, b) { throw "in comparator"; }); } catch (e) print(e + "\n");
try { [1].map(function(x) { return x.nothing; }); } catch (e) print(e + "\n");
try {
  try { throw "inner"; } catch (e) { throw "rethrown " + e; }
} catch (e) print(e + "\n");
local flow = [];
for (local i = 0; i < 3; i++) {
  try { if (i == 1) continue; if (i == 2) break; flow.append(i); } catch (e) {}
}
print(flow.len() + "\n");
function ret() { try { return "from try"; } catch (e) {} return "after"; }
print(ret() + "\n");
local x = null;
try { x(); } catch (e) print(e + "\n");
try { x.y; } catch (e) print(e + "\n");
try { local t = {}; t.slot; } catch (e) print(e + "\n");
try { undefinedvar; } catch (e) print(e + "\n");
try { undefinedvar = 1; } catch (e) print(e + "\n");
try { sqrt(); } catch (e) print(e + "\n");
try { sqrt("x"); } catch (e) print(e + "\n");
try { "abc".len(5); } catch (e) print(e + "\n");
try { 10 / 0; } catch (e) print(e + "\n");
try { 1 > "s"; } catch (e) print(e + "\n");
try { null < 1; } catch (e) print(e + "\n");
try { local r = ({} < {}); } catch (e) print(e + "\n");
try { local a = [1, 2]; a[2]; } catch (e) print(e + "\n");
try { function f(a, b) {} f(1); } catch (e) print(e + "\n");
try { assert(1 == 2); } catch (e) print(e + "\n");
try { assert(false, "custom assert"); } catch (e) print(e + "\n");
try { compilestring("local = 5"); } catch (e) print("compile: " + e + "\n");
try { error("to stderr\n"); print("error() returns\n"); } catch (e) print(e + "\n");
local w = 0;
try { w = 1; throw "x"; w = 2; } catch (e) { w += 10; }
print(w + "\n");
