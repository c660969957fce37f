// Instruction set. Operands a, b, c are frame slots unless noted; x holds flags.
#pragma once

enum SQOpcode : unsigned char {
  OP_LOADK,      // a = K[sbx]
  OP_LOADINT,    // a = sbx
  OP_LOADNULLS,  // a .. a+b-1 = null
  OP_LOADBOOL,   // a = (b != 0)
  OP_MOVE,       // a = b
  OP_LOADROOT,   // a = root table
  OP_GETOUTER,   // a = outer[b]
  OP_SETOUTER,   // outer[a] = b
  OP_GET,        // a = b[c]; x&1: c is K; x&2: identifier (falls back to the root table)
  OP_PREPCALL,   // a = b[c], a+1 = b; x&1: c is K; x&2: identifier; x&4: 'this' (slot 0) instead of b
  OP_SET,        // a[b] = c; x&1: b is K; x&2: c is K; x&4: identifier
  OP_NEWSLOT,    // a[b] <- c; x&1: b is K; x&2: c is K; x&4: static; x&8: attributes follow in c+1
  OP_DELETE,     // a = delete b[c]; x&1: c is K
  OP_ADD, OP_SUB, OP_MUL, OP_DIV, OP_MOD,            // a = b op c; x&1: b is K; x&2: c is K
  OP_BAND, OP_BOR, OP_BXOR, OP_SHL, OP_SHR, OP_USHR,
  OP_EQ, OP_NE, OP_LT, OP_LE, OP_GT, OP_GE, OP_CMP3,
  OP_IN,         // a = b in c
  OP_INSTANCEOF, // a = b instanceof c
  OP_JMP,        // ip += sbx
  OP_JZ,         // if !a: ip += sbx
  OP_JNZ,        // if a: ip += sbx
  OP_NOT, OP_NEG, OP_BNOT, OP_TYPEOF, OP_CLONE,      // a = op b
  OP_CALL,       // call a with b args (a+1 is 'this'); result into c (0xFFFF: discard)
  OP_RETURN,     // return a (x: has a value)
  OP_YIELD,      // yield a (x: has a value)
  OP_RESUME,     // a = resume b
  OP_NEWTABLE,   // a = {} (b: capacity hint)
  OP_NEWARRAY,   // a = [] (b: capacity hint)
  OP_APPEND,     // a.append(b); x&1: b is K
  OP_CLOSURE,    // a = closure of nested prototype b
  OP_NEWCLASS,   // a = class; b: base slot or 0xFFFF; c: attributes slot or 0xFFFF
  OP_GETBASE,    // a = base class of the running method
  OP_FOREACH,    // a: container, a+1 iterator, a+2 key, a+3 value; at the end ip += sbx
  OP_PUSHTRAP,   // exception into a; handler at ip + sbx
  OP_POPTRAP,    // remove b traps
  OP_THROW,      // throw a
  OP_CLOSE,      // close captured locals from slot a up
  OP_JCMP,       // if !(a op b) ip += next.sbx ; x&1: b is K; c: comparison opcode
  OP_ADDI,       // a = b + (int16)c  (integer fast path, falls back to generic add)
  OP_TAILCALL_UNUSED,
  OP_COUNT
};

#define NO_TARGET 0xFFFF
