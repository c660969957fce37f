// Single-pass compiler from source text to register bytecode.
// Locals live in fixed frame slots; expression temporaries are allocated
// above them in stack order, so every operand is a frame slot or a constant.
#include "sqlexer.h"
#include "sqopcodes.h"

#include <cstdarg>
#include <unordered_map>

namespace {

struct CompileError {
  std::string msg;
  SQInteger line, col;
};

struct LocalVar {
  SQObjectPtr name;
  int slot;
  SQInteger startop;
  bool captured = false;
};

struct LoopInfo {
  std::vector<int> breaks, continues;
  int localtop;    // locals alive at loop entry
  int ntraps;      // traps alive at loop entry
  bool isswitch;
};

enum EKind { EK_VOID, EK_SLOT, EK_CONST, EK_OUTER, EK_FIELD, EK_BASE };

struct Exp {
  EKind k = EK_VOID;
  int slot = 0;       // EK_SLOT / EK_BASE: slot; EK_FIELD: object slot
  int kidx = 0;       // EK_CONST: constant index; EK_OUTER: outer index
  int key = 0;        // EK_FIELD: key slot or constant index
  bool keyconst = false;
  bool ident = false; // EK_FIELD: free identifier on 'this' (root-table fallback)
  bool fromconsts = false;  // EK_CONST taken from the constant table (enum lookups)
};

struct FuncState {
  FuncState *parent = nullptr;
  SQObjectPtr protoobj;
  SQFunctionProto *proto;
  std::vector<LocalVar> locals;
  int localtop = 0;  // slots held by locals
  int stacktop = 0;  // next free slot
  int maxstack = 1;
  int ntraps = 0;
  std::vector<LoopInfo> loops;
  std::unordered_map<SQRawObjectVal, int> kstr, kint, kflt;
  SQInteger lasttarget = -1;  // code index that is a jump target
  bool isgenerator = false;
};

class Compiler {
 public:
  Compiler(SQVM *v, const char *src, SQInteger len, const char *source)
      : _ss(v->SS()), _lex(src, len), _source(SQObjectPtr(SQStr(v->SS(), source))) {}

  bool Compile(SQObjectPtr &out, std::string &err, SQInteger &line, SQInteger &col) {
    try {
      FuncState fs;
      OpenFunc(fs, SQObjectPtr(SQStr(_ss, "main")));
      DeclareLocal(Str("this"));
      fs.proto->_nparams = 1;
      fs.proto->_varparams = true;
      DeclareLocal(Str("vargv"));
      Lex();
      while (_tok != TK_EOF) {
        Statement();
        OptionalSemicolon();
      }
      Emit(OP_RETURN, 0, 0, 0, 0);
      CloseFunc();
      out = fs.protoobj;
      return true;
    } catch (CompileError &e) {
      err = e.msg;
      line = e.line;
      col = e.col;
      return false;
    }
  }

 private:
  SQSharedState *_ss;
  SQLexer _lex;
  SQObjectPtr _source;
  FuncState *_fs = nullptr;
  int _tok = 0;
  int _nesting = 0;

  // The parser recurses once per nested statement, expression and unary
  // operator; past this depth hostile source would overflow the native stack.
  static constexpr int kMaxNesting = 400;
  struct NestGuard {
    Compiler *c;
    explicit NestGuard(Compiler *comp) : c(comp) {
      if (++c->_nesting > kMaxNesting) {
        c->_nesting--;  // not constructed: no destructor will undo the count
        c->Error("expression or block nested too deeply (more than %d levels)", kMaxNesting);
      }
    }
    ~NestGuard() { c->_nesting--; }
  };

  // ------------------------------------------------------------ helpers
  [[noreturn]] void Error(const char *fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    throw CompileError{buf, _lex._tokline, _lex._tokcol};
  }
  SQObjectPtr Str(const char *s, SQInteger len = -1) { return SQObjectPtr(SQStr(_ss, s, len)); }
  void Lex() {
    _tok = _lex.Lex();
    if (_tok < 0) throw CompileError{_lex._error, _lex._tokline, _lex._tokcol};
  }
  void Expect(int tok) {
    if (_tok != tok) {
      if (_tok == TK_EOF) Error("unexpected end of file, expected '%s'", SQLexer::TokenName(tok));
      if (tok == TK_IDENTIFIER) Error("expected 'IDENTIFIER'");
      Error("expected '%s'", SQLexer::TokenName(tok));
    }
    Lex();
  }
  SQObjectPtr ExpectId() {
    if (_tok != TK_IDENTIFIER && _tok != TK_CONSTRUCTOR) Error("expected 'IDENTIFIER'");
    SQObjectPtr s = _tok == TK_CONSTRUCTOR ? Str("constructor") : Str(_lex._svalue.c_str(), _lex._svalue.size());
    Lex();
    return s;
  }
  void OptionalSemicolon() {
    if (_tok == ';') { Lex(); return; }
    if (_tok == '}' || _tok == TK_EOF || _lex._newlinebefore) return;
    Error("end of statement expected (; or lf)");
  }

  SQInteger Pos() const { return (SQInteger)_fs->proto->_code.size(); }
  // Column recorded for an instruction: an instruction is emitted once the
  // token after its operand has been read, so the operand (the token just
  // consumed) marks the spot better, as long as it stands on the same line.
  SQInteger InstrColumn() const {
    return _lex._prevtokline == _lex._tokline ? _lex._prevtokcol : _lex._tokcol;
  }
  int Emit(int op, int x, int a, int b, int c) {
    SQInstr i;
    i.op = (uint8_t)op; i.x = (uint8_t)x; i.a = (uint16_t)a; i.b = (uint16_t)b; i.c = (uint16_t)c;
    _fs->proto->_code.push_back(i);
    _fs->proto->_lines.push_back((int32_t)_lex._tokline);
    _fs->proto->_columns.push_back((int32_t)InstrColumn());
    return (int)Pos() - 1;
  }
  int EmitSbx(int op, int a, int32_t sbx) {
    SQInstr i;
    i.op = (uint8_t)op; i.x = 0; i.a = (uint16_t)a; i.sbx = sbx;
    _fs->proto->_code.push_back(i);
    _fs->proto->_lines.push_back((int32_t)_lex._tokline);
    _fs->proto->_columns.push_back((int32_t)InstrColumn());
    return (int)Pos() - 1;
  }
  int EmitJump(int op = OP_JMP, int a = 0) { return EmitSbx(op, a, 0); }
  void PatchTo(int at, SQInteger target) {
    _fs->proto->_code[at].sbx = (int32_t)(target - at - 1);
    _fs->lasttarget = target;
  }
  void PatchHere(int at) { PatchTo(at, Pos()); }
  void MarkTarget() { _fs->lasttarget = Pos(); }
  // A loop's jump back carries the loop's own line (the lexer is already past
  // the body): a loop stopped there reports where it is.
  void JumpBack(SQInteger target) {
    EmitSbx(OP_JMP, 0, (int32_t)(target - Pos() - 1));
    auto &lines = _fs->proto->_lines;
    auto &columns = _fs->proto->_columns;
    if (target >= 0 && target < (SQInteger)lines.size() - 1) {
      lines.back() = lines[target];
      if (columns.size() == lines.size()) columns.back() = columns[target];
    }
  }

