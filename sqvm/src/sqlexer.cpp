// Tokeniser: comments, numbers, strings (escaped and verbatim), operators, keywords.
#include "sqlexer.h"

#include <cstdlib>
#include <unordered_map>

static const std::unordered_map<std::string, int> &Keywords() {
  static const std::unordered_map<std::string, int> kw = {
      {"while", TK_WHILE}, {"do", TK_DO}, {"if", TK_IF}, {"else", TK_ELSE}, {"break", TK_BREAK},
      {"continue", TK_CONTINUE}, {"return", TK_RETURN}, {"null", TK_NULL}, {"function", TK_FUNCTION},
      {"local", TK_LOCAL}, {"for", TK_FOR}, {"foreach", TK_FOREACH}, {"in", TK_IN}, {"typeof", TK_TYPEOF},
      {"base", TK_BASE}, {"delete", TK_DELETE}, {"try", TK_TRY}, {"catch", TK_CATCH}, {"throw", TK_THROW},
      {"clone", TK_CLONE}, {"yield", TK_YIELD}, {"resume", TK_RESUME}, {"switch", TK_SWITCH},
      {"case", TK_CASE}, {"default", TK_DEFAULT}, {"this", TK_THIS}, {"class", TK_CLASS},
      {"extends", TK_EXTENDS}, {"constructor", TK_CONSTRUCTOR}, {"instanceof", TK_INSTANCEOF},
      {"true", TK_TRUE}, {"false", TK_FALSE}, {"static", TK_STATIC}, {"enum", TK_ENUM}, {"const", TK_CONST},
      {"__LINE__", TK_LINE}, {"__FILE__", TK_FILE}};
  return kw;
}

const char *SQLexer::TokenName(int tok) {
  static char buf[8];
  if (tok > 0 && tok < 256) { buf[0] = (char)tok; buf[1] = 0; return buf; }
  switch (tok) {
    case TK_EOF: return "end of file";
    case TK_IDENTIFIER: return "identifier";
    case TK_STRING_LITERAL: return "string literal";
    case TK_INTEGER: return "integer literal";
    case TK_FLOAT: return "float literal";
    case TK_EQ: return "=="; case TK_NE: return "!="; case TK_LE: return "<="; case TK_GE: return ">=";
    case TK_AND: return "&&"; case TK_OR: return "||"; case TK_NEWSLOT: return "<-";
    case TK_PLUSEQ: return "+="; case TK_MINUSEQ: return "-="; case TK_MULEQ: return "*=";
    case TK_DIVEQ: return "/="; case TK_MODEQ: return "%="; case TK_SHIFTL: return "<<";
    case TK_SHIFTR: return ">>"; case TK_USHIFTR: return ">>>"; case TK_DOUBLE_COLON: return "::";
    case TK_PLUSPLUS: return "++"; case TK_MINUSMINUS: return "--"; case TK_3WAYSCMP: return "<=>";
    case TK_VARPARAMS: return "..."; case TK_ATTR_OPEN: return "</"; case TK_ATTR_CLOSE: return "/>";
    case TK_DOUBLEDOT: return "..";
  }
  for (auto &kv : Keywords())
    if (kv.second == tok) return kv.first.c_str();
  return "?";
}

int SQLexer::Next() {
  if (_pos >= _len) return 0;
  int c = (unsigned char)_src[_pos++];
  if (c == '\n') { _line++; _col = 1; }
  else _col++;
  return c;
}

