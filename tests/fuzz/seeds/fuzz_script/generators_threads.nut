// Generators with yield/resume, threads with call/suspend/wakeup.
function range(n) { for (local i = 0; i < n; i++) yield i; }
local s = "";
foreach (i, v in range(4)) s += i + ":" + v + " ";
print(s + "\n");
function gen() { yield "a"; yield "b"; return "end"; }
local g = gen();
print(g.getstatus() + " " + resume g + " " + resume g + " " + resume g + " " + g.getstatus() + "\n");
try { resume g; } catch (e) print(e + "\n");
function genwithtry() {
  try { yield 1; throw "inside"; } catch (e) { yield "caught " + e; }
  yield 3;
}
foreach (v in genwithtry()) print(v + " ");
print("\n");
function nested() { foreach (x in range(3)) yield x * 10; }
foreach (v in nested()) print(v + " ");
print("\n");
local th = newthread(function(a, b) {
  print("start " + a + " " + b + "\n");
  local r = suspend("first");
  print("resumed with " + r + "\n");
  r = suspend("second");
  return "finished " + r;
});
print(th.getstatus() + "\n");
print(th.call(1, 2) + "\n");
print(th.getstatus() + "\n");
print(th.wakeup("x") + "\n");
print(th.wakeup("y") + "\n");
print(th.getstatus() + "\n");
local producer = newthread(function() { for (local i = 0; i < 3; i++) suspend(i); return null; });
local got = [producer.call()];
while (producer.getstatus() == "suspended") { local v = producer.wakeup(); if (v != null) got.append(v); }
print(got.len() + " " + got[2] + "\n");
local bad = newthread(function() { throw "thread error"; });
try { bad.call(); } catch (e) print(e + "\n");
try { th.wakeup(); } catch (e) print(e + "\n");
