#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
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
// The type readdir reports spares a look-up for all but links and the
// entries of file systems that report no type.
DirEntry describeEntry(const std::string& folder, const dirent& item) {
  DirEntry entry;
  entry.name = item.d_name;
  if (item.d_type != DT_LNK && item.d_type != DT_UNKNOWN) {
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
void splitSearchPath(const std::string& directory, const std::string& pattern, std::string* folder,
                     std::string* namePattern) {
  std::string searchPath = directory;
  if (!searchPath.empty() && searchPath.back() != '/') searchPath += '/';
  searchPath += pattern.empty() ? std::string("*.*") : pattern;
  const size_t lastSlash = searchPath.rfind('/');
  *folder = lastSlash == std::string::npos ? "" : searchPath.substr(0, lastSlash + 1);
  *namePattern = searchPath.substr(lastSlash + 1);
}

std::unique_ptr<DIR, DirCloser> openSearch(const std::string& directory, const std::string& pattern,
                                           std::string* folder, std::string* namePattern) {
  splitSearchPath(directory, pattern, folder, namePattern);
  return std::unique_ptr<DIR, DirCloser>(opendir(folder->empty() ? "." : folder->c_str()));
}

// Reads the folder once: the entries matching each name pattern, and the
// subdirectories when asked for; each list sorted by name.
void readMatches(DIR* dir, const std::string& folder, const std::vector<std::string>& namePatterns,
                 std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders) {
  while (const dirent* item = readdir(dir)) {
    std::optional<DirEntry> described;
    const auto describe = [&]() -> const DirEntry& {
      if (!described) described = describeEntry(folder, *item);
      return *described;
    };
    for (size_t i = 0; i < namePatterns.size(); ++i) {
      if (wildcardMatches(namePatterns[i], item->d_name)) (*matches)[i].push_back(describe());
    }
    const bool mayBeFolder =
        item->d_type == DT_DIR || item->d_type == DT_LNK || item->d_type == DT_UNKNOWN;
    if (subfolders != nullptr && mayBeFolder && describe().isDirectory) {
      subfolders->push_back(describe());
    }
  }
  for (std::vector<DirEntry>& entries : *matches) sortByName(&entries);
  if (subfolders != nullptr) sortByName(subfolders);
}

}  // namespace

bool directoryCanBeEnumerated(const std::string& directory) {
  std::string folder;
  std::string namePattern;
  splitSearchPath(directory, "*.*", &folder, &namePattern);
  // What opendir does, without the status call and the buffer it adds.
  int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  close(descriptor);
  return true;
}

EnumOutcome enumerateDirectory(const std::string& directory, const std::string& pattern,
                               std::vector<DirEntry>* entries) {
  entries->clear();
  std::string folder;
  std::string namePattern;
  std::unique_ptr<DIR, DirCloser> dir = openSearch(directory, pattern, &folder, &namePattern);
  if (!dir) return EnumOutcome::Failed;
  std::vector<std::vector<DirEntry>> matches(1);
  readMatches(dir.get(), folder, {namePattern}, &matches, nullptr);
  entries->swap(matches[0]);
  return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
}

void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches,
                     std::vector<DirEntry>* subfolders) {
  matches->assign(patterns.size(), {});
  if (subfolders != nullptr) subfolders->clear();
  const bool namesOnly = std::none_of(patterns.begin(), patterns.end(), [](const std::string& p) {
    return p.find('/') != std::string::npos;
  });
  if (!namesOnly) {
    // A pattern that leads into another folder is searched on its own.
    for (size_t i = 0; i < patterns.size(); ++i)
      enumerateDirectory(directory, patterns[i], &(*matches)[i]);
    if (subfolders != nullptr) {
      enumerateDirectory(directory, "*.*", subfolders);
      std::erase_if(*subfolders, [](const DirEntry& entry) { return !entry.isDirectory; });
    }
    return;
  }
  std::string folder;
  std::string unused;
  std::unique_ptr<DIR, DirCloser> dir = openSearch(directory, "*.*", &folder, &unused);
  if (!dir) return;
  std::vector<std::string> namePatterns;
  for (const std::string& pattern : patterns)
    namePatterns.push_back(pattern.empty() ? "*.*" : pattern);
  readMatches(dir.get(), folder, namePatterns, matches, subfolders);
}

}  // namespace veltrum
