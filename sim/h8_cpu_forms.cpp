// The decode table of the H8/300H core: every instruction form, its
// encoding, length, mnemonic, operand layout (for the disassembler) and
// handler. The table is built once into the tree of 65536-entry tables that
// h8_isa.h describes; two forms that claim the same encoding abort the
// build, so the list cannot silently shadow itself.
//
// Encodings are written one 16-bit word at a time, one character a nibble:
//   0-9 A-F  that nibble
//   x        any value
//   r        0-7 (a 3-bit register or bit-number field, top bit clear)
//   R        8-F (the same field with the top bit set)
//   q        0-3
// Operand templates (rendered by h8_disasm.cpp); N is a hex digit giving a
// nibble position (registers) or a byte offset (everything else):
//   %bN %wN %lN     byte / word / long register in nibble N
//   %kN             bit number #n in nibble N (low 3 bits)
//   %IN %JN %KN     #imm 8 / 16 / 32 bits at byte N
//   %AN %BN %CN     @aa:8 / @aa:16 / @aa:24 (24 bits from byte N)
//   %DNM %ENM       @(d:16,ERm) / @(d:24,ERm): displacement at byte N,
//                   register in nibble M
//   %PN %QN         branch target, 8-/16-bit displacement at byte N
//   %VN             @@aa:8 at byte N
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "h8_cpu.h"
#include "h8_cpu_ops.h"
#include "h8_isa.h"

namespace h8isa {

struct TableBuilder {
  struct Spec {
    const char* words[3];
    std::uint8_t length;
    const char* mnemonic;
    const char* operands;
    Exec exec;
  };

  static void Parse(const char* pattern, std::uint16_t& mask, std::uint16_t& value) {
    mask = 0;
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const char ch = pattern[i];
      std::uint16_t m = 0xF;
      std::uint16_t v = 0;
      if (ch >= '0' && ch <= '9') {
        v = static_cast<std::uint16_t>(ch - '0');
      } else if (ch >= 'A' && ch <= 'F') {
        v = static_cast<std::uint16_t>(ch - 'A' + 10);
      } else if (ch == 'x') {
        m = 0;
      } else if (ch == 'r') {
        m = 0x8;
      } else if (ch == 'R') {
        m = 0x8;
        v = 0x8;
      } else if (ch == 'q') {
        m = 0xC;
      } else {
        Fail("bad pattern", pattern);
      }
      mask = static_cast<std::uint16_t>((mask << 4) | m);
      value = static_cast<std::uint16_t>((value << 4) | v);
    }
    if (pattern[4] != '\0') Fail("bad pattern", pattern);
  }

  [[noreturn]] static void Fail(const char* what, const char* pattern) {
    std::fprintf(stderr, "H8 decode table: %s: %s\n", what, pattern);
    std::abort();
  }

  // Calls f for every word that matches the pattern.
  template <typename F>
  static void ForEachWord(const char* pattern, F f) {
    std::uint16_t mask = 0;
    std::uint16_t value = 0;
    Parse(pattern, mask, value);
    const std::uint32_t free_bits = ~mask & 0xFFFFu;
    std::uint32_t s = 0;
    do {
      f(static_cast<std::uint16_t>(value | s));
      s = (s - free_bits) & free_bits;
    } while (s != 0);
  }

  static std::uint16_t NewNode(Tables& t) {
    t.nodes.emplace_back(new std::uint16_t[65536]());
    return static_cast<std::uint16_t>(t.nodes.size() - 1);
  }

  static void Add(Tables& t, std::map<std::string, std::uint16_t>& prefixes, const Spec& spec) {
    std::uint16_t node = 0;
    std::string key;
    int words = 0;
    while (words < 3 && spec.words[words] != nullptr) ++words;
    for (int i = 0; i < words; ++i) {
      const char* pattern = spec.words[i];
      key += pattern;
      key += ' ';
      std::uint16_t form = 0;
      if (i == words - 1) {
        Form f;
        f.exec = spec.exec;
        f.length = spec.length;
        f.mnemonic = spec.mnemonic;
        f.operands = spec.operands;
        t.forms.push_back(f);
        form = static_cast<std::uint16_t>(t.forms.size() - 1);
      } else {
        auto found = prefixes.find(key);
        if (found == prefixes.end()) {
          Form f;
          f.next = NewNode(t);
          t.forms.push_back(f);
          found = prefixes.emplace(key, static_cast<std::uint16_t>(t.forms.size() - 1)).first;
        }
        form = found->second;
      }
      std::uint16_t* table = t.nodes[node].get();
      const bool leaf = i == words - 1;
      ForEachWord(pattern, [&](std::uint16_t w) {
        if (table[w] != 0 && (leaf || table[w] != form)) Fail("two forms claim one encoding", key.c_str());
        table[w] = form;
      });
      if (!leaf) node = t.forms[form].next;
    }
  }