int SQLexer::Lex() {
  _prevline = _line;
  _prevtokline = _tokline;
  _prevtokcol = _tokcol;
  _newlinebefore = false;
  SQInteger startline = _line;
  for (;;) {
    int c = Peek();
    if (c == 0 && _pos >= _len) { _tokline = _line; _tokcol = _col; _curtoken = TK_EOF; break; }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') { Next(); continue; }
    if (c == '#') { while (Peek() != '\n' && _pos < _len) Next(); continue; }
    if (c == '/' && Peek(1) == '/') { while (Peek() != '\n' && _pos < _len) Next(); continue; }
    if (c == '/' && Peek(1) == '*') {
      Next(); Next();
      for (;;) {
        if (_pos >= _len) return _curtoken = Error("missing \"*/\" in comment");
        if (Peek() == '*' && Peek(1) == '/') { Next(); Next(); break; }
        Next();
      }
      continue;
    }
    _tokline = _line; _tokcol = _col;
    int t;
    switch (c) {
      case '"': case '\'': t = ReadString(c, false); break;
      case '@':
        if (Peek(1) == '"') { Next(); t = ReadString('"', true); }
        else { Next(); t = '@'; }
        break;
      case '=': Next(); if (Peek() == '=') { Next(); t = TK_EQ; } else t = '='; break;
      case '<':
        Next();
        if (Peek() == '=') { Next(); if (Peek() == '>') { Next(); t = TK_3WAYSCMP; } else t = TK_LE; }
        else if (Peek() == '-') { Next(); t = TK_NEWSLOT; }
        else if (Peek() == '<') { Next(); t = TK_SHIFTL; }
        else if (Peek() == '/') { Next(); t = TK_ATTR_OPEN; }
        else t = '<';
        break;
      case '>':
        Next();
        if (Peek() == '=') { Next(); t = TK_GE; }
        else if (Peek() == '>') { Next(); if (Peek() == '>') { Next(); t = TK_USHIFTR; } else t = TK_SHIFTR; }
        else t = '>';
        break;
      case '!': Next(); if (Peek() == '=') { Next(); t = TK_NE; } else t = '!'; break;
      case '/':
        Next();
        if (Peek() == '=') { Next(); t = TK_DIVEQ; }
        else if (Peek() == '>') { Next(); t = TK_ATTR_CLOSE; }
        else t = '/';
        break;
      case '*': Next(); if (Peek() == '=') { Next(); t = TK_MULEQ; } else t = '*'; break;
      case '%': Next(); if (Peek() == '=') { Next(); t = TK_MODEQ; } else t = '%'; break;
      case '&': Next(); if (Peek() == '&') { Next(); t = TK_AND; } else t = '&'; break;
      case '|': Next(); if (Peek() == '|') { Next(); t = TK_OR; } else t = '|'; break;
      case ':': Next(); if (Peek() == ':') { Next(); t = TK_DOUBLE_COLON; } else t = ':'; break;
      case '+':
        Next();
        if (Peek() == '=') { Next(); t = TK_PLUSEQ; } else if (Peek() == '+') { Next(); t = TK_PLUSPLUS; } else t = '+';
        break;
      case '-':
        Next();
        if (Peek() == '=') { Next(); t = TK_MINUSEQ; } else if (Peek() == '-') { Next(); t = TK_MINUSMINUS; } else t = '-';
        break;
      case '.':
        if (Peek(1) == '.' && Peek(2) == '.') { Next(); Next(); Next(); t = TK_VARPARAMS; }
        else if (Peek(1) == '.') { Next(); Next(); t = TK_DOUBLEDOT; }
        else if (Peek(1) >= '0' && Peek(1) <= '9') { t = ReadNumber(); }
        else { Next(); t = '.'; }
        break;
      case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',': case '?': case '^':
      case '~':
        Next(); t = c; break;
      default:
        if (c >= '0' && c <= '9') t = ReadNumber();
        else if (isalpha(c) || c == '_') t = ReadId();
        else {
          char msg[64];
          if (c < 32 || c > 126) snprintf(msg, sizeof msg, "unexpected character 0x%02x", c);
          else snprintf(msg, sizeof msg, "unexpected character '%c'", c);
          t = Error(msg);
        }
    }
    _curtoken = t;
    break;
  }
  _newlinebefore = _tokline > startline;
  return _curtoken;
}

int SQLexer::ReadId() {
  SQInteger start = _pos;
  while (isalnum(Peek()) || Peek() == '_') Next();
  _svalue.assign(_src + start, _pos - start);
  auto it = Keywords().find(_svalue);
  return it != Keywords().end() ? it->second : TK_IDENTIFIER;
}

