try { array(1 << 62); } catch (e) {}
try { [1].resize(1 << 50); } catch (e) {}
try { format("%2147483647s", "x"); } catch (e) {}
try { format("%.999999999f", 1.0); } catch (e) {}
try { local a = [1]; while (true) a.extend(a); } catch (e) {}
try { local s = "x"; while (true) s += s; } catch (e) {}
