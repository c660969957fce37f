// expect: AN ERROR HAS OCCURRED \[division by zero\].*\[x\] 1
local x = 1;
local y = x / 0;
