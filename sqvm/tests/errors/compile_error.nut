// expect: compile_error.nut line = \(3\) column = \([0-9]+\) : error expression expected
local a = 1;
local b = a + ;