  int AllocTemp() {
    int s = _fs->stacktop++;
    if (_fs->stacktop > _fs->maxstack) _fs->maxstack = _fs->stacktop;
    if (_fs->stacktop > 0xFFF0) Error("too many locals or temporaries");
    return s;
  }
  bool IsTemp(int slot) const { return slot >= _fs->localtop; }
  void FreeSlot(int slot) {
    if (IsTemp(slot) && slot == _fs->stacktop - 1) _fs->stacktop--;
  }
  void FreeExp(const Exp &e) {
    if (e.k == EK_SLOT || e.k == EK_BASE) FreeSlot(e.slot);
    else if (e.k == EK_FIELD) {
      if (!e.keyconst) FreeSlot(e.key);
      FreeSlot(e.slot);
    }
  }

  int AddConst(const SQObjectPtr &o) {
    std::unordered_map<SQRawObjectVal, int> *m = nullptr;
    if (o._type == OT_STRING) m = &_fs->kstr;
    else if (o._type == OT_INTEGER) m = &_fs->kint;
    else if (o._type == OT_FLOAT) m = &_fs->kflt;
    if (m) {
      auto it = m->find(o._unVal.raw);
      if (it != m->end()) return it->second;
    }
    int idx = (int)_fs->proto->_literals.size();
    if (idx > 0xFFFF) Error("too many constants");
    _fs->proto->_literals.push_back(o);
    if (m) (*m)[o._unVal.raw] = idx;
    return idx;
  }

  // ------------------------------------------------------------ functions and scopes
  void OpenFunc(FuncState &fs, const SQObjectPtr &name) {
    fs.parent = _fs;
    SQFunctionProto *p = new SQFunctionProto(_ss);
    fs.protoobj = SQObjectPtr(p);
    fs.proto = p;
    p->_name = name;
    p->_sourcename = _source;
    _fs = &fs;
  }
  void CloseFunc() {
    FuncState &fs = *_fs;
    for (auto &l : fs.locals) {
      SQLocalVarInfo vi{l.name, l.slot, l.startop, Pos()};
      fs.proto->_locals.push_back(vi);
    }
    fs.proto->_stacksize = fs.maxstack + 1;
    fs.proto->_generator = fs.isgenerator;
    _fs = fs.parent;
  }
  int DeclareLocal(const SQObjectPtr &name) {
    int slot = _fs->stacktop;
    if (slot != _fs->localtop) Error("internal: local declared above temporaries");
    AllocTemp();
    _fs->localtop = _fs->stacktop;
    _fs->locals.push_back({name, slot, Pos()});
    return slot;
  }
  // Ends the scope of every local above `top`; returns true if any was captured.
  bool PopLocals(int top) {
    bool captured = false;
    while (!_fs->locals.empty() && _fs->locals.back().slot >= top) {
      LocalVar &l = _fs->locals.back();
      captured |= l.captured;
      SQLocalVarInfo vi{l.name, l.slot, l.startop, Pos()};
      _fs->proto->_locals.push_back(vi);
      _fs->locals.pop_back();
    }
    _fs->localtop = top;
    _fs->stacktop = top;
    return captured;
  }
  void EndScope(int top) {
    if (PopLocals(top)) Emit(OP_CLOSE, 0, top, 0, 0);
  }

  int FindLocal(FuncState *fs, const SQObject &name) {
    for (int i = (int)fs->locals.size() - 1; i >= 0; i--)
      if (fs->locals[i].name._unVal.pString == name._unVal.pString) return i;
    return -1;
  }
  int FindOuter(FuncState *fs, const SQObjectPtr &name) {
    auto &outers = fs->proto->_outers;
    for (size_t i = 0; i < outers.size(); i++)
      if (outers[i].name._unVal.pString == name._unVal.pString) return (int)i;
    if (!fs->parent) return -1;
    int li = FindLocal(fs->parent, name);
    if (li >= 0) {
      fs->parent->locals[li].captured = true;
      outers.push_back({name, true, fs->parent->locals[li].slot});
      return (int)outers.size() - 1;
    }
    int oi = FindOuter(fs->parent, name);
    if (oi < 0) return -1;
    outers.push_back({name, false, oi});
    return (int)outers.size() - 1;
  }

  // ------------------------------------------------------------ expression plumbing
  void DischargeTo(Exp &e, int target) {
    switch (e.k) {
      case EK_SLOT:
        if (e.slot != target) {
          auto &code = _fs->proto->_code;
          // Retarget the instruction that just produced a temporary instead of copying it.
          if (IsTemp(e.slot) && !code.empty() && _fs->lasttarget != Pos() && code.back().a == e.slot &&
              Retargetable(code.back().op) && e.slot == _fs->stacktop - 1) {
            code.back().a = (uint16_t)target;
          } else {
            Emit(OP_MOVE, 0, target, e.slot, 0);
          }
        }
        break;
      case EK_CONST: {
        const SQObjectPtr &k = _fs->proto->_literals[e.kidx];
        if (k._type == OT_INTEGER && _integer(k) >= INT32_MIN && _integer(k) <= INT32_MAX)
          EmitSbx(OP_LOADINT, target, (int32_t)_integer(k));
        else if (k._type == OT_NULL) Emit(OP_LOADNULLS, 0, target, 1, 0);
        else if (k._type == OT_BOOL) Emit(OP_LOADBOOL, 0, target, _integer(k) ? 1 : 0, 0);
        else EmitSbx(OP_LOADK, target, e.kidx);
        break;
      }
      case EK_OUTER: Emit(OP_GETOUTER, 0, target, e.kidx, 0); break;
      case EK_FIELD:
        Emit(OP_GET, (e.keyconst ? 1 : 0) | (e.ident ? 2 : 0), target, e.slot, e.key);
        break;
      case EK_BASE: Emit(OP_GETBASE, 0, target, 0, 0); break;
      case EK_VOID: Error("expression expected");
    }
  }
  static bool Retargetable(int op) {
    switch (op) {
      case OP_LOADK: case OP_LOADINT: case OP_LOADBOOL: case OP_MOVE: case OP_LOADROOT: case OP_GETOUTER:
      case OP_GET: case OP_DELETE: case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_MOD:
      case OP_BAND: case OP_BOR: case OP_BXOR: case OP_SHL: case OP_SHR: case OP_USHR: case OP_EQ: case OP_NE:
      case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_CMP3: case OP_IN: case OP_INSTANCEOF:
      case OP_NOT: case OP_NEG: case OP_BNOT: case OP_TYPEOF: case OP_CLONE: case OP_CLOSURE: case OP_ADDI:
      case OP_GETBASE:
        return true;
    }
    return false;
  }
  int ToAnySlot(Exp &e) {
    if (e.k == EK_SLOT) return e.slot;
    FreeExp(e);
    int t = AllocTemp();
    DischargeTo(e, t);
    e = Exp();
    e.k = EK_SLOT;
    e.slot = t;
    return t;
  }
  int ToNextSlot(Exp &e) {
    if (e.k == EK_SLOT && IsTemp(e.slot) && e.slot == _fs->stacktop - 1) return e.slot;
    FreeExp(e);
    int t = AllocTemp();
    DischargeTo(e, t);
    e = Exp();
    e.k = EK_SLOT;
    e.slot = t;
    return t;
  }
  // Operand for instructions that accept a constant: returns slot or K index.
  int Operand(Exp &e, bool &isconst) {
    if (e.k == EK_CONST) { isconst = true; return e.kidx; }
    isconst = false;
    return ToAnySlot(e);
  }
  Exp ConstExp(const SQObjectPtr &o) {
    Exp e;
    e.k = EK_CONST;
    e.kidx = AddConst(o);
    return e;
  }
  Exp SlotExp(int s) { Exp e; e.k = EK_SLOT; e.slot = s; return e; }

