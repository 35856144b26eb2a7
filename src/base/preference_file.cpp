#include "base/preference_file.h"

#include <new>
#include <string_view>

#include "base/text.h"
#include "platform/files/read_file.h"
#include "platform/files/wildcard.h"

namespace veltrum {

namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string trimEnd(std::string text) {
  while (!text.empty() && isBlank(text.back())) text.pop_back();
  return text;
}

size_t skipBlanks(std::string_view text, size_t from) {
  while (from < text.size() && isBlank(text[from])) ++from;
  return from;
}

// In UTF-8, folding Windows-1252 letters would mix up the bytes of
// multi-byte sequences, so only ASCII folds.
bool sameName(const std::string& a, const std::string& b, TextEncoding encoding) {
  const bool utf8 = encoding == TextEncoding::utf8;
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char ca = static_cast<unsigned char>(a[i]);
    unsigned char cb = static_cast<unsigned char>(b[i]);
    if (utf8) {
      if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca + 32);
      if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb + 32);
    } else {
      ca = foldLetter(ca);
      cb = foldLetter(cb);
    }
    if (ca != cb) return false;
  }
  return true;
}

PreferenceEntry parseLine(std::string_view line) {
  PreferenceEntry entry;
  const size_t start = skipBlanks(line, 0);
  if (line[start] == ';') {
    entry.kind = PreferenceEntry::Kind::Comment;
    size_t from = start + 1;
    if (from < line.size() && line[from] == ' ') ++from;
    entry.name = std::string(line.substr(from));
  } else if (line[start] == '[') {
    entry.kind = PreferenceEntry::Kind::Group;
    const size_t close = line.find(']', start + 1);
    entry.name = std::string(line.substr(
        start + 1, close == std::string_view::npos ? std::string_view::npos : close - start - 1));
  } else {
    entry.kind = PreferenceEntry::Kind::Key;
    const size_t equals = line.find('=', start);
    entry.name = trimEnd(std::string(line.substr(start, equals - start)));
    if (equals != std::string_view::npos) {
      entry.value = std::string(line.substr(skipBlanks(line, equals + 1)));
    }
  }
  return entry;
}

// The file's bytes as a text of `encoding`, without the byte-order mark.
std::string decodedFile(const std::string& bytes, TextEncoding encoding) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    const std::string utf8 = bytes.substr(3);
    return encoding == TextEncoding::utf8 ? wellFormedUtf8(utf8)
                                          : windows1252Of(utf8, TextEncoding::utf8);
  }
  if (encoding == TextEncoding::windows1252) return bytes;
  // Decided once for the whole file: a file saved on Windows in its code
  // page keeps its umlauts, and no line mixes two encodings.
  return isValidUtf8(bytes) ? bytes : cp1252ToUtf8(bytes);
}

}  // namespace

void PreferenceFile::clear() {
  entries_.clear();
  entries_.shrink_to_fit();
  groupStart_ = -1;
}

void PreferenceFile::parse(const std::string& bytes, TextEncoding encoding) {
  clear();
  encoding_ = encoding;
  // CR, LF and any run of them end a line. A NUL byte ends one as well, so
  // that no setting can carry a NUL into a path or a log line.
  constexpr std::string_view lineEnds("\r\n\0", 3);
  try {
    const std::string decoded = decodedFile(bytes, encoding);
    const std::string_view text(decoded);
    size_t pos = 0;
    while (pos < text.size()) {
      size_t end = text.find_first_of(lineEnds, pos);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(pos, end - pos);
      if (skipBlanks(line, 0) < line.size()) entries_.push_back(parseLine(line));
      pos = end + 1;
    }
  } catch (const std::bad_alloc&) {
    clear();  // too large to hold: read like an empty file
  }
}

bool PreferenceFile::selectGroup(const std::string& group) {
  groupStart_ = -1;
  if (group.empty()) {
    groupStart_ = 0;
    return true;
  }
  for (size_t i = 0; i < entries_.size(); ++i) {
    const PreferenceEntry& entry = entries_[i];
    if (entry.kind == PreferenceEntry::Kind::Group && sameName(entry.name, group, encoding_)) {
      groupStart_ = static_cast<long>(i + 1);
      return true;
    }
  }
  return false;
}

std::string PreferenceFile::readKey(const std::string& key, const std::string& fallback) const {
  if (groupStart_ < 0) return fallback;
  for (size_t i = static_cast<size_t>(groupStart_); i < entries_.size(); ++i) {
    const PreferenceEntry& entry = entries_[i];
    if (entry.kind == PreferenceEntry::Kind::Group) break;
    if (entry.kind != PreferenceEntry::Kind::Key || !sameName(entry.name, key, encoding_)) continue;
    std::string value = entry.value.substr(skipBlanks(entry.value, 0));
    value = trimEnd(std::move(value));
    return value;
  }
  return fallback;
}

namespace {

PreferenceFile& runFile() {
  static PreferenceFile file;
  return file;
}

int64_t& runHandle() {
  static int64_t handle = -1;
  return handle;
}

}  // namespace

bool openPreferenceFile(const std::string& path) {
  closePreferenceFile();
  const int64_t handle = openHeldFile(path);
  if (handle < 0) return false;
  runHandle() = handle;
  std::string bytes;
  readHeldFile(handle, &bytes);  // a failed read leaves it empty: no settings
  runFile().parse(bytes);
  return true;
}

bool selectGroup(const std::string& group) {
  return runFile().selectGroup(group);
}

std::string readKey(const std::string& key, const std::string& fallback) {
  return runFile().readKey(key, fallback);
}

void closePreferenceFile() {
  closeHeldFile(runHandle());
  runHandle() = -1;
  runFile().clear();
}

}  // namespace veltrum
