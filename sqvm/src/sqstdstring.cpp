// Standard string library: format, strip/lstrip/rstrip, split, escape,
// startswith/endswith and the regexp class backed by a backtracking matcher.
#include <sqstdstring.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Longest text format() and escape() build (the engine's own string cap).
constexpr SQInteger SQ_MAX_FORMAT_LEN = SQInteger(1) << 26;

// ---------------------------------------------------------------- regular expressions
struct SQRexSeq;
struct SQRexAtom {
  enum Type { CHAR, ANY, CLASS, BOL, EOL, GROUP, WORDB, NWORDB, BALANCED } type = CHAR;
  char ch = 0;
  char close = 0;       // BALANCED: the closing character (ch opens)
  std::vector<std::pair<int, int>> ranges;
  std::string classes;  // class escapes inside a set (w, d, s, ...)
  bool neg = false;
  int group = -1;       // capture index, -1 for (?: )
  std::vector<SQRexSeq> alts;
};
struct SQRexTerm {
  SQRexAtom atom;
  int min = 1, max = 1;
  bool greedy = true;
};
struct SQRexSeq {
  std::vector<SQRexTerm> terms;
};

struct SQRex {
  std::vector<SQRexSeq> alts;
  int ngroups = 1;  // group 0 is the whole match
  const char *bol = nullptr, *eol = nullptr;
  std::vector<SQRexMatch> caps;
  std::string error;
  int depth = 0;            // group nesting while parsing
  bool toocomplex = false;  // the last match gave up (see Matcher)
  long steps = 0;           // matcher steps of the current match or search
};

// Bounds of the backtracking matcher: nesting of groups in a pattern, native
// recursion while matching (one level per matched term), and total steps.
constexpr int kRexMaxGroupNesting = 100;
constexpr int kRexMaxDepth = 1500;
constexpr long kRexMaxSteps = 5000000;

namespace {

bool ClassMatch(char cls, int c) {
  switch (cls) {
    case 'a': return isalpha(c);
    case 'A': return !isalpha(c);
    case 'w': return isalnum(c) || c == '_';
    case 'W': return !(isalnum(c) || c == '_');
    case 's': return isspace(c);
    case 'S': return !isspace(c);
    case 'd': return isdigit(c);
    case 'D': return !isdigit(c);
    case 'x': return isxdigit(c);
    case 'X': return !isxdigit(c);
    case 'c': return iscntrl(c);
    case 'C': return !iscntrl(c);
    case 'p': return ispunct(c);
    case 'P': return !ispunct(c);
    case 'l': return islower(c);
    case 'u': return isupper(c);
  }
  return false;
}

struct RexParser {
  const char *p;
  SQRex *rex;
  [[noreturn]] void Fail(const char *msg) { throw std::string(msg); }

  char Escape(char c) {
    switch (c) {
      case 'n': return '\n';
      case 't': return '\t';
      case 'r': return '\r';
      case 'f': return '\f';
      case 'v': return '\v';
      case 'a': return '\a';
      case 'e': return 27;
      default: return c;
    }
  }
  static bool IsClassEscape(char c) { return strchr("aAwWsSdDxXcCpPlu", c) != nullptr; }

  void ParseAlts(std::vector<SQRexSeq> &alts) {
    alts.emplace_back();
    for (;;) {
      char c = *p;
      if (c == 0 || c == ')') return;
      if (c == '|') { p++; alts.emplace_back(); continue; }
      SQRexTerm t;
      ParseAtom(t.atom);
      ParseQuant(t);
      alts.back().terms.push_back(std::move(t));
    }
  }