  // ------------------------------------------------------------ statements
  void Statement() {
    NestGuard nest(this);
    switch (_tok) {
      case ';': Lex(); return;
      case TK_IF: IfStatement(); return;
      case TK_WHILE: WhileStatement(); return;
      case TK_DO: DoWhileStatement(); return;
      case TK_FOR: ForStatement(); return;
      case TK_FOREACH: ForEachStatement(); return;
      case TK_SWITCH: SwitchStatement(); return;
      case TK_LOCAL: LocalStatement(); return;
      case TK_RETURN: case TK_YIELD: {
        bool isyield = _tok == TK_YIELD;
        if (isyield) _fs->isgenerator = true;
        Lex();
        if (_tok != ';' && _tok != '}' && _tok != TK_EOF && !_lex._newlinebefore) {
          Exp e = CommaExpr();
          int s = ToAnySlot(e);
          Emit(isyield ? OP_YIELD : OP_RETURN, 1, s, 0, 0);
          FreeExp(e);
        } else {
          Emit(isyield ? OP_YIELD : OP_RETURN, 0, 0, 0, 0);
        }
        return;
      }
      case TK_BREAK: {
        if (_fs->loops.empty()) Error("'break' has to be in a loop block");
        LoopInfo &l = _fs->loops.back();
        if (_fs->ntraps > l.ntraps) Emit(OP_POPTRAP, 0, 0, _fs->ntraps - l.ntraps, 0);
        if (_fs->localtop > l.localtop) Emit(OP_CLOSE, 0, l.localtop, 0, 0);
        l.breaks.push_back(EmitJump());
        Lex();
        return;
      }
      case TK_CONTINUE: {
        int i = (int)_fs->loops.size() - 1;
        while (i >= 0 && _fs->loops[i].isswitch) i--;
        if (i < 0) Error("'continue' has to be in a loop block");
        LoopInfo &l = _fs->loops[i];
        if (_fs->ntraps > l.ntraps) Emit(OP_POPTRAP, 0, 0, _fs->ntraps - l.ntraps, 0);
        if (_fs->localtop > l.localtop) Emit(OP_CLOSE, 0, l.localtop, 0, 0);
        l.continues.push_back(EmitJump());
        Lex();
        return;
      }
      case TK_FUNCTION: FunctionStatement(); return;
      case TK_CLASS: ClassStatement(); return;
      case TK_ENUM: EnumStatement(); return;
      case '{': {
        Lex();
        int top = _fs->localtop;
        while (_tok != '}') {
          if (_tok == TK_EOF) Error("unexpected end of file, expected '}'");
          Statement();
          OptionalSemicolon();
        }
        Lex();
        EndScope(top);
        _lex._newlinebefore = true;  // a block ends its statement
        return;
      }
      case TK_TRY: TryStatement(); return;
      case TK_THROW: {
        Lex();
        Exp e = CommaExpr();
        int s = ToAnySlot(e);
        Emit(OP_THROW, 0, s, 0, 0);
        FreeExp(e);
        return;
      }
      case TK_CONST: ConstStatement(); return;
      default: {
        int top = _fs->stacktop;
        Exp e = CommaExpr(true);
        if (e.k == EK_FIELD) ToAnySlot(e);  // a bare lookup still runs (and can fail)
        _fs->stacktop = top;
        return;
      }
    }
  }

  // Compiles a condition and emits a jump taken when it is false; returns the jump to patch.
  int CondJumpFalse() {
    Exp e = CommaExpr();
    auto &code = _fs->proto->_code;
    if (e.k == EK_SLOT && IsTemp(e.slot) && !code.empty() && _fs->lasttarget != Pos() &&
        code.back().a == e.slot) {
      SQInstr last = code.back();
      if (last.op >= OP_EQ && last.op <= OP_GE && !(last.x & 1)) {
        code.pop_back();
        _fs->proto->_lines.pop_back();
        _fs->proto->_columns.pop_back();
        FreeExp(e);
        Emit(OP_JCMP, (last.x & 2) ? 1 : 0, last.b, last.c, last.op);
        return EmitJump();
      }
    }
    int s = ToAnySlot(e);
    FreeExp(e);
    return EmitJump(OP_JZ, s);
  }

  void IfStatement() {
    Lex();
    Expect('(');
    int jf = CondJumpFalse();
    Expect(')');
    Statement();
    if (_tok == ';' && LookAheadElse()) Lex();
    if (_tok == TK_ELSE) {
      int jend = EmitJump();
      PatchHere(jf);
      Lex();
      Statement();
      PatchHere(jend);
    } else {
      PatchHere(jf);
    }
    _lex._newlinebefore = true;
  }
  bool LookAheadElse() {
    SQLexer save = _lex;
    int t = _lex.Lex();
    _lex = save;
    return t == TK_ELSE;
  }

  void BeginLoop(bool isswitch = false) {
    _fs->loops.push_back({{}, {}, _fs->localtop, _fs->ntraps, isswitch});
  }
  void EndLoop(SQInteger continuetarget, SQInteger breaktarget) {
    LoopInfo l = std::move(_fs->loops.back());
    _fs->loops.pop_back();
    for (int j : l.continues) PatchTo(j, continuetarget);
    for (int j : l.breaks) PatchTo(j, breaktarget);
  }

  void WhileStatement() {
    Lex();
    SQInteger start = Pos();
    MarkTarget();
    Expect('(');
    int jf = CondJumpFalse();
    Expect(')');
    BeginLoop();
    Statement();
    JumpBack(start);
    PatchHere(jf);
    EndLoop(start, Pos());
    _lex._newlinebefore = true;
  }

  void DoWhileStatement() {
    Lex();
    SQInteger start = Pos();
    MarkTarget();
    BeginLoop();
    Statement();
    if (_tok == ';') Lex();
    SQInteger cont = Pos();
    MarkTarget();
    Expect(TK_WHILE);
    Expect('(');
    int jf = CondJumpFalse();
    Expect(')');
    JumpBack(start);
    PatchHere(jf);
    EndLoop(cont, Pos());
  }

  void ForStatement() {
    Lex();
    int top = _fs->localtop;
    Expect('(');
    if (_tok == TK_LOCAL) LocalStatement();
    else if (_tok != ';') { int t = _fs->stacktop; CommaExpr(true); _fs->stacktop = t; }
    Expect(';');
    SQInteger condpos = Pos();
    MarkTarget();
    int jf = -1;
    if (_tok != ';') jf = CondJumpFalse();
    Expect(';');
    // The increment is compiled after the body: capture its tokens by compiling
    // into a side buffer and appending later.
    SQInteger incstart = Pos();
    if (_tok != ')') { int t = _fs->stacktop; CommaExpr(true); _fs->stacktop = t; }
    Expect(')');
    std::vector<SQInstr> inccode(_fs->proto->_code.begin() + incstart, _fs->proto->_code.end());
    std::vector<int32_t> inclines(_fs->proto->_lines.begin() + incstart, _fs->proto->_lines.end());
    std::vector<int32_t> inccols(_fs->proto->_columns.begin() + incstart, _fs->proto->_columns.end());
    _fs->proto->_code.resize(incstart);
    _fs->proto->_lines.resize(incstart);
    _fs->proto->_columns.resize(incstart);
    BeginLoop();
    Statement();
    SQInteger contpos = Pos();
    MarkTarget();
    for (size_t i = 0; i < inccode.size(); i++) {
      _fs->proto->_code.push_back(inccode[i]);
      _fs->proto->_lines.push_back(inclines[i]);
      _fs->proto->_columns.push_back(inccols[i]);
    }
    JumpBack(condpos);
    if (jf >= 0) PatchHere(jf);
    EndLoop(contpos, Pos());
    EndScope(top);
    _lex._newlinebefore = true;
  }

