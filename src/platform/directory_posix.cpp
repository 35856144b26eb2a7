#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <utility>

#include "platform/directory.h"
#include "platform/wildcard.h"

namespace veltrum {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Type of one entry without following a link; the link's target decides
// whether it counts as a directory, as a directory link does on Windows.
// The type readdir reports spares a look-up for plain files and folders.
DirEntry describeEntry(const std::string& folder, const dirent& item) {
  DirEntry entry;
  entry.name = item.d_name;
  if (item.d_type == DT_REG || item.d_type == DT_DIR) {
    entry.isDirectory = item.d_type == DT_DIR;
    return entry;
  }
  const std::string path = folder + entry.name;
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) return entry;  // vanished since it was read
  entry.isLink = S_ISLNK(info.st_mode);
  if (entry.isLink) {
    struct stat target {};
    entry.isDirectory = stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  } else {
    entry.isDirectory = S_ISDIR(info.st_mode);
  }
  return entry;
}

// Sorts by name without regard to case, then byte by byte. The folded names
// are made once, not in every comparison: a folder of many thousand entries
// is listed again for every file evaluated in it.
void sortByName(std::vector<DirEntry>* entries) {
  std::vector<std::pair<std::string, size_t>> keys;
  keys.reserve(entries->size());
  for (size_t i = 0; i < entries->size(); ++i) {
    std::string folded = (*entries)[i].name;
    for (char& c : folded) c = static_cast<char>(foldLetter(static_cast<unsigned char>(c)));
    keys.emplace_back(std::move(folded), i);
  }
  std::sort(keys.begin(), keys.end(), [entries](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return (*entries)[a.second].name < (*entries)[b.second].name;
  });
  std::vector<DirEntry> sorted;
  sorted.reserve(entries->size());
  for (const auto& key : keys) sorted.push_back(std::move((*entries)[key.second]));
  entries->swap(sorted);
}

// The search path is directory + "/" + pattern; a pattern that names a
// folder of its own moves that folder into the directory, as a search path
// does on Windows. Wildcards only ever match names: a folder on the way is
// taken by its literal name, so a pattern there finds nothing, while a real
// folder whose name holds "*" or "?" (legal here) is still searched, also
// when a recursive search reaches it.
std::unique_ptr<DIR, DirCloser> openSearch(const std::string& directory, const std::string& pattern,
                                           std::string* folder, std::string* namePattern) {
  std::string searchPath = directory;
  if (!searchPath.empty() && searchPath.back() != '/') searchPath += '/';
  searchPath += pattern.empty() ? std::string("*.*") : pattern;
  const size_t lastSlash = searchPath.rfind('/');
  *folder = lastSlash == std::string::npos ? "" : searchPath.substr(0, lastSlash + 1);
  *namePattern = searchPath.substr(lastSlash + 1);
  return std::unique_ptr<DIR, DirCloser>(opendir(folder->empty() ? "." : folder->c_str()));
}

}  // namespace

bool directoryCanBeEnumerated(const std::string& directory) {
  std::string folder;
  std::string namePattern;
  return openSearch(directory, "*.*", &folder, &namePattern) != nullptr;
}

EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries) {
  entries->clear();
  std::string folder;
  std::string namePattern;
  std::unique_ptr<DIR, DirCloser> dir = openSearch(directory, pattern, &folder, &namePattern);
  if (!dir) return EnumOutcome::Failed;
  while (const dirent* item = readdir(dir.get())) {
    if (wildcardMatches(namePattern, item->d_name))
      entries->push_back(describeEntry(folder, *item));
  }
  sortByName(entries);
  return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
}

}  // namespace veltrum
