#include "platform/core/system_path_win32.h"

#include "platform/core/path_text_win32.h"

namespace veltrum {

namespace {

bool startsWith(const std::wstring& text, const wchar_t* head) {
  return text.compare(0, wcslen(head), head) == 0;
}

// "\\?\" (and "\\?\UNC\") paths go to the file system as they are written.
bool isLiteral(const std::wstring& path) {
  return startsWith(path, L"\\\\?\\");
}

std::wstring fullPathOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length =
        GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return L"";
    if (length < full.size()) return full.substr(0, length);
    full.assign(length, L'\0');  // the size asked for includes the closing zero
  }
  return L"";
}

bool refuse() {
  SetLastError(ERROR_INVALID_NAME);
  return false;
}

// The wide path for a call, from a wide path that may be relative.
bool systemForm(const std::wstring& path, std::wstring* wide) {
  if (isLiteral(path)) {
    *wide = path;
    return true;
  }
  const std::wstring full = path.empty() ? L"" : fullPathOf(path);
  if (full.empty()) return refuse();
  *wide = extendedForm(full);
  return true;
}

// The 8.3 name of the last part of `upTo`, when the volume keeps one that
// Windows-1252 holds; else the part with kUnheldMark for what it cannot hold.
// A part with a wildcard is never looked up: the lookup would take the
// first entry it matches for the part itself.
std::string shortNameOrMarked(const std::wstring& upTo, const std::wstring& part) {
  std::wstring system;
  if (part.find_first_of(L"*?<>\"") == std::wstring::npos && systemForm(upTo, &system)) {
    std::wstring shortPath(system.size() + 1, L'\0');
    DWORD length =
        GetShortPathNameW(system.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (length >= shortPath.size()) {
      shortPath.assign(length, L'\0');
      length = GetShortPathNameW(system.c_str(), shortPath.data(), length);
    }
    std::string name;
    if (length > 0 && length < shortPath.size()) {
      shortPath.resize(length);
      const size_t separator = shortPath.find_last_of(L"\\/");
      const std::wstring shortName =
          separator == std::wstring::npos ? shortPath : shortPath.substr(separator + 1);
      if (!shortName.empty() && narrowedExactly(shortName, &name)) return name;
    }
  }
  return narrowedWith(part, kUnheldMark);
}

}  // namespace

std::wstring extendedForm(const std::wstring& fullPath) {
  if (fullPath.size() < kPrefixFrom || isLiteral(fullPath) || startsWith(fullPath, L"\\\\.\\")) {
    return fullPath;
  }
  if (startsWith(fullPath, L"\\\\")) return L"\\\\?\\UNC\\" + fullPath.substr(2);
  if (fullPath.size() >= 3 && fullPath[1] == L':' && fullPath[2] == L'\\') {
    return L"\\\\?\\" + fullPath;
  }
  return fullPath;
}

bool systemPath(const std::string& path, std::wstring* wide) {
  if (path.find(kUnheldMark) != std::string::npos) return refuse();
  return systemForm(widened(path), wide);
}

bool systemSearchPath(const std::string& directory, const std::string& pattern,
                      std::wstring* wide) {
  if (directory.find(kUnheldMark) != std::string::npos ||
      pattern.find(kUnheldMark) != std::string::npos) {
    return refuse();
  }
  // The folder with its separator, as the search has always taken it: "C:"
  // is the drive's root, not its current folder.
  std::string folder = directory.empty() ? std::string(".") : directory;
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  std::wstring search;
  if (!systemForm(widened(folder), &search)) return false;
  if (search.back() != L'\\') search += L'\\';
  search += widened(pattern.empty() ? std::string("*.*") : pattern);
  *wide = extendedForm(search);
  return true;
}

std::string reachablePath(const std::wstring& path, bool lastStaysLong) {
  std::string narrow;
  if (narrowedExactly(path, &narrow)) return narrow;
  narrow.clear();
  for (size_t start = 0;;) {
    size_t end = path.find_first_of(L"\\/", start);
    const bool last = end == std::wstring::npos;
    if (last) end = path.size();
    const std::wstring part = path.substr(start, end - start);
    std::string held;
    if (!narrowedExactly(part, &held)) {
      held = last && lastStaysLong ? narrowedWith(part, kUnheldMark)
                                   : shortNameOrMarked(path.substr(0, end), part);
    }
    narrow += held;
    if (last) return narrow;
    narrow += static_cast<char>(path[end]);
    start = end + 1;
  }
}

namespace {

// Each path of a "|" list on its own, so that every one is looked up from
// its own start.
std::string reachablePiece(const std::wstring& piece) {
  std::string narrow;
  for (size_t start = 0;;) {
    const size_t bar = piece.find(L'|', start);
    narrow +=
        reachablePath(piece.substr(start, bar == std::wstring::npos ? bar : bar - start), false);
    if (bar == std::wstring::npos) return narrow;
    narrow += '|';
    start = bar + 1;
  }
}

}  // namespace

std::string reachableCommandLine(const std::wstring& line) {
  // The pieces are cut as the run's splitter cuts them, so that what
  // replaces one never spans two; blanks and quotes stay where they were.
  std::string narrow;
  size_t at = 0;
  while (at < line.size()) {
    if (line[at] == L' ') {
      narrow += ' ';
      ++at;
    } else if (line[at] == L'"') {
      const size_t close = line.find(L'"', at + 1);
      const size_t end = close == std::wstring::npos ? line.size() : close;
      narrow += '"' + reachablePiece(line.substr(at + 1, end - at - 1));
      if (close != std::wstring::npos) narrow += '"';
      at = close == std::wstring::npos ? line.size() : close + 1;
    } else {
      size_t end = line.find(L' ', at);
      if (end == std::wstring::npos) end = line.size();
      narrow += reachablePiece(line.substr(at, end - at));
      at = end;
    }
  }
  return narrow;
}

}  // namespace veltrum