  static Tables Build();
};

Tables TableBuilder::Build() {
  using O = H8Cpu::Ops;
  using Bin = O::Bin;
  using Un = O::Un;
  using Ea = O::Ea;
  using Bit = O::Bit;

  static const Spec kSpecs[] = {
      // -- data transfer ----------------------------------------------------
      {{"0Cxx"}, 2, "mov.b", "%b2,%b3", &O::RR<1, Bin::kMov>},
      {{"0Dxx"}, 2, "mov.w", "%w2,%w3", &O::RR<2, Bin::kMov>},
      {{"0FRr"}, 2, "mov.l", "%l2,%l3", &O::RR<4, Bin::kMov>},
      {{"Fxxx"}, 2, "mov.b", "%I1,%b1", &O::ImmB<Bin::kMov>},
      {{"790x"}, 4, "mov.w", "%J2,%w3", &O::ImmW<Bin::kMov>},
      {{"7A0r"}, 6, "mov.l", "%K2,%l3", &O::ImmL<Bin::kMov>},

      {{"68rx"}, 2, "mov.b", "@%l2,%b3", &O::Load<1, Ea::kInd>},
      {{"68Rx"}, 2, "mov.b", "%b3,@%l2", &O::Store<1, Ea::kInd>},
      {{"69rx"}, 2, "mov.w", "@%l2,%w3", &O::Load<2, Ea::kInd>},
      {{"69Rx"}, 2, "mov.w", "%w3,@%l2", &O::Store<2, Ea::kInd>},
      {{"0100", "69rr"}, 4, "mov.l", "@%l6,%l7", &O::Load<4, Ea::kInd>},
      {{"0100", "69Rr"}, 4, "mov.l", "%l7,@%l6", &O::Store<4, Ea::kInd>},

      {{"6Crx"}, 2, "mov.b", "@%l2+,%b3", &O::Load<1, Ea::kPostInc>},
      {{"6CRx"}, 2, "mov.b", "%b3,@-%l2", &O::Store<1, Ea::kPreDec>},
      {{"6Drx"}, 2, "mov.w", "@%l2+,%w3", &O::Load<2, Ea::kPostInc>},
      {{"6DRx"}, 2, "mov.w", "%w3,@-%l2", &O::Store<2, Ea::kPreDec>},
      {{"0100", "6Drr"}, 4, "mov.l", "@%l6+,%l7", &O::Load<4, Ea::kPostInc>},
      {{"0100", "6DRr"}, 4, "mov.l", "%l7,@-%l6", &O::Store<4, Ea::kPreDec>},

      {{"6Erx"}, 4, "mov.b", "%D22,%b3", &O::Load<1, Ea::kD16>},
      {{"6ERx"}, 4, "mov.b", "%b3,%D22", &O::Store<1, Ea::kD16>},
      {{"6Frx"}, 4, "mov.w", "%D22,%w3", &O::Load<2, Ea::kD16>},
      {{"6FRx"}, 4, "mov.w", "%w3,%D22", &O::Store<2, Ea::kD16>},
      {{"0100", "6Frr"}, 6, "mov.l", "%D46,%l7", &O::Load<4, Ea::kD16>},
      {{"0100", "6FRr"}, 6, "mov.l", "%l7,%D46", &O::Store<4, Ea::kD16>},

      {{"78r0", "6A2x"}, 8, "mov.b", "%E52,%b7", &O::Load<1, Ea::kD24>},
      {{"78r0", "6AAx"}, 8, "mov.b", "%b7,%E52", &O::Store<1, Ea::kD24>},
      {{"78r0", "6B2x"}, 8, "mov.w", "%E52,%w7", &O::Load<2, Ea::kD24>},
      {{"78r0", "6BAx"}, 8, "mov.w", "%w7,%E52", &O::Store<2, Ea::kD24>},
      // The assembler sets the top bit of the register field in the store
      // form of MOV.L @(d:24,ERd); the load form has it clear.
      {{"0100", "78r0", "6B2r"}, 10, "mov.l", "%E76,%lB", &O::Load<4, Ea::kD24>},
      {{"0100", "78R0", "6BAr"}, 10, "mov.l", "%lB,%E76", &O::Store<4, Ea::kD24>},

      {{"2xxx"}, 2, "mov.b", "%A1,%b1", &O::LoadAbs8},
      {{"3xxx"}, 2, "mov.b", "%b1,%A1", &O::StoreAbs8},
      {{"6A0x"}, 4, "mov.b", "%B2,%b3", &O::Load<1, Ea::kAbs16>},
      {{"6A8x"}, 4, "mov.b", "%b3,%B2", &O::Store<1, Ea::kAbs16>},
      {{"6B0x"}, 4, "mov.w", "%B2,%w3", &O::Load<2, Ea::kAbs16>},
      {{"6B8x"}, 4, "mov.w", "%w3,%B2", &O::Store<2, Ea::kAbs16>},
      {{"0100", "6B0r"}, 6, "mov.l", "%B4,%l7", &O::Load<4, Ea::kAbs16>},
      {{"0100", "6B8r"}, 6, "mov.l", "%l7,%B4", &O::Store<4, Ea::kAbs16>},
      {{"6A2x"}, 6, "mov.b", "%C3,%b3", &O::Load<1, Ea::kAbs24>},
      {{"6AAx"}, 6, "mov.b", "%b3,%C3", &O::Store<1, Ea::kAbs24>},
      {{"6B2x"}, 6, "mov.w", "%C3,%w3", &O::Load<2, Ea::kAbs24>},
      {{"6BAx"}, 6, "mov.w", "%w3,%C3", &O::Store<2, Ea::kAbs24>},
      {{"0100", "6B2r"}, 8, "mov.l", "%C5,%l7", &O::Load<4, Ea::kAbs24>},
      {{"0100", "6BAr"}, 8, "mov.l", "%l7,%C5", &O::Store<4, Ea::kAbs24>},
      // E-clock synchronous moves; timing is not modelled, so plain moves.
      {{"6A4x"}, 4, "movfpe", "%B2,%b3", &O::Load<1, Ea::kAbs16>},
      {{"6ACx"}, 4, "movtpe", "%b3,%B2", &O::Store<1, Ea::kAbs16>},
      {{"7B5C", "598F"}, 4, "eepmov.b", "", &O::Eepmov},
      {{"7BD4", "598F"}, 4, "eepmov.w", "", &O::Eepmov},

      // -- arithmetic -------------------------------------------------------
      {{"08xx"}, 2, "add.b", "%b2,%b3", &O::RR<1, Bin::kAdd>},
      {{"09xx"}, 2, "add.w", "%w2,%w3", &O::RR<2, Bin::kAdd>},
      {{"0ARr"}, 2, "add.l", "%l2,%l3", &O::RR<4, Bin::kAdd>},
      {{"8xxx"}, 2, "add.b", "%I1,%b1", &O::ImmB<Bin::kAdd>},
      {{"791x"}, 4, "add.w", "%J2,%w3", &O::ImmW<Bin::kAdd>},
      {{"7A1r"}, 6, "add.l", "%K2,%l3", &O::ImmL<Bin::kAdd>},
      {{"0Exx"}, 2, "addx", "%b2,%b3", &O::RR<1, Bin::kAddx>},
      {{"9xxx"}, 2, "addx", "%I1,%b1", &O::ImmB<Bin::kAddx>},
      {{"0B0r"}, 2, "adds", "#1,%l3", &O::Unary<4, Un::kAdds1>},
      {{"0B8r"}, 2, "adds", "#2,%l3", &O::Unary<4, Un::kAdds2>},
      {{"0B9r"}, 2, "adds", "#4,%l3", &O::Unary<4, Un::kAdds4>},
      {{"0A0x"}, 2, "inc.b", "%b3", &O::Unary<1, Un::kInc1>},
      {{"0B5x"}, 2, "inc.w", "#1,%w3", &O::Unary<2, Un::kInc1>},
      {{"0BDx"}, 2, "inc.w", "#2,%w3", &O::Unary<2, Un::kInc2>},
      {{"0B7r"}, 2, "inc.l", "#1,%l3", &O::Unary<4, Un::kInc1>},
      {{"0BFr"}, 2, "inc.l", "#2,%l3", &O::Unary<4, Un::kInc2>},
      {{"0F0x"}, 2, "daa", "%b3", &O::Daa},

      {{"18xx"}, 2, "sub.b", "%b2,%b3", &O::RR<1, Bin::kSub>},
      {{"19xx"}, 2, "sub.w", "%w2,%w3", &O::RR<2, Bin::kSub>},
      {{"1ARr"}, 2, "sub.l", "%l2,%l3", &O::RR<4, Bin::kSub>},
      {{"793x"}, 4, "sub.w", "%J2,%w3", &O::ImmW<Bin::kSub>},
      {{"7A3r"}, 6, "sub.l", "%K2,%l3", &O::ImmL<Bin::kSub>},
      {{"1Exx"}, 2, "subx", "%b2,%b3", &O::RR<1, Bin::kSubx>},
      {{"Bxxx"}, 2, "subx", "%I1,%b1", &O::ImmB<Bin::kSubx>},
      {{"1B0r"}, 2, "subs", "#1,%l3", &O::Unary<4, Un::kSubs1>},
      {{"1B8r"}, 2, "subs", "#2,%l3", &O::Unary<4, Un::kSubs2>},
      {{"1B9r"}, 2, "subs", "#4,%l3", &O::Unary<4, Un::kSubs4>},
      {{"1A0x"}, 2, "dec.b", "%b3", &O::Unary<1, Un::kDec1>},
      {{"1B5x"}, 2, "dec.w", "#1,%w3", &O::Unary<2, Un::kDec1>},
      {{"1BDx"}, 2, "dec.w", "#2,%w3", &O::Unary<2, Un::kDec2>},
      {{"1B7r"}, 2, "dec.l", "#1,%l3", &O::Unary<4, Un::kDec1>},
      {{"1BFr"}, 2, "dec.l", "#2,%l3", &O::Unary<4, Un::kDec2>},
      {{"1F0x"}, 2, "das", "%b3", &O::Das},

      {{"1Cxx"}, 2, "cmp.b", "%b2,%b3", &O::RR<1, Bin::kCmp>},
      {{"1Dxx"}, 2, "cmp.w", "%w2,%w3", &O::RR<2, Bin::kCmp>},
      {{"1FRr"}, 2, "cmp.l", "%l2,%l3", &O::RR<4, Bin::kCmp>},
      {{"Axxx"}, 2, "cmp.b", "%I1,%b1", &O::ImmB<Bin::kCmp>},
      {{"792x"}, 4, "cmp.w", "%J2,%w3", &O::ImmW<Bin::kCmp>},
      {{"7A2r"}, 6, "cmp.l", "%K2,%l3", &O::ImmL<Bin::kCmp>},

      {{"178x"}, 2, "neg.b", "%b3", &O::Unary<1, Un::kNeg>},
      {{"179x"}, 2, "neg.w", "%w3", &O::Unary<2, Un::kNeg>},
      {{"17Br"}, 2, "neg.l", "%l3", &O::Unary<4, Un::kNeg>},
      {{"175x"}, 2, "extu.w", "%w3", &O::Unary<2, Un::kExtu>},
      {{"177r"}, 2, "extu.l", "%l3", &O::Unary<4, Un::kExtu>},
      {{"17Dx"}, 2, "exts.w", "%w3", &O::Unary<2, Un::kExts>},
      {{"17Fr"}, 2, "exts.l", "%l3", &O::Unary<4, Un::kExts>},

      {{"50xx"}, 2, "mulxu.b", "%b2,%w3", &O::MulxuB},
      {{"52xr"}, 2, "mulxu.w", "%w2,%l3", &O::MulxuW},
      {{"01C0", "50xx"}, 4, "mulxs.b", "%b6,%w7", &O::MulxsB},
      {{"01C0", "52xr"}, 4, "mulxs.w", "%w6,%l7", &O::MulxsW},
      {{"51xx"}, 2, "divxu.b", "%b2,%w3", &O::DivxuB},
      {{"53xr"}, 2, "divxu.w", "%w2,%l3", &O::DivxuW},
      {{"01D0", "51xx"}, 4, "divxs.b", "%b6,%w7", &O::DivxsB},
      {{"01D0", "53xr"}, 4, "divxs.w", "%w6,%l7", &O::DivxsW},

      // -- logic --------------------------------------------------------------
      {{"16xx"}, 2, "and.b", "%b2,%b3", &O::RR<1, Bin::kAnd>},
      {{"66xx"}, 2, "and.w", "%w2,%w3", &O::RR<2, Bin::kAnd>},
      {{"01F0", "66rr"}, 4, "and.l", "%l6,%l7", &O::RR<4, Bin::kAnd>},
      {{"Exxx"}, 2, "and.b", "%I1,%b1", &O::ImmB<Bin::kAnd>},
      {{"796x"}, 4, "and.w", "%J2,%w3", &O::ImmW<Bin::kAnd>},
      {{"7A6r"}, 6, "and.l", "%K2,%l3", &O::ImmL<Bin::kAnd>},
      {{"14xx"}, 2, "or.b", "%b2,%b3", &O::RR<1, Bin::kOr>},
      {{"64xx"}, 2, "or.w", "%w2,%w3", &O::RR<2, Bin::kOr>},
      {{"01F0", "64rr"}, 4, "or.l", "%l6,%l7", &O::RR<4, Bin::kOr>},
      {{"Cxxx"}, 2, "or.b", "%I1,%b1", &O::ImmB<Bin::kOr>},
      {{"794x"}, 4, "or.w", "%J2,%w3", &O::ImmW<Bin::kOr>},
      {{"7A4r"}, 6, "or.l", "%K2,%l3", &O::ImmL<Bin::kOr>},
      {{"15xx"}, 2, "xor.b", "%b2,%b3", &O::RR<1, Bin::kXor>},
      {{"65xx"}, 2, "xor.w", "%w2,%w3", &O::RR<2, Bin::kXor>},
      {{"01F0", "65rr"}, 4, "xor.l", "%l6,%l7", &O::RR<4, Bin::kXor>},
      {{"Dxxx"}, 2, "xor.b", "%I1,%b1", &O::ImmB<Bin::kXor>},
      {{"795x"}, 4, "xor.w", "%J2,%w3", &O::ImmW<Bin::kXor>},
      {{"7A5r"}, 6, "xor.l", "%K2,%l3", &O::ImmL<Bin::kXor>},
      {{"170x"}, 2, "not.b", "%b3", &O::Unary<1, Un::kNot>},
      {{"171x"}, 2, "not.w", "%w3", &O::Unary<2, Un::kNot>},
      {{"173r"}, 2, "not.l", "%l3", &O::Unary<4, Un::kNot>},

      // -- shifts and rotates -------------------------------------------------
      {{"100x"}, 2, "shll.b", "%b3", &O::Unary<1, Un::kShll>},
      {{"101x"}, 2, "shll.w", "%w3", &O::Unary<2, Un::kShll>},
      {{"103r"}, 2, "shll.l", "%l3", &O::Unary<4, Un::kShll>},
      {{"108x"}, 2, "shal.b", "%b3", &O::Unary<1, Un::kShal>},
      {{"109x"}, 2, "shal.w", "%w3", &O::Unary<2, Un::kShal>},
      {{"10Br"}, 2, "shal.l", "%l3", &O::Unary<4, Un::kShal>},
      {{"110x"}, 2, "shlr.b", "%b3", &O::Unary<1, Un::kShlr>},
      {{"111x"}, 2, "shlr.w", "%w3", &O::Unary<2, Un::kShlr>},
      {{"113r"}, 2, "shlr.l", "%l3", &O::Unary<4, Un::kShlr>},
      {{"118x"}, 2, "shar.b", "%b3", &O::Unary<1, Un::kShar>},
      {{"119x"}, 2, "shar.w", "%w3", &O::Unary<2, Un::kShar>},
      {{"11Br"}, 2, "shar.l", "%l3", &O::Unary<4, Un::kShar>},
      {{"120x"}, 2, "rotxl.b", "%b3", &O::Unary<1, Un::kRotxl>},
      {{"121x"}, 2, "rotxl.w", "%w3", &O::Unary<2, Un::kRotxl>},
      {{"123r"}, 2, "rotxl.l", "%l3", &O::Unary<4, Un::kRotxl>},
      {{"128x"}, 2, "rotl.b", "%b3", &O::Unary<1, Un::kRotl>},
      {{"129x"}, 2, "rotl.w", "%w3", &O::Unary<2, Un::kRotl>},
      {{"12Br"}, 2, "rotl.l", "%l3", &O::Unary<4, Un::kRotl>},
      {{"130x"}, 2, "rotxr.b", "%b3", &O::Unary<1, Un::kRotxr>},
      {{"131x"}, 2, "rotxr.w", "%w3", &O::Unary<2, Un::kRotxr>},
      {{"133r"}, 2, "rotxr.l", "%l3", &O::Unary<4, Un::kRotxr>},
      {{"138x"}, 2, "rotr.b", "%b3", &O::Unary<1, Un::kRotr>},
      {{"139x"}, 2, "rotr.w", "%w3", &O::Unary<2, Un::kRotr>},
      {{"13Br"}, 2, "rotr.l", "%l3", &O::Unary<4, Un::kRotr>},

      // -- bit manipulation ---------------------------------------------------
      {{"70rx"}, 2, "bset", "%k2,%b3", &O::BitReg<Bit::kSet, false>},
      {{"60xx"}, 2, "bset", "%b2,%b3", &O::BitReg<Bit::kSet, true>},
      {{"71rx"}, 2, "bnot", "%k2,%b3", &O::BitReg<Bit::kNot, false>},
      {{"61xx"}, 2, "bnot", "%b2,%b3", &O::BitReg<Bit::kNot, true>},
      {{"72rx"}, 2, "bclr", "%k2,%b3", &O::BitReg<Bit::kClr, false>},
      {{"62xx"}, 2, "bclr", "%b2,%b3", &O::BitReg<Bit::kClr, true>},
      {{"73rx"}, 2, "btst", "%k2,%b3", &O::BitReg<Bit::kTst, false>},
      {{"63xx"}, 2, "btst", "%b2,%b3", &O::BitReg<Bit::kTst, true>},
      {{"74rx"}, 2, "bor", "%k2,%b3", &O::BitReg<Bit::kOr, false>},
      {{"74Rx"}, 2, "bior", "%k2,%b3", &O::BitReg<Bit::kIor, false>},
      {{"75rx"}, 2, "bxor", "%k2,%b3", &O::BitReg<Bit::kXor, false>},
      {{"75Rx"}, 2, "bixor", "%k2,%b3", &O::BitReg<Bit::kIxor, false>},
      {{"76rx"}, 2, "band", "%k2,%b3", &O::BitReg<Bit::kAnd, false>},
      {{"76Rx"}, 2, "biand", "%k2,%b3", &O::BitReg<Bit::kIand, false>},
      {{"77rx"}, 2, "bld", "%k2,%b3", &O::BitReg<Bit::kLd, false>},
      {{"77Rx"}, 2, "bild", "%k2,%b3", &O::BitReg<Bit::kIld, false>},
      {{"67rx"}, 2, "bst", "%k2,%b3", &O::BitReg<Bit::kSt, false>},
      {{"67Rx"}, 2, "bist", "%k2,%b3", &O::BitReg<Bit::kIst, false>},

      {{"7Cr0", "63x0"}, 4, "btst", "%b6,@%l2", &O::BitMem<Bit::kTst, true, false>},
      {{"7Cr0", "73r0"}, 4, "btst", "%k6,@%l2", &O::BitMem<Bit::kTst, false, false>},
      {{"7Cr0", "74r0"}, 4, "bor", "%k6,@%l2", &O::BitMem<Bit::kOr, false, false>},
      {{"7Cr0", "74R0"}, 4, "bior", "%k6,@%l2", &O::BitMem<Bit::kIor, false, false>},
      {{"7Cr0", "75r0"}, 4, "bxor", "%k6,@%l2", &O::BitMem<Bit::kXor, false, false>},
      {{"7Cr0", "75R0"}, 4, "bixor", "%k6,@%l2", &O::BitMem<Bit::kIxor, false, false>},
      {{"7Cr0", "76r0"}, 4, "band", "%k6,@%l2", &O::BitMem<Bit::kAnd, false, false>},
      {{"7Cr0", "76R0"}, 4, "biand", "%k6,@%l2", &O::BitMem<Bit::kIand, false, false>},
      {{"7Cr0", "77r0"}, 4, "bld", "%k6,@%l2", &O::BitMem<Bit::kLd, false, false>},
      {{"7Cr0", "77R0"}, 4, "bild", "%k6,@%l2", &O::BitMem<Bit::kIld, false, false>},
      {{"7Dr0", "60x0"}, 4, "bset", "%b6,@%l2", &O::BitMem<Bit::kSet, true, false>},
      {{"7Dr0", "70r0"}, 4, "bset", "%k6,@%l2", &O::BitMem<Bit::kSet, false, false>},
      {{"7Dr0", "61x0"}, 4, "bnot", "%b6,@%l2", &O::BitMem<Bit::kNot, true, false>},
      {{"7Dr0", "71r0"}, 4, "bnot", "%k6,@%l2", &O::BitMem<Bit::kNot, false, false>},
      {{"7Dr0", "62x0"}, 4, "bclr", "%b6,@%l2", &O::BitMem<Bit::kClr, true, false>},
      {{"7Dr0", "72r0"}, 4, "bclr", "%k6,@%l2", &O::BitMem<Bit::kClr, false, false>},
      {{"7Dr0", "67r0"}, 4, "bst", "%k6,@%l2", &O::BitMem<Bit::kSt, false, false>},
      {{"7Dr0", "67R0"}, 4, "bist", "%k6,@%l2", &O::BitMem<Bit::kIst, false, false>},

      {{"7Exx", "63x0"}, 4, "btst", "%b6,%A1", &O::BitMem<Bit::kTst, true, true>},
      {{"7Exx", "73r0"}, 4, "btst", "%k6,%A1", &O::BitMem<Bit::kTst, false, true>},
      {{"7Exx", "74r0"}, 4, "bor", "%k6,%A1", &O::BitMem<Bit::kOr, false, true>},
      {{"7Exx", "74R0"}, 4, "bior", "%k6,%A1", &O::BitMem<Bit::kIor, false, true>},
      {{"7Exx", "75r0"}, 4, "bxor", "%k6,%A1", &O::BitMem<Bit::kXor, false, true>},
      {{"7Exx", "75R0"}, 4, "bixor", "%k6,%A1", &O::BitMem<Bit::kIxor, false, true>},
      {{"7Exx", "76r0"}, 4, "band", "%k6,%A1", &O::BitMem<Bit::kAnd, false, true>},
      {{"7Exx", "76R0"}, 4, "biand", "%k6,%A1", &O::BitMem<Bit::kIand, false, true>},
      {{"7Exx", "77r0"}, 4, "bld", "%k6,%A1", &O::BitMem<Bit::kLd, false, true>},
      {{"7Exx", "77R0"}, 4, "bild", "%k6,%A1", &O::BitMem<Bit::kIld, false, true>},
      {{"7Fxx", "60x0"}, 4, "bset", "%b6,%A1", &O::BitMem<Bit::kSet, true, true>},
      {{"7Fxx", "70r0"}, 4, "bset", "%k6,%A1", &O::BitMem<Bit::kSet, false, true>},
      {{"7Fxx", "61x0"}, 4, "bnot", "%b6,%A1", &O::BitMem<Bit::kNot, true, true>},
      {{"7Fxx", "71r0"}, 4, "bnot", "%k6,%A1", &O::BitMem<Bit::kNot, false, true>},
      {{"7Fxx", "62x0"}, 4, "bclr", "%b6,%A1", &O::BitMem<Bit::kClr, true, true>},
      {{"7Fxx", "72r0"}, 4, "bclr", "%k6,%A1", &O::BitMem<Bit::kClr, false, true>},
      {{"7Fxx", "67r0"}, 4, "bst", "%k6,%A1", &O::BitMem<Bit::kSt, false, true>},
      {{"7Fxx", "67R0"}, 4, "bist", "%k6,%A1", &O::BitMem<Bit::kIst, false, true>},

      // -- branches -----------------------------------------------------------
      {{"40xx"}, 2, "bra", "%P1", &O::Bcc8},
      {{"41xx"}, 2, "brn", "%P1", &O::Bcc8},
      {{"42xx"}, 2, "bhi", "%P1", &O::Bcc8},
      {{"43xx"}, 2, "bls", "%P1", &O::Bcc8},
      {{"44xx"}, 2, "bcc", "%P1", &O::Bcc8},
      {{"45xx"}, 2, "bcs", "%P1", &O::Bcc8},
      {{"46xx"}, 2, "bne", "%P1", &O::Bcc8},
      {{"47xx"}, 2, "beq", "%P1", &O::Bcc8},
      {{"48xx"}, 2, "bvc", "%P1", &O::Bcc8},
      {{"49xx"}, 2, "bvs", "%P1", &O::Bcc8},
      {{"4Axx"}, 2, "bpl", "%P1", &O::Bcc8},
      {{"4Bxx"}, 2, "bmi", "%P1", &O::Bcc8},
      {{"4Cxx"}, 2, "bge", "%P1", &O::Bcc8},
      {{"4Dxx"}, 2, "blt", "%P1", &O::Bcc8},
      {{"4Exx"}, 2, "bgt", "%P1", &O::Bcc8},
      {{"4Fxx"}, 2, "ble", "%P1", &O::Bcc8},
      {{"5800"}, 4, "bra", "%Q2", &O::Bcc16},
      {{"5810"}, 4, "brn", "%Q2", &O::Bcc16},
      {{"5820"}, 4, "bhi", "%Q2", &O::Bcc16},
      {{"5830"}, 4, "bls", "%Q2", &O::Bcc16},
      {{"5840"}, 4, "bcc", "%Q2", &O::Bcc16},
      {{"5850"}, 4, "bcs", "%Q2", &O::Bcc16},
      {{"5860"}, 4, "bne", "%Q2", &O::Bcc16},
      {{"5870"}, 4, "beq", "%Q2", &O::Bcc16},
      {{"5880"}, 4, "bvc", "%Q2", &O::Bcc16},
      {{"5890"}, 4, "bvs", "%Q2", &O::Bcc16},
      {{"58A0"}, 4, "bpl", "%Q2", &O::Bcc16},
      {{"58B0"}, 4, "bmi", "%Q2", &O::Bcc16},
      {{"58C0"}, 4, "bge", "%Q2", &O::Bcc16},
      {{"58D0"}, 4, "blt", "%Q2", &O::Bcc16},
      {{"58E0"}, 4, "bgt", "%Q2", &O::Bcc16},
      {{"58F0"}, 4, "ble", "%Q2", &O::Bcc16},
      {{"55xx"}, 2, "bsr", "%P1", &O::Bsr8},
      {{"5C00"}, 4, "bsr", "%Q2", &O::Bsr16},
      {{"59r0"}, 2, "jmp", "@%l2", &O::JmpReg},
      {{"5Axx"}, 4, "jmp", "%C1", &O::JmpAbs},
      {{"5Bxx"}, 2, "jmp", "%V1", &O::JmpInd},
      {{"5Dr0"}, 2, "jsr", "@%l2", &O::JsrReg},
      {{"5Exx"}, 4, "jsr", "%C1", &O::JsrAbs},
      {{"5Fxx"}, 2, "jsr", "%V1", &O::JsrInd},
      {{"5470"}, 2, "rts", "", &O::Rts},
      {{"5670"}, 2, "rte", "", &O::Rte},
      {{"57q0"}, 2, "trapa", "%k2", &O::Trapa},

      // -- system control -----------------------------------------------------
      {{"0000"}, 2, "nop", "", &O::Nop},
      {{"0180"}, 2, "sleep", "", &O::Sleep},
      {{"020x"}, 2, "stc", "ccr,%b3", &O::StcReg},
      {{"030x"}, 2, "ldc", "%b3,ccr", &O::LdcReg},
      {{"07xx"}, 2, "ldc", "%I1,ccr", &O::LdcImm},
      {{"06xx"}, 2, "andc", "%I1,ccr", &O::Andc},
      {{"04xx"}, 2, "orc", "%I1,ccr", &O::Orc},
      {{"05xx"}, 2, "xorc", "%I1,ccr", &O::Xorc},
      {{"0140", "69r0"}, 4, "ldc", "@%l6,ccr", &O::LdcMem<Ea::kInd>},
      {{"0140", "69R0"}, 4, "stc", "ccr,@%l6", &O::StcMem<Ea::kInd>},
      {{"0140", "6Dr0"}, 4, "ldc", "@%l6+,ccr", &O::LdcMem<Ea::kPostInc>},
      {{"0140", "6DR0"}, 4, "stc", "ccr,@-%l6", &O::StcMem<Ea::kPreDec>},
      {{"0140", "6Fr0"}, 6, "ldc", "%D46,ccr", &O::LdcMem<Ea::kD16>},
      {{"0140", "6FR0"}, 6, "stc", "ccr,%D46", &O::StcMem<Ea::kD16>},
      {{"0140", "78r0", "6B20"}, 10, "ldc", "%E76,ccr", &O::LdcMem<Ea::kD24>},
      {{"0140", "78r0", "6BA0"}, 10, "stc", "ccr,%E76", &O::StcMem<Ea::kD24>},
      {{"0140", "6B00"}, 6, "ldc", "%B4,ccr", &O::LdcMem<Ea::kAbs16>},
      {{"0140", "6B80"}, 6, "stc", "ccr,%B4", &O::StcMem<Ea::kAbs16>},
      {{"0140", "6B20"}, 8, "ldc", "%C5,ccr", &O::LdcMem<Ea::kAbs24>},
      {{"0140", "6BA0"}, 8, "stc", "ccr,%C5", &O::StcMem<Ea::kAbs24>},
  };

  Tables t;
  t.forms.emplace_back();  // the unknown instruction
  t.forms[0].exec = &O::Unknown;
  NewNode(t);
  std::map<std::string, std::uint16_t> prefixes;
  for (const Spec& spec : kSpecs) Add(t, prefixes, spec);
  for (const auto& node : t.nodes) t.node_pointers.push_back(node.get());
  return t;
}

const Tables& GetTables() {
  static const Tables tables = TableBuilder::Build();
  return tables;
}

}  // namespace h8isa
