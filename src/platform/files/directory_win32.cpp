#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "platform/core/path_text_win32.h"
#include "platform/core/system_path_win32.h"
#include "platform/files/directory.h"
#include "platform/files/listed_folder_win32.h"
#include "platform/files/wildcard.h"

namespace veltrum {

namespace {

// The name the 8-bit paths of the evaluation reach this entry by: the long
// name, else the short 8.3 name where the volume keeps one. Without either
// the characters that could not be held are marked, so the evaluation finds
// nothing and reports the file as not present instead of meeting another one
// ("?" would be a wildcard).
std::string reachableName(const std::wstring& longName, const std::wstring& shortName) {
  std::string name;
  if (narrowedExactly(longName, &name)) return name;
  std::string ansiShort;
  if (!shortName.empty() && narrowedExactly(shortName, &ansiShort)) return ansiShort;
  return narrowedWith(longName, kUnheldMark);
}

// Where a listing through a folder's handle found an entry: its file id and
// its final path. A path compared alone could pass a folder that was opened
// through a link and whose path was read a moment later, after the swap
// back; the id is the folder's own.
std::string locationOf(ULONGLONG fileId, const std::wstring& path) {
  char id[17] = {};
  snprintf(id, sizeof id, "%016llx", fileId);
  return std::string(id) + ":" + utf8Of(path);
}

// `folder`: the final path of the folder listed, empty when unknown. A
// folder is placed by its own id and path, to be entered by them; a file by
// those of the folder listed (`folderLocation`), to be tested in it.
DirEntry describeEntry(const std::wstring& folder, const std::string& folderLocation,
                       const std::wstring& longName, const std::wstring& shortName,
                       DWORD attributes, ULONGLONG fileId) {
  DirEntry entry;
  entry.name = reachableName(longName, shortName);
  entry.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!folder.empty()) {
    entry.location =
        entry.isDirectory ? locationOf(fileId, folder + L'\\' + longName) : folderLocation;
  }
  // Junctions and symbolic links: the search must not descend through them.
  entry.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  return entry;
}

DirEntry describeEntry(const WIN32_FIND_DATAW& found) {
  return describeEntry(L"", "", found.cFileName, found.cAlternateFileName, found.dwFileAttributes,
                       0);
}

void sortByName(std::vector<DirEntry>* entries) {
  // One order on every file system (and the same as the POSIX build's).
  std::stable_sort(entries->begin(), entries->end(), [](const DirEntry& a, const DirEntry& b) {
    return compareEntryNames(a.name, b.name) < 0;
  });
}

// FindFirstFileW on directory + "\\" + pattern (the wide call: the ANSI one
// gives best-fit names that may name other files); INVALID_HANDLE_VALUE with
// the error in *error when nothing was found or the search failed.
HANDLE openSearch(const std::string& directory, const std::string& pattern, WIN32_FIND_DATAW* found,
                  DWORD* error) {
  std::wstring searchPath;
  HANDLE search = systemSearchPath(directory, pattern, &searchPath)
                      ? FindFirstFileW(searchPath.c_str(), found)
                      : INVALID_HANDLE_VALUE;
  *error = search == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  return search;
}

bool nothingMatched(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

std::wstring withoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

// Whether the folder open as `folder` is the entry `path` names itself, in
// the folder its parent part names. A file system that opens a symbolic
// link's target even with FILE_FLAG_OPEN_REPARSE_POINT (Wine's view of a
// POSIX one) gives the link away by the target's own path.
bool isTheEntryItself(HANDLE folder, const std::wstring& path) {
  const std::wstring named = withoutTrailingSeparators(path);
  const size_t separator = named.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return false;
  HANDLE parent = CreateFileW(named.substr(0, separator + 1).c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (parent == INVALID_HANDLE_VALUE) return false;
  std::wstring expected = withoutTrailingSeparators(finalPathOf(parent));
  CloseHandle(parent);
  // The long form of the last part, should the listing have given the 8.3 one.
  std::wstring longForm(named.size() + MAX_PATH, L'\0');
  const DWORD length =
      GetLongPathNameW(named.c_str(), longForm.data(), static_cast<DWORD>(longForm.size()));
  if (length == 0 || length >= longForm.size() || expected.empty()) return false;
  longForm.resize(length);
  expected += L'\\';
  expected += longForm.substr(longForm.find_last_of(L"\\/") + 1);
  return samePath(expected, withoutTrailingSeparators(finalPathOf(folder)));
}

// The folder open as itself when it is still the plain folder the listing
// of its parent found at `location` (see locationOf; empty when unknown:
// then it must at least lie in the folder its path names), else
// INVALID_HANDLE_VALUE. Comparing final paths also catches a folder higher
// up swapped for a link since it was listed. Without FILE_SHARE_DELETE the
// folder cannot be renamed or removed while it is open.
HANDLE openPlainFolder(const std::string& directory, const std::string& location,
                       std::wstring* finalPath, std::string* ownLocation = nullptr) {
  std::wstring path;
  if (!systemPath(directory, &path)) return INVALID_HANDLE_VALUE;
  HANDLE folder = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return folder;
  BY_HANDLE_FILE_INFORMATION details;
  const bool plain = GetFileInformationByHandle(folder, &details) &&
                     (details.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                     (details.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
  *finalPath = withoutTrailingSeparators(finalPathOf(folder));
  const ULONGLONG fileId =
      (static_cast<ULONGLONG>(details.nFileIndexHigh) << 32) | details.nFileIndexLow;
  const std::string own = locationOf(fileId, *finalPath);
  const bool same = location.empty() ? isTheEntryItself(folder, path) : location == own;
  if (ownLocation != nullptr) *ownLocation = own;
  if (plain && same) return folder;
  CloseHandle(folder);
  return INVALID_HANDLE_VALUE;
}

// Every entry of the open folder, read through its handle (not by its path,
// which may lead elsewhere by now), with the short name where there is one.
struct ListedEntry {
  DirEntry entry;
  std::string shortName;  // ANSI; empty without one
};

std::vector<ListedEntry> listThroughHandle(HANDLE folder, const std::wstring& finalPath,
                                           const std::string& folderLocation) {
  std::vector<ListedEntry> listed;
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));  // aligned for the records
  FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(folder, kind, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
    kind = FileIdBothDirectoryInfo;
    const char* record = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* item = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
      const std::wstring longName(item->FileName, item->FileNameLength / sizeof(WCHAR));
      const std::wstring shortName(item->ShortName, item->ShortNameLength / sizeof(WCHAR));
      ListedEntry entry{
          describeEntry(finalPath, folderLocation, longName, shortName, item->FileAttributes,
                        static_cast<ULONGLONG>(item->FileId.QuadPart)),
          ""};
      if (!shortName.empty()) narrowedExactly(shortName, &entry.shortName);
      listed.push_back(std::move(entry));
      if (item->NextEntryOffset == 0) break;
      record += item->NextEntryOffset;
    }
  }
  return listed;
}

// As the platform's search matches: the long name or the short one.
bool matches(const std::string& pattern, const ListedEntry& listed) {
  return wildcardMatches(pattern, listed.entry.name) ||
         (!listed.shortName.empty() && wildcardMatches(pattern, listed.shortName));
}

}  // namespace

HANDLE openListedFolder(const std::string& directory, const std::string& location) {
  if (location.empty()) return INVALID_HANDLE_VALUE;
  std::wstring finalPath;
  return openPlainFolder(directory, location, &finalPath);
}

bool directoryCanBeEnumerated(const std::string& directory) {
  WIN32_FIND_DATAW found;
  DWORD error = ERROR_SUCCESS;
  HANDLE search = openSearch(directory, "*.*", &found, &error);
  if (search == INVALID_HANDLE_VALUE) return nothingMatched(error);
  FindClose(search);
  return true;
}

EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries) {
  entries->clear();
  WIN32_FIND_DATAW found;
  DWORD error = ERROR_SUCCESS;
  HANDLE search = openSearch(directory, pattern, &found, &error);
  if (search == INVALID_HANDLE_VALUE) {
    return nothingMatched(error) ? EnumOutcome::Empty : EnumOutcome::Failed;
  }
  do {
    entries->push_back(describeEntry(found));
  } while (FindNextFileW(search, &found));
  FindClose(search);

  sortByName(entries);
  return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
}

