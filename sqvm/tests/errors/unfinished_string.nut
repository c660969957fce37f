// expect: unfinished_string.nut line = \(2\) column = \(11\) : error newline in a constant
local s = "no end
print(s);
