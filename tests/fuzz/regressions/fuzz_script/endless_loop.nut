local x = 0;
while (true) { try { while (true) x++; } catch (e) {} }
