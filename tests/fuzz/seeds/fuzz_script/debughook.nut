// The debug hook sees calls, new lines and returns.
local events = [];
function hook(type, src, line, name) { events.append(type.tochar() + line + (name ? name : "?")); }
function f(x) {
  return x + 1;
}
setdebughook(hook);
f(1);
setdebughook(null);
foreach (e in events) print(e + " ");
print("\n");