  void ParseAtom(SQRexAtom &a) {
    char c = *p++;
    switch (c) {
      case '.': a.type = SQRexAtom::ANY; return;
      case '^': a.type = SQRexAtom::BOL; return;
      case '$': a.type = SQRexAtom::EOL; return;
      case '(': {
        if (++rex->depth > kRexMaxGroupNesting) Fail("groups nested too deeply");
        a.type = SQRexAtom::GROUP;
        if (p[0] == '?' && p[1] == ':') { p += 2; a.group = -1; }
        else a.group = rex->ngroups++;
        ParseAlts(a.alts);
        if (*p != ')') Fail("expected ')'");
        p++;
        rex->depth--;
        return;
      }
      case '[': {
        a.type = SQRexAtom::CLASS;
        if (*p == '^') { a.neg = true; p++; }
        bool first = true;
        while (*p && (*p != ']' || first)) {
          first = false;
          int lo;
          if (*p == '\\') {
            p++;
            if (!*p) Fail("unexpected end of pattern");
            if (IsClassEscape(*p)) { a.classes.push_back(*p++); continue; }
            lo = (unsigned char)Escape(*p++);
          } else {
            lo = (unsigned char)*p++;
          }
          int hi = lo;
          if (p[0] == '-' && p[1] && p[1] != ']') {
            p++;
            if (*p == '\\') { p++; if (!*p) Fail("unexpected end of pattern"); hi = (unsigned char)Escape(*p++); }
            else hi = (unsigned char)*p++;
            if (hi < lo) Fail("invalid range");
          }
          a.ranges.push_back({lo, hi});
        }
        if (*p != ']') Fail("expected ']'");
        p++;
        return;
      }
      case '\\': {
        char e = *p++;
        if (!e) Fail("unexpected end of pattern");
        if (e == 'b') { a.type = SQRexAtom::WORDB; return; }
        if (e == 'B') { a.type = SQRexAtom::NWORDB; return; }
        if (e == 'm') {  // \mxy: from x to its balancing y, nested pairs included
          if (!p[0] || !p[1]) Fail("balanced match needs two characters");
          a.type = SQRexAtom::BALANCED;
          a.ch = *p++;
          a.close = *p++;
          return;
        }
        if (IsClassEscape(e)) { a.type = SQRexAtom::CLASS; a.classes.push_back(e); return; }
        a.type = SQRexAtom::CHAR;
        a.ch = Escape(e);
        return;
      }
      case '*': case '+': case '?': case '{': Fail("unexpected quantifier");
      case ')': Fail("unexpected ')'");
      default: a.type = SQRexAtom::CHAR; a.ch = c; return;
    }
  }

  int Number() {
    if (!isdigit((unsigned char)*p)) Fail("number expected");
    int n = 0;
    while (isdigit((unsigned char)*p)) { n = n * 10 + (*p++ - '0'); if (n > 0xFFFF) Fail("number too big"); }
    return n;
  }

  void ParseQuant(SQRexTerm &t) {
    switch (*p) {
      case '*': t.min = 0; t.max = -1; p++; break;
      case '+': t.min = 1; t.max = -1; p++; break;
      case '?': t.min = 0; t.max = 1; p++; break;
      case '{':
        p++;
        t.min = Number();
        if (*p == ',') {
          p++;
          t.max = *p == '}' ? -1 : Number();
        } else {
          t.max = t.min;
        }
        if (*p != '}') Fail("expected '}'");
        p++;
        if (t.max >= 0 && t.max < t.min) Fail("invalid repetition");
        break;
      default: return;
    }
    if (t.atom.type == SQRexAtom::BOL || t.atom.type == SQRexAtom::EOL) Fail("cannot repeat an anchor");
    if (*p == '?') { t.greedy = false; p++; }
  }
};

using Cont = std::function<bool(const char *)>;

struct Matcher {
  SQRex *rex;
  int depth = 0;

  // Counts one level of native recursion for as long as it lives.
  struct Level {
    Matcher &m;
    explicit Level(Matcher &mm) : m(mm) { m.depth++; }
    ~Level() { m.depth--; }
  };

  // Matches x ... y with nested pairs counted; one way to match only.
  const char *Balanced(const SQRexAtom &a, const char *s) {
    if (s >= rex->eol || *s != a.ch) return nullptr;
    int open = 1;
    for (s++; s < rex->eol; s++) {
      if (*s == a.close) {
        if (--open == 0) return s + 1;
      } else if (*s == a.ch) {
        open++;
      }
    }
    return nullptr;
  }

