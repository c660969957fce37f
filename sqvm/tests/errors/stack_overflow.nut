// expect: AN ERROR HAS OCCURRED \[stack overflow\]|native stack overflow
function f(n) { return f(n + 1) + 1; }
f(0);
