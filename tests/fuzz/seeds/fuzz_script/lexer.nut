// Comments, literals and operators.
# hash comment
/* block
   comment */ print("after comments\n"); // trailing
print(0xFF + " " + 0x7f + " " + 010 + " " + 'A' + " " + '\n' + " " + '\\' + "\n");
print(1.5e2 + " " + 2E-2 + " " + .5 + " " + 3.25 + "\n");
print("tab\there \"quoted\" \x41\x42 back\\slash\n");
print(@"verbatim\n ""x"" line
two" + "\n");
local t = {};
t.a <- 1;
print((5 <=> 3) + " " + (3 <=> 5) + " " + (4 <=> 4) + "\n");
print((-1 >>> 63) + " " + (-8 >> 1) + " " + (1 << 62) + "\n");
print(::getroottable() == getroottable());
print("\n");
local s = 0; for (local i = 0; i < 5; i++) s += i; print(s + "\n");
local x = 10; x -= 3; x *= 2; x /= 7; x %= 3; print(x + "\n");
local i = 5; print(i++ + " " + i + " " + ++i + " " + i-- + " " + --i + "\n");
