// Loops and calls, the paths the watchdog counts, for instruction counts
// (valgrind --tool=callgrind) with and without the watchdog.
function add(a, b) { return a + b; }
local s = 0;
for (local i = 0; i < 200000; i++) s = add(s, i);
for (local i = 0; i < 200000; i++) s += sqrt(4.0);
function fib(n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }
fib(20);
