// Metamethods on classes and on tables through delegates.
class V {
  x = 0;
  constructor(v) { x = v; }
  function _add(o) { return V(x + o.x); }
  function _sub(o) { return V(x - o.x); }
  function _mul(o) { return V(x * (typeof o == "V" ? o.x : o)); }
  function _div(o) { return V(x / o); }
  function _modulo(o) { return V(x % o); }
  function _unm() { return V(-x); }
  function _typeof() { return "V"; }
  function _cmp(o) { return x <=> o.x; }
  function _tostring() { return "V(" + x + ")"; }
  function _call(self, a) { return x + a; }
  function _cloned(orig) { x = orig.x * 10; }
}
local a = V(6), b = V(4);
print((a + b) + " " + (a - b) + " " + (a * b) + " " + (a * 2) + " " + (a / 2) + " " + (a % 4) + " " + (-a) + "\n");
print(typeof a + " " + (a > b) + " " + (a < b) + " " + (a <=> b) + " " + (a >= V(6)) + "\n");
print(a(100) + " " + (clone a) + " " + a.tostring() + "\n");
class Dyn {
  store = null;
  constructor() { store = {}; }
  function _get(k) { if (k in store) return store[k]; throw null; }
  function _set(k, v) { store[k] <- v; }
  function _nexti(prev) {
    local ks = [];
    foreach (k, v in store) ks.append(k);
    ks.sort();
    if (prev == null) return ks.len() ? ks[0] : null;
    local i = ks.find(prev);
    return i + 1 < ks.len() ? ks[i + 1] : null;
  }
}
local d = Dyn();
d.alpha = 1;
d.beta = 2;
print(d.alpha + d.beta + "\n");
foreach (k, v in d) print(k + "=" + v + " ");
print("\n");
try { print(d.gamma); } catch (e) print(e + "\n");
local lookup = { function _get(k) { return "default:" + k; }, greet = "hi" };
local lt = {}.setdelegate(lookup);
print(lt.greet + " " + lt.whatever + "\n");
local proto = {
  function _newslot(k, v) { ::print("newslot " + k + "\n"); rawset(k, v); }
  function _delslot(k) { ::print("delslot " + k + "\n"); rawdelete(k); }
  function _add(o) { return "added"; }
  function _call(self, x) { return "called " + x; }
};
local t = {}.setdelegate(proto);
t.fresh <- 1;
print(t.rawget("fresh") + "\n");
delete t.fresh;
print((t + 1) + " " + t(5) + " " + (t.getdelegate() == proto) + "\n");
class Base {
  static log = [];
  function _inherited(cls) { Base.log.append("inherited"); }
  function _newmember(key, value, attrs, isstatic) { Base.log.append("member " + key); rawnewmember(key, value, attrs, isstatic); }
}
class Derived extends Base { function m() { return 1; } }
print(Base.log.len() + " " + Base.log[0] + " " + Base.log[1] + "\n");
local gen = {
  function _nexti(prev) { local n = prev == null ? 0 : prev + 1; return n < 3 ? n : null; }
  function _get(k) { return k * k; }
};
local it = {}.setdelegate(gen);
foreach (k, v in it) print(k + ":" + v + " ");
print("\n");