  void ForEachStatement() {
    Lex();
    Expect('(');
    SQObjectPtr keyname, valname = ExpectId();
    if (_tok == ',') {
      Lex();
      keyname = valname;
      valname = ExpectId();
    }
    Expect(TK_IN);
    int top = _fs->localtop;
    Exp c = CommaExpr();
    int cs = ToNextSlot(c);
    _fs->stacktop = cs;
    DeclareLocal(Str("@container@"));
    int it = DeclareLocal(Str("@iterator@"));
    Emit(OP_LOADNULLS, 0, it, 1, 0);
    DeclareLocal(keyname._type == OT_NULL ? Str("@key@") : keyname);
    DeclareLocal(valname);
    Expect(')');
    SQInteger loop = Pos();
    MarkTarget();
    int jexit = EmitSbx(OP_FOREACH, cs, 0);
    BeginLoop();
    Statement();
    JumpBack(loop);
    PatchHere(jexit);
    EndLoop(loop, Pos());
    EndScope(top);
    _lex._newlinebefore = true;
  }

  void SwitchStatement() {
    Lex();
    Expect('(');
    Exp e = CommaExpr();
    int s = ToNextSlot(e);
    Expect(')');
    Expect('{');
    int top = _fs->localtop;
    // keep the switch value alive as a hidden local
    _fs->stacktop = s;
    if (s >= _fs->localtop) DeclareLocal(Str("@switch@"));
    BeginLoop(true);
    int jnext = -1, jbody = -1;
    while (_tok == TK_CASE) {
      Lex();
      if (jnext >= 0) PatchHere(jnext);
      Exp ce = CommaExpr();
      bool kc;
      int op = Operand(ce, kc);
      FreeExp(ce);
      int t = AllocTemp();
      Emit(OP_EQ, kc ? 2 : 0, t, s, op);
      FreeSlot(t);
      jnext = EmitJump(OP_JZ, t);
      Expect(':');
      if (jbody >= 0) PatchHere(jbody);
      int btop = _fs->localtop;
      while (_tok != TK_CASE && _tok != TK_DEFAULT && _tok != '}') {
        Statement();
        OptionalSemicolon();
      }
      EndScope(btop);
      jbody = EmitJump();
    }
    if (jnext >= 0) PatchHere(jnext);
    if (jbody >= 0) PatchHere(jbody);
    if (_tok == TK_DEFAULT) {
      Lex();
      Expect(':');
      int btop = _fs->localtop;
      while (_tok != '}') {
        if (_tok == TK_EOF) Error("unexpected end of file, expected '}'");
        Statement();
        OptionalSemicolon();
      }
      EndScope(btop);
    }
    Expect('}');
    EndLoop(0, Pos());
    EndScope(top);
    _lex._newlinebefore = true;
  }

  void LocalStatement() {
    Lex();
    if (_tok == TK_FUNCTION) {
      Lex();
      SQObjectPtr name = ExpectId();
      int slot = DeclareLocal(name);
      Expect('(');
      CreateFunction(name, slot, false);
      return;
    }
    for (;;) {
      SQObjectPtr name = ExpectId();
      if (_tok == '=') {
        Lex();
        Exp e = Expression();
        int s = ToNextSlot(e);
        _fs->stacktop = s;
        DeclareLocal(name);
      } else {
        int s = DeclareLocal(name);
        Emit(OP_LOADNULLS, 0, s, 1, 0);
      }
      if (_tok != ',') break;
      Lex();
    }
  }

  void FunctionStatement() {
    Lex();
    // function a.b::c() -> a.b.c <- function
    SQObjectPtr name = ExpectId();
    Exp obj = SlotExp(0);
    if (_tok == TK_DOUBLE_COLON || _tok == '.') {
      obj = ResolveName(name);
      while (_tok == TK_DOUBLE_COLON || _tok == '.') {
        Lex();
        name = ExpectId();
        if (_tok == TK_DOUBLE_COLON || _tok == '.') {
          int os = ToAnySlot(obj);
          Exp f;
          f.k = EK_FIELD; f.slot = os; f.key = AddConst(name); f.keyconst = true;
          obj = f;
        }
      }
    }
    int os = ToAnySlot(obj);
    Expect('(');
    int fslot = AllocTemp();
    CreateFunction(name, fslot, false);
    Emit(OP_NEWSLOT, 1, os, AddConst(name), fslot);
    FreeSlot(fslot);
    FreeExp(obj);
  }

  void ClassStatement() {
    Lex();
    SQObjectPtr name = ExpectId();
    Exp obj = SlotExp(0);
    if (_tok == TK_DOUBLE_COLON || _tok == '.') {
      obj = ResolveName(name);
      while (_tok == TK_DOUBLE_COLON || _tok == '.') {
        Lex();
        name = ExpectId();
        if (_tok == TK_DOUBLE_COLON || _tok == '.') {
          int os = ToAnySlot(obj);
          Exp f;
          f.k = EK_FIELD; f.slot = os; f.key = AddConst(name); f.keyconst = true;
          obj = f;
        }
      }
    }
    int os = ToAnySlot(obj);
    int cs = AllocTemp();
    ClassBody(cs);
    Emit(OP_NEWSLOT, 1, os, AddConst(name), cs);
    FreeSlot(cs);
    FreeExp(obj);
    _lex._newlinebefore = true;
  }

  SQObjectPtr ConstValue() {
    bool neg = false;
    if (_tok == '-') { neg = true; Lex(); }
    SQObjectPtr v;
    switch (_tok) {
      case TK_INTEGER: v = SQObjectPtr(neg ? (SQInteger)(0ull - (SQUnsignedInteger)_lex._nvalue) : _lex._nvalue); break;
      case TK_FLOAT: v = SQObjectPtr(neg ? -_lex._fvalue : _lex._fvalue); break;
      case TK_STRING_LITERAL:
        if (neg) Error("scalar expected : integer, float");
        v = Str(_lex._svalue.c_str(), _lex._svalue.size());
        break;
      case TK_TRUE: case TK_FALSE:
        if (neg) Error("scalar expected : integer, float");
        v = SQObjectPtr(_tok == TK_TRUE);
        break;
      default: Error("scalar expected : integer, float, or string");
    }
    Lex();
    return v;
  }

  void EnumStatement() {
    Lex();
    SQObjectPtr name = ExpectId();
    Expect('{');
    SQObjectPtr table(SQTable::Create(_ss));
    // Members without a value are numbered among themselves: an explicit
    // value does not move the count (Red, Green = 5, Blue gives Blue = 1).
    SQInteger next = 0;
    while (_tok != '}') {
      SQObjectPtr key = ExpectId();
      SQObjectPtr val;
      if (_tok == '=') {
        Lex();
        val = ConstValue();
      } else {
        val = SQObjectPtr(next++);
      }
      _table(table)->NewSlot(key, val);
      if (_tok == ',') Lex();
    }
    Lex();
    _table(_ss->_consts)->NewSlot(name, table);
    _lex._newlinebefore = true;
  }

  void ConstStatement() {
    Lex();
    SQObjectPtr name = ExpectId();
    Expect('=');
    SQObjectPtr val = ConstValue();
    _table(_ss->_consts)->NewSlot(name, val);
  }

  void TryStatement() {
    Lex();
    int exslot = _fs->localtop;
    int trap = EmitSbx(OP_PUSHTRAP, exslot, 0);
    _fs->ntraps++;
    // the exception slot must exist in the frame
    if (exslot + 1 > _fs->maxstack) _fs->maxstack = exslot + 1;
    for (auto &l : _fs->loops) (void)l;
    Statement();
    _fs->ntraps--;
    Emit(OP_POPTRAP, 0, 0, 1, 0);
    int jend = EmitJump();
    PatchHere(trap);
    if (_tok == ';') Lex();
    Expect(TK_CATCH);
    Expect('(');
    int top = _fs->localtop;
    SQObjectPtr name = ExpectId();
    DeclareLocal(name);
    Expect(')');
    Statement();
    EndScope(top);
    PatchHere(jend);
    _lex._newlinebefore = true;
  }

