local s = "return " + "(";
for (local i = 0; i < 12; i++) s += s;
compilestring(s);
