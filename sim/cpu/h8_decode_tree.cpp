// Builds the decode tree of h8_isa.h from a list of instruction forms.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "h8_isa.h"

namespace h8isa {
namespace {

[[noreturn]] void Fail(const char* what, const char* pattern) {
  std::fprintf(stderr, "H8 decode table: %s: %s\n", what, pattern);
  std::abort();
}

void Parse(const char* pattern, std::uint16_t& mask, std::uint16_t& value) {
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

// Calls f for every word that matches the pattern.
template <typename F>
void ForEachWord(const char* pattern, F f) {
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

std::uint16_t NewNode(Tables& t) {
  t.nodes.emplace_back(new std::uint16_t[65536]());
  return static_cast<std::uint16_t>(t.nodes.size() - 1);
}

void Add(Tables& t, std::map<std::string, std::uint16_t>& prefixes, const FormSpec& spec) {
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

}  // namespace

Tables BuildDecodeTree(const FormSpec* forms, std::size_t count, Exec unknown) {
  Tables t;
  t.forms.emplace_back();  // the unknown instruction
  t.forms[0].exec = unknown;
  NewNode(t);
  std::map<std::string, std::uint16_t> prefixes;
  for (std::size_t i = 0; i < count; ++i) Add(t, prefixes, forms[i]);
  for (const auto& node : t.nodes) t.node_pointers.push_back(node.get());
  return t;
}

}  // namespace h8isa