  // ------------------------------------------------------------ functions
  // Parses "(params) body" (the '(' is already consumed) into a nested
  // prototype and emits the closure into `target`.
  void CreateFunction(const SQObjectPtr &name, int target, bool lambda) {
    FuncState fs;
    FuncState *parent = _fs;
    OpenFunc(fs, name);
    DeclareLocal(Str("this"));
    std::vector<int> defslots;
    int nparams = 1;
    while (_tok != ')') {
      if (_tok == TK_VARPARAMS) {
        fs.proto->_varparams = true;
        Lex();
        if (_tok != ')') Error("expected ')'");
        break;
      }
      SQObjectPtr pname = ExpectId();
      DeclareLocal(pname);
      nparams++;
      if (_tok == '=') {
        Lex();
        _fs = parent;  // default values are evaluated where the closure is created
        Exp d = Expression();
        defslots.push_back(ToNextSlot(d));
        _fs = &fs;
      } else if (!defslots.empty()) {
        Error("expected '='");
      }
      if (_tok == ',') Lex();
      else if (_tok != ')') Error("expected ')' or ','");
    }
    Lex();
    fs.proto->_nparams = nparams;
    for (int s : defslots) fs.proto->_defaultparams.push_back(s);
    if (fs.proto->_varparams) DeclareLocal(Str("vargv"));
    if (lambda) {
      Exp e = Expression();
      int s = ToAnySlot(e);
      Emit(OP_RETURN, 1, s, 0, 0);
    } else {
      Statement();
      Emit(OP_RETURN, 0, 0, 0, 0);
    }
    CloseFunc();
    int idx = (int)_fs->proto->_functions.size();
    _fs->proto->_functions.push_back(fs.protoobj);
    Emit(OP_CLOSURE, 0, target, idx, 0);
    for (int i = (int)defslots.size() - 1; i >= 0; i--) FreeSlot(defslots[i]);
  }

  // Attributes "</ k = v, ... />" into a new table in the next slot.
  int Attributes() {
    Lex();
    int t = AllocTemp();
    Emit(OP_NEWTABLE, 0, t, 0, 0);
    while (_tok != TK_ATTR_CLOSE) {
      SQObjectPtr key = ExpectId();
      int k = AddConst(key);
      if (_tok == '=') {
        Lex();
        Exp v = Expression();
        bool vc;
        int vo = Operand(v, vc);
        Emit(OP_NEWSLOT, 1 | (vc ? 2 : 0), t, k, vo);
        FreeExp(v);
      } else {
        Emit(OP_NEWSLOT, 3, t, k, AddConst(SQObjectPtr()));
      }
      if (_tok == ',') Lex();
      else if (_tok != TK_ATTR_CLOSE) Error("expected '/>'");
    }
    Lex();
    return t;
  }

  // Class declaration after the name: [extends expr] [attributes] { members }
  void ClassBody(int target) {
    int base = NO_TARGET, attrs = NO_TARGET;
    if (_tok == TK_EXTENDS) {
      Lex();
      Exp b = Expression();
      base = ToNextSlot(b);
    }
    if (_tok == TK_ATTR_OPEN) attrs = Attributes();
    Expect('{');
    Emit(OP_NEWCLASS, 0, target, base, attrs);
    if (attrs != NO_TARGET) FreeSlot(attrs);
    if (base != NO_TARGET) FreeSlot(base);
    while (_tok != '}') {
      if (_tok == TK_EOF) Error("unexpected end of file, expected '}'");
      if (_tok == ';' || _tok == ',') { Lex(); continue; }
      int a = NO_TARGET;
      if (_tok == TK_ATTR_OPEN) a = Attributes();
      bool isstatic = false;
      if (_tok == TK_STATIC) { isstatic = true; Lex(); }
      MemberDecl(target, isstatic, a, true);
      if (a != NO_TARGET) FreeSlot(a);
    }
    Lex();
  }

  // One member of a table or class literal: name = v, [k] = v, "k" : v, function f(){}, constructor(){}
  void MemberDecl(int obj, bool isstatic, int attrs, bool isclass) {
    int keyslot = -1, keyk = -1;
    int vslot;
    if (_tok == TK_FUNCTION || _tok == TK_CONSTRUCTOR) {
      bool ctor = _tok == TK_CONSTRUCTOR;
      Lex();
      SQObjectPtr name = ctor ? Str("constructor") : ExpectId();
      keyk = AddConst(name);
      Expect('(');
      if (attrs != NO_TARGET) {
        // value must sit just below the attributes slot: move attributes up
        vslot = AllocTemp();
        CreateFunction(name, vslot, false);
      } else {
        vslot = AllocTemp();
        CreateFunction(name, vslot, false);
      }
    } else {
      if (_tok == '[') {
        Lex();
        Exp k = CommaExpr();
        keyslot = ToNextSlot(k);
        Expect(']');
        Expect('=');
      } else if (_tok == TK_STRING_LITERAL && !isclass) {
        keyk = AddConst(Str(_lex._svalue.c_str(), _lex._svalue.size()));
        Lex();
        Expect(':');
      } else {
        SQObjectPtr name = ExpectId();
        keyk = AddConst(name);
        if (!isclass && _tok == ':') Lex();
        else Expect('=');
      }
      Exp v = Expression();
      vslot = ToNextSlot(v);
    }
    int x = (keyk >= 0 ? 1 : 0) | (isstatic ? 4 : 0);
    if (attrs != NO_TARGET) {
      int as = AllocTemp();
      Emit(OP_MOVE, 0, as, attrs, 0);
      x |= 8;
      Emit(OP_NEWSLOT, x, obj, keyk >= 0 ? keyk : keyslot, vslot);
      FreeSlot(as);
    } else {
      Emit(OP_NEWSLOT, x, obj, keyk >= 0 ? keyk : keyslot, vslot);
    }
    FreeSlot(vslot);
    if (keyslot >= 0) FreeSlot(keyslot);
  }

  // ------------------------------------------------------------ expressions
  Exp CommaExpr(bool discard = false) {
    Exp e = Expression(discard);
    while (_tok == ',') {
      Lex();
      if (e.k == EK_FIELD) ToAnySlot(e);
      FreeExp(e);
      e = Expression(discard);
    }
    return e;
  }

  Exp Expression(bool discard = false) {
    NestGuard nest(this);
    Exp e = Ternary();
    switch (_tok) {
      case '=': case TK_NEWSLOT: case TK_PLUSEQ: case TK_MINUSEQ: case TK_MULEQ: case TK_DIVEQ: case TK_MODEQ: {
        int op = _tok;
        Lex();
        return Assign(e, op, discard);
      }
    }
    return e;
  }

  static int ArithOpFor(int tok) {
    switch (tok) {
      case TK_PLUSEQ: return OP_ADD;
      case TK_MINUSEQ: return OP_SUB;
      case TK_MULEQ: return OP_MUL;
      case TK_DIVEQ: return OP_DIV;
      case TK_MODEQ: return OP_MOD;
    }
    return -1;
  }