  bool Single(const SQRexAtom &a, const char *s) {
    if (s >= rex->eol) return false;
    int c = (unsigned char)*s;
    switch (a.type) {
      case SQRexAtom::CHAR: return c == (unsigned char)a.ch;
      case SQRexAtom::ANY: return true;
      case SQRexAtom::CLASS: {
        bool m = false;
        for (auto &r : a.ranges) if (c >= r.first && c <= r.second) { m = true; break; }
        if (!m) for (char cls : a.classes) if (ClassMatch(cls, c)) { m = true; break; }
        return a.neg ? !m : m;
      }
      default: return false;
    }
  }

  bool IsWord(const char *s) { return s >= rex->bol && s < rex->eol && (isalnum((unsigned char)*s) || *s == '_'); }

  bool Atom(const SQRexAtom &a, const char *s, const Cont &k) {
    // Pathological patterns or texts give up instead of hanging or
    // overflowing the stack; the caller reports it.
    if (++rex->steps > kRexMaxSteps || depth > kRexMaxDepth) {
      rex->toocomplex = true;
      return false;
    }
    Level level(*this);
    switch (a.type) {
      case SQRexAtom::BALANCED: {
        const char *e = Balanced(a, s);
        return e && k(e);
      }
      case SQRexAtom::CHAR: case SQRexAtom::ANY: case SQRexAtom::CLASS:
        return Single(a, s) && k(s + 1);
      case SQRexAtom::BOL: return s == rex->bol && k(s);
      case SQRexAtom::EOL: return s == rex->eol && k(s);
      case SQRexAtom::WORDB: case SQRexAtom::NWORDB: {
        bool b = IsWord(s - 1) != IsWord(s);
        return (a.type == SQRexAtom::WORDB ? b : !b) && k(s);
      }
      case SQRexAtom::GROUP:
        for (auto &alt : a.alts) {
          bool ok = Seq(alt, 0, s, [&](const char *e) {
            if (a.group < 0) return k(e);
            SQRexMatch saved = rex->caps[a.group];
            rex->caps[a.group].begin = s;
            rex->caps[a.group].len = e - s;
            if (k(e)) return true;
            rex->caps[a.group] = saved;
            return false;
          });
          if (ok) return true;
        }
        return false;
    }
    return false;
  }

  bool Repeat(const SQRexTerm &t, int count, const char *s, const Cont &k) {
    bool canmore = t.max < 0 || count < t.max;
    auto more = [&]() {
      return canmore && Atom(t.atom, s, [&](const char *e) {
        if (e == s && count >= t.min) return false;  // empty iteration: stop looping
        return Repeat(t, count + 1, e, k);
      });
    };
    if (t.greedy) {
      if (more()) return true;
      return count >= t.min && k(s);
    }
    if (count >= t.min && k(s)) return true;
    return more();
  }

  bool Seq(const SQRexSeq &seq, size_t i, const char *s, const Cont &k) {
    if (i == seq.terms.size()) return k(s);
    const SQRexTerm &t = seq.terms[i];
    Cont next = [&](const char *e) { return Seq(seq, i + 1, e, k); };
    // simple single-character runs: iterate instead of recursing per character
    if (t.greedy && (t.atom.type == SQRexAtom::CHAR || t.atom.type == SQRexAtom::ANY || t.atom.type == SQRexAtom::CLASS) &&
        !(t.min == 1 && t.max == 1)) {
      const char *e = s;
      int n = 0;
      while ((t.max < 0 || n < t.max) && Single(t.atom, e)) { e++; n++; }
      while (n >= t.min) {
        if (next(e)) return true;
        if (n == 0) break;
        e--; n--;
      }
      return false;
    }
    if (t.min == 1 && t.max == 1) return Atom(t.atom, s, next);
    return Repeat(t, 0, s, next);
  }