int SQLexer::ReadString(int delim, bool verbatim) {
  Next();  // opening quote
  _svalue.clear();
  for (;;) {
    if (_pos >= _len) return Error("unfinished string");
    int c = Next();
    if (c == delim) {
      if (verbatim && Peek() == delim) { Next(); _svalue.push_back((char)c); continue; }
      break;
    }
    if (c == '\n' && !verbatim) return Error("newline in a constant");
    if (c == '\\' && !verbatim) {
      int e = Next();
      switch (e) {
        case 't': _svalue.push_back('\t'); break;
        case 'a': _svalue.push_back('\a'); break;
        case 'b': _svalue.push_back('\b'); break;
        case 'n': _svalue.push_back('\n'); break;
        case 'r': _svalue.push_back('\r'); break;
        case 'v': _svalue.push_back('\v'); break;
        case 'f': _svalue.push_back('\f'); break;
        case '0': _svalue.push_back('\0'); break;
        case '\\': _svalue.push_back('\\'); break;
        case '"': _svalue.push_back('"'); break;
        case '\'': _svalue.push_back('\''); break;
        case 'x': {
          if (!isxdigit(Peek())) return Error("hexadecimal number expected");
          unsigned v = 0;
          for (int i = 0; i < 4 && isxdigit(Peek()); i++) {
            int h = Next();
            v = v * 16 + (isdigit(h) ? h - '0' : (tolower(h) - 'a' + 10));
          }
          _svalue.push_back((char)v);
          break;
        }
        default: return Error("unrecognised escaper char");
      }
      continue;
    }
    _svalue.push_back((char)c);
  }
  if (delim == '\'') {
    if (_svalue.size() != 1) return Error(_svalue.empty() ? "empty constant" : "constant too long");
    _nvalue = (unsigned char)_svalue[0];
    return TK_INTEGER;
  }
  return TK_STRING_LITERAL;
}

int SQLexer::ReadNumber() {
  SQInteger start = _pos;
  if (Peek() == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
    Next(); Next();
    if (!isxdigit(Peek())) return Error("expected hex digits after '0x'");
    SQUnsignedInteger v = 0;
    int digits = 0;
    while (isxdigit(Peek())) {
      int h = Next();
      v = v * 16 + (isdigit(h) ? h - '0' : (tolower(h) - 'a' + 10));
      if (++digits > 16) return Error("too many digits for an Hex number");
    }
    _nvalue = (SQInteger)v;
    if (isalpha(Peek()) || Peek() == '_') return Error("invalid character in number");
    return TK_INTEGER;
  }
  bool isfloat = false;
  bool octal = Peek() == '0' && isdigit(Peek(1));
  while (isdigit(Peek())) Next();
  if (Peek() == '.' && Peek(1) != '.' && !isalpha(Peek(1)) && Peek(1) != '_') { isfloat = true; Next(); while (isdigit(Peek())) Next(); }
  if (Peek() == 'e' || Peek() == 'E') {
    int s = Peek(1);
    if (isdigit(s) || ((s == '+' || s == '-') && isdigit(Peek(2)))) {
      isfloat = true;
      Next();
      if (Peek() == '+' || Peek() == '-') Next();
      while (isdigit(Peek())) Next();
    } else {
      return Error("exponent expected");
    }
  }
  if (isalpha(Peek()) || Peek() == '_') return Error("invalid character in number");
  std::string text(_src + start, _pos - start);
  if (isfloat) {
    _fvalue = (SQFloat)strtod(text.c_str(), nullptr);
    return TK_FLOAT;
  }
  if (octal) {
    for (char ch : text)
      if (ch > '7') return Error("invalid octal number");
    _nvalue = (SQInteger)strtoull(text.c_str(), nullptr, 8);
    return TK_INTEGER;
  }
  _nvalue = (SQInteger)strtoull(text.c_str(), nullptr, 10);
  return TK_INTEGER;
}