  Exp Assign(Exp &lhs, int op, bool discard) {
    if (lhs.k == EK_CONST || lhs.k == EK_VOID || lhs.k == EK_BASE ||
        (lhs.k == EK_SLOT && IsTemp(lhs.slot)))
      Error("can't assign expression");
    if (lhs.k == EK_SLOT && lhs.slot == 0) Error("can't assign to 'this'");
    if (op == TK_NEWSLOT && lhs.k != EK_FIELD) Error("can't 'create' a local slot");
    switch (lhs.k) {
      case EK_SLOT: {  // local variable
        Exp r = Expression();
        if (op == '=') {
          DischargeTo(r, lhs.slot);
        } else {
          bool rc;
          int ro = Operand(r, rc);
          EmitArith(ArithOpFor(op), lhs.slot, lhs.slot, false, ro, rc);
        }
        FreeExp(r);
        return lhs;
      }
      case EK_OUTER: {
        Exp r = Expression();
        if (op == '=') {
          int s = ToAnySlot(r);
          Emit(OP_SETOUTER, 0, lhs.kidx, s, 0);
          return r;
        }
        bool rc;
        int ro = Operand(r, rc);
        int t = AllocTemp();
        Emit(OP_GETOUTER, 0, t, lhs.kidx, 0);
        EmitArith(ArithOpFor(op), t, t, false, ro, rc);
        Emit(OP_SETOUTER, 0, lhs.kidx, t, 0);
        FreeSlot(t);
        FreeExp(r);
        if (discard) return Exp();
        int res = AllocTemp();
        Emit(OP_GETOUTER, 0, res, lhs.kidx, 0);
        return SlotExp(res);
      }
      case EK_FIELD: {
        Exp r = Expression();
        bool rc;
        int ro = Operand(r, rc);
        int vs = ro;
        bool vc = rc;
        int t = -1;
        if (op != '=' && op != TK_NEWSLOT) {
          t = AllocTemp();
          Emit(OP_GET, (lhs.keyconst ? 1 : 0) | (lhs.ident ? 2 : 0), t, lhs.slot, lhs.key);
          EmitArith(ArithOpFor(op), t, t, false, ro, rc);
          vs = t;
          vc = false;
        }
        if (op == TK_NEWSLOT)
          Emit(OP_NEWSLOT, (lhs.keyconst ? 1 : 0) | (vc ? 2 : 0), lhs.slot, lhs.key, vs);
        else
          Emit(OP_SET, (lhs.keyconst ? 1 : 0) | (vc ? 2 : 0) | (lhs.ident ? 4 : 0), lhs.slot, lhs.key, vs);
        // the value of the assignment
        if (t >= 0) FreeSlot(t);
        FreeExp(r);
        FreeExp(lhs);
        if (discard) return Exp();
        if (vc) return ConstExp(_fs->proto->_literals[vs]);
        if (!IsTemp(vs)) return SlotExp(vs);
        int res = AllocTemp();
        if (res != vs) Emit(OP_MOVE, 0, res, vs, 0);
        return SlotExp(res);
      }
      default: Error("can't assign expression");
    }
  }

  void EmitArith(int op, int dst, int b, bool bc, int c, bool cc) {
    if ((op == OP_ADD || op == OP_SUB) && cc && !bc) {
      const SQObjectPtr &k = _fs->proto->_literals[c];
      if (k._type == OT_INTEGER && _integer(k) > -32768 && _integer(k) < 32768) {
        SQInteger n = op == OP_ADD ? _integer(k) : -_integer(k);
        Emit(OP_ADDI, op == OP_SUB ? 1 : 0, dst, b, (uint16_t)(int16_t)n);
        return;
      }
    }
    Emit(op, (bc ? 1 : 0) | (cc ? 2 : 0), dst, b, c);
  }

  Exp Ternary() {
    Exp e = LogicalOr();
    if (_tok != '?') return e;
    Lex();
    int cs = ToAnySlot(e);
    FreeExp(e);
    int jf = EmitJump(OP_JZ, cs);
    int t = AllocTemp();
    Exp a = Expression();
    DischargeTo(a, t);
    FreeExp(a);
    if (_fs->stacktop <= t) _fs->stacktop = t + 1;
    int jend = EmitJump();
    Expect(':');
    PatchHere(jf);
    Exp b = Expression();
    DischargeTo(b, t);
    FreeExp(b);
    if (_fs->stacktop <= t) _fs->stacktop = t + 1;
    PatchHere(jend);
    return SlotExp(t);
  }

  Exp LogicalOr() {
    Exp e = LogicalAnd();
    while (_tok == TK_OR) {
      Lex();
      int t = ToNextSlot(e);
      int j = EmitJump(OP_JNZ, t);
      Exp r = LogicalAnd();
      DischargeTo(r, t);
      FreeExp(r);
      if (_fs->stacktop <= t) _fs->stacktop = t + 1;
      PatchHere(j);
      e = SlotExp(t);
    }
    return e;
  }

  Exp LogicalAnd() {
    Exp e = BitOr();
    while (_tok == TK_AND || _tok == TK_IN) {
      if (_tok == TK_IN) {
        Lex();
        e = BinaryWith(e, OP_IN, &Compiler::BitOr);
        continue;
      }
      Lex();
      int t = ToNextSlot(e);
      int j = EmitJump(OP_JZ, t);
      Exp r = BitOr();
      DischargeTo(r, t);
      FreeExp(r);
      if (_fs->stacktop <= t) _fs->stacktop = t + 1;
      PatchHere(j);
      e = SlotExp(t);
    }
    return e;
  }

  typedef Exp (Compiler::*SubExpr)();
  Exp BinaryWith(Exp &l, int op, SubExpr sub) {
    if (op == OP_IN || op == OP_INSTANCEOF) {
      int ls = ToAnySlot(l);
      Exp r = (this->*sub)();
      int rs = ToAnySlot(r);
      FreeExp(r);
      FreeExp(l);
      int t = AllocTemp();
      Emit(op, 0, t, ls, rs);
      return SlotExp(t);
    }
    bool lc;
    int lo = Operand(l, lc);
    Exp r = (this->*sub)();
    bool rc;
    int ro = Operand(r, rc);
    // constant folding for numeric literals
    if (lc && rc) {
      SQObjectPtr res;
      if (Fold(op, _fs->proto->_literals[lo], _fs->proto->_literals[ro], res)) return ConstExp(res);
    }
    FreeExp(r);
    FreeExp(l);
    int t = AllocTemp();
    if (op == OP_IN || op == OP_INSTANCEOF) {
      if (lc) { Exp tmp = ConstExp(_fs->proto->_literals[lo]); DischargeTo(tmp, t); lo = t; lc = false; }
      if (rc) {
        int t2 = AllocTemp();
        Exp tmp = ConstExp(_fs->proto->_literals[ro]);
        DischargeTo(tmp, t2);
        FreeSlot(t2);
        ro = t2;
        rc = false;
      }
      Emit(op, 0, t, lo, ro);
    } else {
      EmitArith(op, t, lo, lc, ro, rc);
    }
    return SlotExp(t);
  }

  bool Fold(int op, const SQObjectPtr &a, const SQObjectPtr &b, SQObjectPtr &res) {
    if (a._type == OT_INTEGER && b._type == OT_INTEGER) {
      SQInteger x = _integer(a), y = _integer(b);
      switch (op) {
        case OP_ADD: res = SQObjectPtr((SQInteger)((SQUnsignedInteger)x + (SQUnsignedInteger)y)); return true;
        case OP_SUB: res = SQObjectPtr((SQInteger)((SQUnsignedInteger)x - (SQUnsignedInteger)y)); return true;
        case OP_MUL: res = SQObjectPtr((SQInteger)((SQUnsignedInteger)x * (SQUnsignedInteger)y)); return true;
        case OP_BOR: res = SQObjectPtr(x | y); return true;
        case OP_BAND: res = SQObjectPtr(x & y); return true;
        case OP_BXOR: res = SQObjectPtr(x ^ y); return true;
        case OP_SHL: if (y >= 0 && y < 64) { res = SQObjectPtr((SQInteger)((SQUnsignedInteger)x << y)); return true; } return false;
        default: return false;
      }
    }
    return false;
  }

