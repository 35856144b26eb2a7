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

// FindFirstFileA on directory + "\\" + pattern; INVALID_HANDLE_VALUE with
// the error in *error when nothing was found or the search failed.
HANDLE openSearch(const std::string& directory, const std::string& pattern, WIN32_FIND_DATAA* found,
                  DWORD* error) {
  std::string searchPath = directory;
  if (!searchPath.empty() && searchPath.back() != '\\') searchPath += '\\';
  searchPath += pattern.empty() ? std::string("*.*") : pattern;
  HANDLE search = FindFirstFileA(searchPath.c_str(), found);
  *error = search == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  return search;
}

bool nothingMatched(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

}  // namespace

bool directoryCanBeEnumerated(const std::string& directory) {
  WIN32_FIND_DATAA found;
  DWORD error = ERROR_SUCCESS;
  HANDLE search = openSearch(directory, "*.*", &found, &error);
  if (search == INVALID_HANDLE_VALUE) return nothingMatched(error);
  FindClose(search);
  return true;
}

EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAA found;
  DWORD error = ERROR_SUCCESS;
  HANDLE search = openSearch(directory, pattern, &found, &error);
  if (search == INVALID_HANDLE_VALUE) {
    return nothingMatched(error) ? EnumOutcome::Empty : EnumOutcome::Failed;
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