  bool Top(const char *s, const Cont &k) {
    for (auto &alt : rex->alts)
      if (Seq(alt, 0, s, k)) return true;
    return false;
  }
};

bool RexMatchAt(SQRex *exp, const char *s, bool whole, const char **end) {
  Matcher m{exp};
  if (exp->toocomplex) return false;
  for (auto &c : exp->caps) { c.begin = nullptr; c.len = 0; }
  return m.Top(s, [&](const char *e) {
    if (whole && e != exp->eol) return false;
    exp->caps[0].begin = s;
    exp->caps[0].len = e - s;
    *end = e;
    return true;
  });
}

}  // namespace

SQRex *sqstd_rex_compile(const SQChar *pattern, const SQChar **error) {
  SQRex *rex = new SQRex();
  RexParser p{pattern, rex};
  try {
    p.ParseAlts(rex->alts);
    if (*p.p == ')') throw std::string("unexpected ')'");
  } catch (std::string &e) {
    static thread_local std::string last;
    last = e;
    if (error) *error = last.c_str();
    delete rex;
    return nullptr;
  }
  rex->caps.resize(rex->ngroups);
  return rex;
}

void sqstd_rex_free(SQRex *exp) { delete exp; }

SQBool sqstd_rex_match(SQRex *exp, const SQChar *text) {
  exp->bol = text;
  exp->eol = text + strlen(text);
  exp->toocomplex = false;
  exp->steps = 0;
  const char *end;
  return RexMatchAt(exp, text, true, &end) ? SQTrue : SQFalse;
}

SQBool sqstd_rex_searchrange(SQRex *exp, const SQChar *text_begin, const SQChar *text_end, const SQChar **out_begin,
                             const SQChar **out_end) {
  exp->bol = text_begin;
  exp->eol = text_end;
  exp->toocomplex = false;
  exp->steps = 0;
  for (const char *s = text_begin; s <= text_end; s++) {
    const char *end;
    if (RexMatchAt(exp, s, false, &end)) {
      if (out_begin) *out_begin = s;
      if (out_end) *out_end = end;
      return SQTrue;
    }
  }
  return SQFalse;
}

SQBool sqstd_rex_search(SQRex *exp, const SQChar *text, const SQChar **out_begin, const SQChar **out_end) {
  return sqstd_rex_searchrange(exp, text, text + strlen(text), out_begin, out_end);
}

SQInteger sqstd_rex_getsubexpcount(SQRex *exp) { return exp->ngroups; }

SQBool sqstd_rex_getsubexp(SQRex *exp, SQInteger n, SQRexMatch *subexp) {
  if (n < 0 || n >= exp->ngroups) return SQFalse;
  *subexp = exp->caps[n];
  return SQTrue;
}

// ---------------------------------------------------------------- format
namespace {

// Widths and precisions above this are refused: "%.999999999f" would
// otherwise take seconds and gigabytes, and a width past INT_MAX makes the C
// library fail.
constexpr long kMaxFormatField = 1024;

// Reads the decimal digits at p (advancing it); more than the cap reads as cap + 1.
long FieldNumber(const char *&p) {
  long n = 0;
  while (isdigit((unsigned char)*p)) {
    if (n <= kMaxFormatField) n = n * 10 + (*p - '0');
    p++;
  }
  return n;
}

// snprintf into a string of the exact length.
template <typename T>
void AppendFormatted(std::string &out, const std::string &spec, T value) {
  int n = snprintf(nullptr, 0, spec.c_str(), value);
  if (n <= 0) return;
  size_t at = out.size();
  out.resize(at + (size_t)n + 1);
  snprintf(&out[at], (size_t)n + 1, spec.c_str(), value);
  out.resize(at + (size_t)n);
}

}  // namespace

SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger *outlen, SQChar **output) {
  const SQChar *format;
  if (SQ_FAILED(sq_getstring(v, nformatstringidx, &format))) return sq_throwerror(v, "format string expected");
  SQInteger nparam = nformatstringidx + 1;
  std::string out;
  for (const char *p = format; *p;) {
    if (*p != '%') { out.push_back(*p++); continue; }
    if (p[1] == '%') { out.push_back('%'); p += 2; continue; }
    const char *start = p++;
    while (*p && strchr("-+ #0", *p)) p++;
    long width = FieldNumber(p), precision = 0;
    if (*p == '.') { p++; precision = FieldNumber(p); }
    if (width > kMaxFormatField || precision > kMaxFormatField)
      return sq_throwerror(v, "format width and precision may be at most 1024");
    if (p - start > 20) return sq_throwerror(v, "format too long");
    char conv = *p;
    if (!conv) return sq_throwerror(v, "incomplete format specifier");
    p++;
    if (nparam > sq_gettop(v)) return sq_throwerror(v, "not enough parameters for the given format string");
    std::string spec(start, p - 1 - start);
    switch (conv) {
      case 'd': case 'i': case 'x': case 'X': case 'o': case 'u': case 'c': {
        SQInteger n;
        if (SQ_FAILED(sq_getinteger(v, nparam, &n))) return sq_throwerror(v, "integer expected for the specified format");
        std::string f = spec + (conv == 'c' ? "c" : std::string("ll") + conv);
        if (conv == 'c') AppendFormatted(out, f, (int)n);
        else AppendFormatted(out, f, (long long)n);
        break;
      }
      case 'f': case 'F': case 'g': case 'G': case 'e': case 'E': {
        SQFloat fl;
        if (SQ_FAILED(sq_getfloat(v, nparam, &fl))) return sq_throwerror(v, "float expected for the specified format");
        AppendFormatted(out, spec + conv, (double)fl);
        break;
      }
      case 's': {
        const SQChar *s;
        if (SQ_FAILED(sq_getstring(v, nparam, &s))) return sq_throwerror(v, "string expected for the specified format");
        if (spec.size() == 1) { out += s; break; }
        AppendFormatted(out, spec + 's', s);
        break;
      }
      default: return sq_throwerror(v, "invalid format");
    }
    nparam++;
    if ((SQInteger)out.size() > SQ_MAX_FORMAT_LEN) return sq_throwerror(v, "out of memory: formatted text too long");
  }
  SQChar *dest = sq_getscratchpad(v, (SQInteger)out.size() + 1);
  memcpy(dest, out.data(), out.size());
  dest[out.size()] = 0;
  *outlen = (SQInteger)out.size();
  *output = dest;
  return SQ_OK;
}

