#include "platform/wildcard.h"

namespace veltrum {

namespace {

unsigned char foldOne(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  // Windows-1252: À..Þ except the multiplication sign, and Š Œ Ž Ÿ.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8E:
      return 0x9E;
    case 0x9F:
      return 0xFF;
    default:
      return c;
  }
}

// Every name of every folder searched passes through the matcher, a byte at
// a time: one table look-up per byte.
struct FoldTable {
  unsigned char folded[256];
  FoldTable() {
    for (int c = 0; c < 256; ++c) folded[c] = foldOne(static_cast<unsigned char>(c));
  }
};

const FoldTable& foldTable() {
  static const FoldTable table;
  return table;
}

}  // namespace

unsigned char foldLetter(unsigned char c) {
  return foldTable().folded[c];
}

namespace {

bool sameLetter(const unsigned char* folded, char a, char b) {
  return folded[static_cast<unsigned char>(a)] == folded[static_cast<unsigned char>(b)];
}

// Greedy match that remembers the last "*" and backtracks to it only; no
// pattern can make it take more than pattern length x name length steps.
bool plainMatch(std::string_view pattern, std::string_view name) {
  const unsigned char* folded = foldTable().folded;
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::string::npos;
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || sameLetter(folded, pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starAt != std::string::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool wildcardMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || pattern == "*.*") return true;
  if (plainMatch(pattern, name)) return true;
  const bool endsInDotStar =
      pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
  return endsInDotStar && plainMatch(pattern.substr(0, pattern.size() - 2), name);
}

int compareEntryNames(const std::string& a, const std::string& b) {
  const size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    const int fa = foldLetter(static_cast<unsigned char>(a[i]));
    const int fb = foldLetter(static_cast<unsigned char>(b[i]));
    if (fa != fb) return fa - fb;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace veltrum
