// Script-side benchmarks of the engine; run with `sq bench.nut`.
// Each case prints its wall time in milliseconds (process CPU clock).
local results = [];
function measure(name, fn) {
  fn();  // warm-up run: interned strings, first allocations
  local best = 1e9;
  for (local r = 0; r < 3; r++) {
    local t0 = clock();
    fn();
    local ms = (clock() - t0) * 1000.0;
    if (ms < best) best = ms;
  }
  print(format("%-28s %9.2f ms\n", name, best));
}

function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
measure("fib(27)", function() { fib(27); });

measure("loop 10M", function() {
  local s = 0;
  for (local i = 0; i < 10000000; i++) s += i;
  return s;
});

measure("table 1M insert+lookup", function() {
  local t = {};
  for (local i = 0; i < 1000000; i++) t[i] <- i;
  local s = 0;
  for (local i = 0; i < 1000000; i++) s += t[i];
  return s;
});

class Counter {
  n = 0;
  function bump(d) { n += d; return n; }
}
measure("1M method calls", function() {
  local c = Counter();
  for (local i = 0; i < 1000000; i++) c.bump(1);
  return c.n;
});

srand(12345);
local unsorted = array(1000000);
for (local i = 0; i < unsorted.len(); i++) unsorted[i] = rand();
measure("sort 1M integers", function() {
  local a = clone unsorted;
  a.sort();
});

measure("string building 20K", function() {
  local s = "";
  for (local i = 0; i < 20000; i++) s += "item" + i + ",";
  return s.len();
});

function cell(x, y) { return x * 0.5 + y; }
measure("65536 script closure calls", function() {
  local s = 0.0;
  for (local i = 0; i < 65536; i++) s += cell(i & 255, i >> 8);
  return s;
});

measure("65536 native calls", function() {
  local s = 0.0;
  for (local i = 0; i < 65536; i++) s += sqrt(i);
  return s;
});
