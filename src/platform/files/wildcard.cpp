#include "platform/files/wildcard.h"

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

bool isAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The characters of `text` when it is valid UTF-8 (shortest forms, no
// surrogates, nothing above U+10FFFF); false otherwise.
bool decodeUtf8(std::string_view text, std::u32string* characters) {
  characters->clear();
  for (size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80   ? 1
                    : lead < 0xC2 ? 0
                    : lead < 0xE0 ? 2
                    : lead < 0xF0 ? 3
                    : lead < 0xF5 ? 4
                                  : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = (value << 6) | (next & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    characters->push_back(value);
    i += length;
  }
  return true;
}

// ASCII and Latin-1 letters to lower case, and the four letter pairs that
// Windows-1252 adds (Š Œ Ž Ÿ); every other character as it is.
char32_t foldCharacter(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  switch (c) {
    case 0x160:
      return 0x161;
    case 0x152:
      return 0x153;
    case 0x17D:
      return 0x17E;
    case 0x178:
      return 0xFF;
    default:
      return c;
  }
}

// plainMatch for names that are valid UTF-8: by characters, so that "?" is
// one character and a letter is never compared with part of another one.
bool characterMatch(const std::u32string& pattern, const std::u32string& name) {
  size_t p = 0;
  size_t n = 0;
  size_t starAt = std::u32string::npos;
  size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == U'*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() &&
               (pattern[p] == U'?' || foldCharacter(pattern[p]) == foldCharacter(name[n]))) {
      ++p;
      ++n;
    } else if (starAt != std::u32string::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == U'*') ++p;
  return p == pattern.size();
}

// A name that is valid UTF-8 (and a pattern that is) is compared by
// characters; any other name by its bytes as Windows-1252 letters. Most
// names are plain ASCII, where both agree and the bytes are quicker.
bool matchOnce(std::string_view pattern, std::string_view name) {
  if (isAscii(name) && isAscii(pattern)) return plainMatch(pattern, name);
  std::u32string patternCharacters;
  std::u32string nameCharacters;
  if (decodeUtf8(name, &nameCharacters) && decodeUtf8(pattern, &patternCharacters)) {
    return characterMatch(patternCharacters, nameCharacters);
  }
  return plainMatch(pattern, name);
}

}  // namespace

bool wildcardMatches(std::string_view pattern, std::string_view name) {
  if (pattern.empty() || pattern == "*.*") return true;
  if (matchOnce(pattern, name)) return true;
  const bool endsInDotStar =
      pattern.size() >= 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0;
  return endsInDotStar && matchOnce(pattern.substr(0, pattern.size() - 2), name);
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
