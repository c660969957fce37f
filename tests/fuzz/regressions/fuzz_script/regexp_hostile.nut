local r = regexp(@"(a|b|ab)*(a|b|ab)*c");
local s = "abababababababababababababababababababababababab";
try { r.match(s + s + s); } catch (e) {}
try { regexp(@"\m"); } catch (e) {}
try { regexp.constructor.call({}, "x"); } catch (e) {}
class K {}
try { regexp.constructor.call(K(), "x"); } catch (e) {}
