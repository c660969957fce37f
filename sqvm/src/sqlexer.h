// Tokeniser for Squirrel source text.
#pragma once
#include "sqpcheader.h"

enum SQToken {
  TK_EOF = 0,
  TK_IDENTIFIER = 258, TK_STRING_LITERAL, TK_INTEGER, TK_FLOAT,
  TK_BASE, TK_DELETE, TK_EQ, TK_NE, TK_LE, TK_GE, TK_SWITCH, TK_ARROW, TK_AND, TK_OR, TK_IF, TK_ELSE,
  TK_WHILE, TK_BREAK, TK_FOR, TK_DO, TK_NULL, TK_FOREACH, TK_IN, TK_NEWSLOT, TK_MODULO, TK_LOCAL, TK_CLONE,
  TK_FUNCTION, TK_RETURN, TK_TYPEOF, TK_UMINUS, TK_PLUSEQ, TK_MINUSEQ, TK_CONTINUE, TK_YIELD, TK_TRY,
  TK_CATCH, TK_THROW, TK_SHIFTL, TK_SHIFTR, TK_RESUME, TK_DOUBLE_COLON, TK_CASE, TK_DEFAULT, TK_THIS,
  TK_PLUSPLUS, TK_MINUSMINUS, TK_3WAYSCMP, TK_USHIFTR, TK_CLASS, TK_EXTENDS, TK_CONSTRUCTOR,
  TK_INSTANCEOF, TK_VARPARAMS, TK_LINE, TK_FILE, TK_TRUE, TK_FALSE, TK_MULEQ, TK_DIVEQ, TK_MODEQ,
  TK_ATTR_OPEN, TK_ATTR_CLOSE, TK_STATIC, TK_ENUM, TK_CONST, TK_DOUBLEDOT
};

struct SQLexer {
  const char *_src;
  SQInteger _len;
  SQInteger _pos = 0;
  SQInteger _line = 1, _col = 1;        // position of the reader
  SQInteger _tokline = 1, _tokcol = 1;  // start of the current token
  SQInteger _prevline = 1;              // line where the previous token ended
  SQInteger _prevtokline = 1, _prevtokcol = 1;  // start of the previous token
  int _curtoken = 0;
  bool _newlinebefore = false;
  std::string _svalue;
  SQInteger _nvalue = 0;
  SQFloat _fvalue = 0;
  std::string _error;

  SQLexer(const char *src, SQInteger len) : _src(src), _len(len) {}
  int Lex();  // returns token; on error sets _error and returns -1
  static const char *TokenName(int tok);

 private:
  int Peek(SQInteger o = 0) const { return _pos + o < _len ? (unsigned char)_src[_pos + o] : 0; }
  int Next();
  int Error(const char *msg) { if (_error.empty()) _error = msg; return -1; }
  int ReadString(int delim, bool verbatim);
  int ReadNumber();
  int ReadId();
};
