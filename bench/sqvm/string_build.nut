// String building for instruction counts (valgrind --tool=callgrind): a
// string grown by 20,000 single characters, then 20,000 short keys "k" + i.
local s = "";
for (local i = 0; i < 20000; i++) s += "x";
local t = {};
for (local i = 0; i < 20000; i++) t["k" + i] <- i;
print(s.len() + " " + t.len() + "\n");