namespace {

SQInteger str_format(HSQUIRRELVM v) {
  SQChar *dest;
  SQInteger len;
  if (SQ_FAILED(sqstd_format(v, 2, &len, &dest))) return SQ_ERROR;
  sq_pushstring(v, dest, len);
  return 1;
}

SQInteger str_strip_impl(HSQUIRRELVM v, bool left, bool right) {
  const SQChar *s;
  sq_getstring(v, 2, &s);
  SQInteger len = sq_getsize(v, 2);
  SQInteger b = 0, e = len;
  if (left) while (b < e && isspace((unsigned char)s[b])) b++;
  if (right) while (e > b && isspace((unsigned char)s[e - 1])) e--;
  sq_pushstring(v, s + b, e - b);
  return 1;
}
SQInteger str_strip(HSQUIRRELVM v) { return str_strip_impl(v, true, true); }
SQInteger str_lstrip(HSQUIRRELVM v) { return str_strip_impl(v, true, false); }
SQInteger str_rstrip(HSQUIRRELVM v) { return str_strip_impl(v, false, true); }

SQInteger str_split(HSQUIRRELVM v) {
  const SQChar *s, *seps;
  sq_getstring(v, 2, &s);
  sq_getstring(v, 3, &seps);
  SQInteger len = sq_getsize(v, 2), nseps = sq_getsize(v, 3);
  SQBool skipempty = SQFalse;
  if (sq_gettop(v) > 3) sq_getbool(v, 4, &skipempty);
  sq_newarray(v, 0);
  SQInteger start = 0;
  for (SQInteger i = 0; i <= len; i++) {
    bool sep = i == len || memchr(seps, s[i], (size_t)nseps) != nullptr;
    if (!sep) continue;
    if (!(skipempty && i == start)) {
      sq_pushstring(v, s + start, i - start);
      sq_arrayappend(v, -2);
    }
    start = i + 1;
  }
  return 1;
}

SQInteger str_escape(HSQUIRRELVM v) {
  const SQChar *s;
  sq_getstring(v, 2, &s);
  SQInteger len = sq_getsize(v, 2);
  if (len > SQ_MAX_FORMAT_LEN / 4) return sq_throwerror(v, "out of memory: string too long to escape");
  // Control characters, newline included, are written as \xNN.
  std::string out;
  for (SQInteger i = 0; i < len; i++) {
    unsigned char c = (unsigned char)s[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '"': out += "\\\""; break;
      case '\'': out += "\\'"; break;
      default:
        if (isprint(c)) out.push_back((char)c);
        else { char buf[8]; snprintf(buf, sizeof buf, "\\x%02x", c); out += buf; }
    }
  }
  sq_pushstring(v, out.data(), (SQInteger)out.size());
  return 1;
}

SQInteger str_startswith(HSQUIRRELVM v) {
  const SQChar *s, *p;
  sq_getstring(v, 2, &s);
  sq_getstring(v, 3, &p);
  SQInteger ls = sq_getsize(v, 2), lp = sq_getsize(v, 3);
  sq_pushbool(v, lp <= ls && memcmp(s, p, (size_t)lp) == 0);
  return 1;
}

SQInteger str_endswith(HSQUIRRELVM v) {
  const SQChar *s, *p;
  sq_getstring(v, 2, &s);
  sq_getstring(v, 3, &p);
  SQInteger ls = sq_getsize(v, 2), lp = sq_getsize(v, 3);
  sq_pushbool(v, lp <= ls && memcmp(s + ls - lp, p, (size_t)lp) == 0);
  return 1;
}

// ---------------------------------------------------------------- regexp class
int g_rex_tag;

SQInteger rex_release(SQUserPointer p, SQInteger) {
  sqstd_rex_free((SQRex *)p);
  return 1;
}

SQRex *GetRex(HSQUIRRELVM v) {
  SQUserPointer p = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &p, &g_rex_tag)) || !p) return nullptr;
  return (SQRex *)p;
}

SQInteger TooComplex(HSQUIRRELVM v) {
  return sq_throwerror(v, "regexp too complex for this text (backtracking limit reached)");
}

SQInteger rex_constructor(HSQUIRRELVM v) {
  // Called through regexp.constructor.call(x, ...) the instance may be of
  // another class, or a regexp already built: both would lose a native block.
  SQUserPointer old = nullptr;
  if (SQ_FAILED(sq_getinstanceup(v, 1, &old, &g_rex_tag))) return sq_throwerror(v, "regexp constructor called on an instance of another class");
  if (old) return sq_throwerror(v, "regexp instance already constructed");
  const SQChar *pattern, *error = "invalid pattern";
  sq_getstring(v, 2, &pattern);
  SQRex *rex = sqstd_rex_compile(pattern, &error);
  if (!rex) return sq_throwerror(v, error);
  sq_setinstanceup(v, 1, rex);
  sq_setreleasehook(v, 1, rex_release);
  return 0;
}

void PushRange(HSQUIRRELVM v, SQInteger b, SQInteger e) {
  sq_newtable(v);
  sq_pushstring(v, "begin", -1);
  sq_pushinteger(v, b);
  sq_newslot(v, -3, SQFalse);
  sq_pushstring(v, "end", -1);
  sq_pushinteger(v, e);
  sq_newslot(v, -3, SQFalse);
}

bool StartArg(HSQUIRRELVM v, const SQChar *s, SQInteger &start) {
  start = 0;
  if (sq_gettop(v) > 2) sq_getinteger(v, 3, &start);
  if (start < 0 || start > (SQInteger)strlen(s)) {
    sq_throwerror(v, "invalid starting position");
    return false;
  }
  return true;
}

