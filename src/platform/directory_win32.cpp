#include <windows.h>

#include <algorithm>

#include "platform/directory.h"
#include "platform/wildcard.h"

namespace veltrum {

namespace {

DirEntry describeEntry(const WIN32_FIND_DATAA& found) {
  DirEntry entry;
  entry.name = found.cFileName;
  entry.isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  // Junctions and symbolic links: the search must not descend through them.
  entry.isLink = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return entry;
}

}  // namespace

EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries) {
  entries->clear();
  std::string searchPath = directory;
  if (!searchPath.empty() && searchPath.back() != '\\') searchPath += '\\';
  searchPath += pattern.empty() ? std::string("*.*") : pattern;

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(searchPath.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? EnumOutcome::Empty
                                                                         : EnumOutcome::Failed;
  }
  do {
    entries->push_back(describeEntry(found));
  } while (FindNextFileA(search, &found));
  FindClose(search);

  // One order on every file system (and the same as the POSIX build's).
  std::stable_sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) {
    return compareEntryNames(a.name, b.name) < 0;
  });
  return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
}

}  // namespace veltrum
