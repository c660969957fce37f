// A debug hook whose own calls grow the interpreter's frame and value stacks
// (deep recursion on the first events) while a script function runs.
local depth = 0;
function down(n) { local a = n, b = n, c = n, d = n; return n == 0 ? 0 : 1 + down(n - 1); }
local seen = 0;
function hook(type, src, line, name) {
  seen++;
  if (seen < 40) depth += down(200 + seen * 10);
}
function f(x) {
  local y = x * 2;
  y += 1;
  return y;
}
setdebughook(hook);
local r = f(1) + f(2);
setdebughook(null);
print(r + " " + (seen > 0) + "\n");