  Exp BitOr() {
    Exp e = BitXor();
    while (_tok == '|') { Lex(); e = BinaryWith(e, OP_BOR, &Compiler::BitXor); }
    return e;
  }
  Exp BitXor() {
    Exp e = BitAnd();
    while (_tok == '^') { Lex(); e = BinaryWith(e, OP_BXOR, &Compiler::BitAnd); }
    return e;
  }
  Exp BitAnd() {
    Exp e = EqExp();
    while (_tok == '&') { Lex(); e = BinaryWith(e, OP_BAND, &Compiler::EqExp); }
    return e;
  }
  Exp EqExp() {
    Exp e = CompExp();
    for (;;) {
      int op;
      switch (_tok) {
        case TK_EQ: op = OP_EQ; break;
        case TK_NE: op = OP_NE; break;
        case TK_3WAYSCMP: op = OP_CMP3; break;
        default: return e;
      }
      Lex();
      e = BinaryWith(e, op, &Compiler::CompExp);
    }
  }
  Exp CompExp() {
    Exp e = ShiftExp();
    for (;;) {
      int op;
      switch (_tok) {
        case '<': op = OP_LT; break;
        case '>': op = OP_GT; break;
        case TK_LE: op = OP_LE; break;
        case TK_GE: op = OP_GE; break;
        case TK_INSTANCEOF: op = OP_INSTANCEOF; break;
        default: return e;
      }
      Lex();
      e = BinaryWith(e, op, &Compiler::ShiftExp);
    }
  }
  Exp ShiftExp() {
    Exp e = PlusExp();
    for (;;) {
      int op;
      switch (_tok) {
        case TK_SHIFTL: op = OP_SHL; break;
        case TK_SHIFTR: op = OP_SHR; break;
        case TK_USHIFTR: op = OP_USHR; break;
        default: return e;
      }
      Lex();
      e = BinaryWith(e, op, &Compiler::PlusExp);
    }
  }
  Exp PlusExp() {
    Exp e = MulExp();
    for (;;) {
      int op;
      switch (_tok) {
        case '+': op = OP_ADD; break;
        case '-': op = OP_SUB; break;
        default: return e;
      }
      Lex();
      e = BinaryWith(e, op, &Compiler::MulExp);
    }
  }
  Exp MulExp() {
    Exp e = Unary();
    for (;;) {
      int op;
      switch (_tok) {
        case '*': op = OP_MUL; break;
        case '/': op = OP_DIV; break;
        case '%': op = OP_MOD; break;
        default: return e;
      }
      Lex();
      e = BinaryWith(e, op, &Compiler::Unary);
    }
  }

  Exp UnaryOp(int op) {
    Exp e = Unary();
    if (op == OP_NEG && e.k == EK_CONST) {
      const SQObjectPtr &k = _fs->proto->_literals[e.kidx];
      if (k._type == OT_INTEGER) return ConstExp(SQObjectPtr((SQInteger)(0ull - (SQUnsignedInteger)_integer(k))));
      if (k._type == OT_FLOAT) return ConstExp(SQObjectPtr(-_float(k)));
    }
    int s = ToAnySlot(e);
    FreeExp(e);
    int t = AllocTemp();
    Emit(op, 0, t, s, 0);
    return SlotExp(t);
  }

  Exp Unary() {
    NestGuard nest(this);
    switch (_tok) {
      case '-': Lex(); return UnaryOp(OP_NEG);
      case '!': Lex(); return UnaryOp(OP_NOT);
      case '~': Lex(); return UnaryOp(OP_BNOT);
      case TK_TYPEOF: Lex(); return UnaryOp(OP_TYPEOF);
      case TK_RESUME: Lex(); return UnaryOp(OP_RESUME);
      case TK_CLONE: Lex(); return UnaryOp(OP_CLONE);
      case TK_DELETE: {
        Lex();
        Exp e = Unary();
        if (e.k != EK_FIELD) Error("can't delete an expression");
        FreeExp(e);
        int t = AllocTemp();
        Emit(OP_DELETE, e.keyconst ? 1 : 0, t, e.slot, e.key);
        return SlotExp(t);
      }
      case TK_PLUSPLUS: case TK_MINUSMINUS: {
        int d = _tok == TK_PLUSPLUS ? 1 : -1;
        Lex();
        Exp e = Unary();
        return IncDec(e, d, true);
      }
    }
    return Postfix();
  }

  Exp IncDec(Exp &e, int d, bool prefix) {
    switch (e.k) {
      case EK_SLOT:
        if (IsTemp(e.slot) || e.slot == 0) Error("can't '++' or '--' an expression");
        if (prefix) {
          Emit(OP_ADDI, 0, e.slot, e.slot, (uint16_t)(int16_t)d);
          return e;
        } else {
          int t = AllocTemp();
          Emit(OP_MOVE, 0, t, e.slot, 0);
          Emit(OP_ADDI, 0, e.slot, e.slot, (uint16_t)(int16_t)d);
          return SlotExp(t);
        }
      case EK_OUTER: {
        int t = AllocTemp();
        Emit(OP_GETOUTER, 0, t, e.kidx, 0);
        int t2 = AllocTemp();
        Emit(OP_ADDI, 0, t2, t, (uint16_t)(int16_t)d);
        Emit(OP_SETOUTER, 0, e.kidx, t2, 0);
        if (prefix) Emit(OP_MOVE, 0, t, t2, 0);
        FreeSlot(t2);
        return SlotExp(t);
      }
      case EK_FIELD: {
        int t = AllocTemp();
        Emit(OP_GET, (e.keyconst ? 1 : 0) | (e.ident ? 2 : 0), t, e.slot, e.key);
        int t2 = AllocTemp();
        Emit(OP_ADDI, 0, t2, t, (uint16_t)(int16_t)d);
        Emit(OP_SET, (e.keyconst ? 1 : 0) | (e.ident ? 4 : 0), e.slot, e.key, t2);
        FreeSlot(t2);
        int res = prefix ? t2 : t;
        FreeSlot(t);
        FreeExp(e);
        int r = AllocTemp();
        if (r != res) Emit(OP_MOVE, 0, r, res, 0);
        return SlotExp(r);
      }
      default: Error("can't '++' or '--' an expression");
    }
  }

  // Turns a pending field/identifier into a call setup: function at F, 'this' at F+1.
  int PrepareCall(Exp &e) {
    if (e.k == EK_FIELD) {
      FreeExp(e);
      int f = AllocTemp();
      AllocTemp();
      Emit(OP_PREPCALL, (e.keyconst ? 1 : 0) | (e.ident ? 2 : 0) | (e.fromconsts ? 0 : 0), f, e.slot, e.key);
      return f;
    }
    if (e.k == EK_BASE) Error("can't call 'base'");
    int f = ToNextSlot(e);
    int t = AllocTemp();
    Emit(OP_MOVE, 0, t, 0, 0);
    return f;
  }