SQInteger rex_match(HSQUIRRELVM v) {
  SQRex *rex = GetRex(v);
  if (!rex) return sq_throwerror(v, "invalid regexp instance");
  const SQChar *s;
  sq_getstring(v, 2, &s);
  SQBool r = sqstd_rex_match(rex, s);
  if (rex->toocomplex) return TooComplex(v);
  sq_pushbool(v, r);
  return 1;
}

SQInteger rex_search(HSQUIRRELVM v) {
  SQRex *rex = GetRex(v);
  if (!rex) return sq_throwerror(v, "invalid regexp instance");
  const SQChar *s, *b, *e;
  sq_getstring(v, 2, &s);
  SQInteger start;
  if (!StartArg(v, s, start)) return SQ_ERROR;
  if (!sqstd_rex_searchrange(rex, s + start, s + strlen(s), &b, &e)) return rex->toocomplex ? TooComplex(v) : 0;
  PushRange(v, b - s, e - s);
  return 1;
}

SQInteger rex_capture(HSQUIRRELVM v) {
  SQRex *rex = GetRex(v);
  if (!rex) return sq_throwerror(v, "invalid regexp instance");
  const SQChar *s, *b, *e;
  sq_getstring(v, 2, &s);
  SQInteger start;
  if (!StartArg(v, s, start)) return SQ_ERROR;
  if (!sqstd_rex_searchrange(rex, s + start, s + strlen(s), &b, &e)) return rex->toocomplex ? TooComplex(v) : 0;
  sq_newarray(v, 0);
  for (SQInteger i = 0; i < sqstd_rex_getsubexpcount(rex); i++) {
    SQRexMatch m;
    sqstd_rex_getsubexp(rex, i, &m);
    if (m.begin) PushRange(v, m.begin - s, m.begin - s + m.len);
    else PushRange(v, 0, 0);
    sq_arrayappend(v, -2);
  }
  return 1;
}

SQInteger rex_subexpcount(HSQUIRRELVM v) {
  SQRex *rex = GetRex(v);
  if (!rex) return sq_throwerror(v, "invalid regexp instance");
  sq_pushinteger(v, sqstd_rex_getsubexpcount(rex));
  return 1;
}

SQInteger rex_typeof(HSQUIRRELVM v) {
  sq_pushstring(v, "regexp", -1);
  return 1;
}

struct Fn {
  const char *name;
  SQFUNCTION f;
  SQInteger nparams;
  const char *mask;
};

void RegisterFns(HSQUIRRELVM v, const Fn *fns) {
  for (const Fn *f = fns; f->name; f++) {
    sq_pushstring(v, f->name, -1);
    sq_newclosure(v, f->f, 0);
    sq_setparamscheck(v, f->nparams, f->mask);
    sq_setnativeclosurename(v, -1, f->name);
    sq_newslot(v, -3, SQFalse);
  }
}

const Fn kRexMethods[] = {{"constructor", rex_constructor, 2, ".s"}, {"search", rex_search, -2, "xsn"},
                          {"match", rex_match, 2, "xs"},          {"capture", rex_capture, -2, "xsn"},
                          {"subexpcount", rex_subexpcount, 1, "x"}, {"_typeof", rex_typeof, 1, "x"},
                          {nullptr, nullptr, 0, nullptr}};

const Fn kStringFuncs[] = {{"format", str_format, -2, ".s"},         {"strip", str_strip, 2, ".s"},
                           {"lstrip", str_lstrip, 2, ".s"},          {"rstrip", str_rstrip, 2, ".s"},
                           {"split", str_split, -3, ".ssb"},         {"escape", str_escape, 2, ".s"},
                           {"startswith", str_startswith, 3, ".ss"}, {"endswith", str_endswith, 3, ".ss"},
                           {nullptr, nullptr, 0, nullptr}};

}  // namespace

SQRESULT sqstd_register_stringlib(HSQUIRRELVM v) {
  sq_pushstring(v, "regexp", -1);
  sq_newclass(v, SQFalse);
  sq_settypetag(v, -1, &g_rex_tag);
  RegisterFns(v, kRexMethods);
  sq_newslot(v, -3, SQFalse);
  RegisterFns(v, kStringFuncs);
  return SQ_OK;
}