void searchEnteredDirectory(const std::string& directory, const std::string& location,
                            const std::vector<std::string>& patterns,
                            std::vector<std::vector<DirEntry>>* matchesOut,
                            std::vector<DirEntry>* subfolders) {
  matchesOut->assign(patterns.size(), {});
  if (subfolders != nullptr) subfolders->clear();
  std::wstring finalPath;
  std::string folderLocation;
  HANDLE folder = openPlainFolder(directory, location, &finalPath, &folderLocation);
  if (folder == INVALID_HANDLE_VALUE) return;  // swapped for a link, or gone
  const std::vector<ListedEntry> listed = listThroughHandle(folder, finalPath, folderLocation);
  CloseHandle(folder);
  for (size_t i = 0; i < patterns.size(); ++i) {
    for (const ListedEntry& entry : listed) {
      if (matches(patterns[i], entry)) (*matchesOut)[i].push_back(entry.entry);
    }
    sortByName(&(*matchesOut)[i]);
  }
  if (subfolders == nullptr) return;
  for (const ListedEntry& entry : listed) {
    if (entry.entry.isDirectory) subfolders->push_back(entry.entry);
  }
  sortByName(subfolders);
}

// The trail of open folders is a POSIX matter: entered folders are checked
// by searchEnteredDirectory here.
void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders,
                     FolderTrail* /*trail*/) {
  matches->assign(patterns.size(), {});
  for (size_t i = 0; i < patterns.size(); ++i) {
    if (enumerateDirectory(directory, patterns[i], &(*matches)[i]) == EnumOutcome::Failed) {
      (*matches)[i].clear();
    }
  }
  if (subfolders == nullptr) return;
  subfolders->clear();
  // The subfolders through the folder's handle, with the ids the folders
  // entered next are held to. The starting folder itself may be a link.
  std::wstring path;
  if (!systemPath(directory.empty() ? "." : directory, &path)) return;
  HANDLE folder = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return;
  for (const ListedEntry& entry :
       listThroughHandle(folder, withoutTrailingSeparators(finalPathOf(folder)), "")) {
    if (entry.entry.isDirectory) subfolders->push_back(entry.entry);
  }
  CloseHandle(folder);
  sortByName(subfolders);
}

}  // namespace veltrum