  Exp Postfix() {
    Exp e = Primary();
    bool basecall = e.k == EK_BASE;
    if (basecall) e.k = EK_SLOT;
    for (;;) {
      switch (_tok) {
        case '.': {
          Lex();
          SQObjectPtr name = ExpectId();
          if (e.k == EK_CONST && e.fromconsts) {
            const SQObjectPtr &c = _fs->proto->_literals[e.kidx];
            SQObjectPtr v;
            if (c._type == OT_TABLE && _table(c)->Get(name, v)) {
              e = ConstExp(v);
              e.fromconsts = true;
              break;
            }
          }
          int os = ToAnySlot(e);
          Exp f;
          f.k = EK_FIELD;
          f.slot = os;
          f.key = AddConst(name);
          f.keyconst = true;
          e = f;
          if (basecall) { e.ident = false; }
          break;
        }
        case '[': {
          if (_lex._newlinebefore && false) return e;
          Lex();
          int os = ToAnySlot(e);
          Exp k = CommaExpr();
          Expect(']');
          Exp f;
          f.k = EK_FIELD;
          f.slot = os;
          if (k.k == EK_CONST) { f.key = k.kidx; f.keyconst = true; }
          else { f.key = ToAnySlot(k); }
          e = f;
          basecall = false;
          break;
        }
        case '(': {
          // A failing call is reported at its callee's name, not at the ')'.
          SQInteger callline = _lex._prevtokline, callcol = _lex._prevtokcol;
          Lex();
          int f;
          SQInteger prepstart = Pos();
          if (basecall && e.k == EK_FIELD) {
            FreeExp(e);
            f = AllocTemp();
            AllocTemp();
            Emit(OP_PREPCALL, (e.keyconst ? 1 : 0) | 4, f, e.slot, e.key);
          } else {
            f = PrepareCall(e);
          }
          // So is a failing look-up of the function being called.
          for (SQInteger i = prepstart; i < Pos(); i++)
            if (_fs->proto->_lines[i] == callline) _fs->proto->_columns[i] = (int32_t)callcol;
          int nargs = 1;
          while (_tok != ')') {
            Exp a = Expression();
            ToNextSlot(a);
            nargs++;
            if (_tok == ',') {
              Lex();
              if (_tok == ')') Error("expression expected, found ')'");
            } else if (_tok != ')') Error("expected ')' or ','");
          }
          Lex();
          Emit(OP_CALL, 0, f, nargs, f);
          if (_fs->proto->_lines.back() == callline) _fs->proto->_columns.back() = (int32_t)callcol;
          _fs->stacktop = f + 1;
          e = SlotExp(f);
          basecall = false;
          break;
        }
        case TK_PLUSPLUS: case TK_MINUSMINUS: {
          if (_lex._newlinebefore) return e;
          int d = _tok == TK_PLUSPLUS ? 1 : -1;
          Lex();
          return IncDec(e, d, false);
        }
        default: return e;
      }
    }
  }

  Exp ResolveName(const SQObjectPtr &name) {
    int li = FindLocal(_fs, name);
    if (li >= 0) return SlotExp(_fs->locals[li].slot);
    int oi = FindOuter(_fs, name);
    if (oi >= 0) {
      Exp e;
      e.k = EK_OUTER;
      e.kidx = oi;
      return e;
    }
    SQObjectPtr cv;
    if (_table(_ss->_consts)->Get(name, cv)) {
      Exp e = ConstExp(cv);
      e.fromconsts = true;
      return e;
    }
    Exp e;
    e.k = EK_FIELD;
    e.slot = 0;
    e.key = AddConst(name);
    e.keyconst = true;
    e.ident = true;
    return e;
  }

  Exp Primary() {
    switch (_tok) {
      case TK_STRING_LITERAL: {
        Exp e = ConstExp(Str(_lex._svalue.c_str(), _lex._svalue.size()));
        Lex();
        return e;
      }
      case TK_INTEGER: { Exp e = ConstExp(SQObjectPtr(_lex._nvalue)); Lex(); return e; }
      case TK_FLOAT: { Exp e = ConstExp(SQObjectPtr(_lex._fvalue)); Lex(); return e; }
      case TK_TRUE: case TK_FALSE: { Exp e = ConstExp(SQObjectPtr(_tok == TK_TRUE)); Lex(); return e; }
      case TK_NULL: { Exp e = ConstExp(SQObjectPtr()); Lex(); return e; }
      case TK_LINE: { Exp e = ConstExp(SQObjectPtr(_lex._tokline)); Lex(); return e; }
      case TK_FILE: { Exp e = ConstExp(_source); Lex(); return e; }
      case TK_THIS: Lex(); return SlotExp(0);
      case TK_BASE: {
        Lex();
        Exp e;
        e.k = EK_BASE;
        e.slot = AllocTemp();
        Emit(OP_GETBASE, 0, e.slot, 0, 0);
        return e;
      }
      case TK_IDENTIFIER: case TK_CONSTRUCTOR: {
        SQObjectPtr name = ExpectId();
        return ResolveName(name);
      }
      case TK_DOUBLE_COLON: {
        Lex();
        int t = AllocTemp();
        Emit(OP_LOADROOT, 0, t, 0, 0);
        SQObjectPtr name = ExpectId();
        Exp e;
        e.k = EK_FIELD;
        e.slot = t;
        e.key = AddConst(name);
        e.keyconst = true;
        return e;
      }
      case '(': {
        Lex();
        Exp e = CommaExpr();
        Expect(')');
        if (e.k == EK_FIELD || e.k == EK_BASE) ToAnySlot(e);  // (a.b)() calls with this = current this
        return e;
      }
      case '[': {
        Lex();
        int t = AllocTemp();
        int pos = Emit(OP_NEWARRAY, 0, t, 0, 0);
        int n = 0;
        while (_tok != ']') {
          Exp v = Expression();
          bool vc;
          int vo = Operand(v, vc);
          Emit(OP_APPEND, vc ? 1 : 0, t, vo, 0);
          FreeExp(v);
          n++;
          if (_tok == ',') Lex();
          else if (_tok != ']') Error("expected ']' or ','");
        }
        Lex();
        _fs->proto->_code[pos].b = (uint16_t)std::min(n, 0xFFFF);
        return SlotExp(t);
      }
      case '{': {
        Lex();
        int t = AllocTemp();
        // The member count becomes the table's initial capacity, so a
        // literal fills its table without growing it.
        int pos = Emit(OP_NEWTABLE, 0, t, 0, 0);
        int n = 0;
        while (_tok != '}') {
          MemberDecl(t, false, NO_TARGET, false);
          n++;
          if (_tok == ',') Lex();
        }
        Lex();
        _fs->proto->_code[pos].b = (uint16_t)std::min(n, 0xFFFF);
        return SlotExp(t);
      }
      case TK_FUNCTION: {
        Lex();
        Expect('(');
        int t = AllocTemp();
        CreateFunction(SQObjectPtr(), t, false);
        return SlotExp(t);
      }
      case '@': {
        Lex();
        Expect('(');
        int t = AllocTemp();
        CreateFunction(SQObjectPtr(), t, true);
        return SlotExp(t);
      }
      case TK_CLASS: {
        Lex();
        int t = AllocTemp();
        ClassBody(t);
        return SlotExp(t);
      }
      case TK_EOF: Error("unexpected end of file");
      default: Error("expression expected");
    }
  }
};

}  // namespace

bool sq_compile_source(SQVM *v, const char *src, SQInteger len, const char *sourcename, bool raiseerror,
                       SQObjectPtr &out) {
  Compiler c(v, src, len, sourcename ? sourcename : "unnamedbuffer");
  std::string err;
  SQInteger line = 0, col = 0;
  if (c.Compile(out, err, line, col)) return true;
  if (raiseerror && v->SS()->_compilererrorhandler)
    v->SS()->_compilererrorhandler(v, err.c_str(), sourcename ? sourcename : "unnamedbuffer", line, col);
  v->_lasterror = SQObjectPtr(SQStr(v->SS(), err.c_str()));
  return false;
}
