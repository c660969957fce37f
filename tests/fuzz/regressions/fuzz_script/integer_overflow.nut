local i = 0x7fffffffffffffff;
i++; i += 1; ++i; i = -i; i--; i = i * i; i = -0x7fffffffffffffff - 1;
print(i / -1); print(i % -1); print(-i);
local t = {n = 0x7fffffffffffffff}; t.n++;
