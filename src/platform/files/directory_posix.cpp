#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>

#include "platform/files/directory.h"
#include "platform/files/folder_trail_posix.h"
#include "platform/files/wildcard.h"

namespace veltrum {

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

// Type of one entry without following a link; the link's target decides
// whether it counts as a directory, as a directory link does on Windows.
// The type readdir reports spares a look-up for all but links and the
// entries of file systems that report no type.
DirEntry describeEntry(int folder, const dirent& item) {
  DirEntry entry;
  entry.name = item.d_name;
  if (item.d_type != DT_LNK && item.d_type != DT_UNKNOWN) {
    entry.isDirectory = item.d_type == DT_DIR;
    return entry;
  }
  struct stat info {};
  if (fstatat(folder, item.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return entry;  // vanished
  entry.isLink = S_ISLNK(info.st_mode);
  if (entry.isLink) {
    struct stat target {};
    entry.isDirectory = fstatat(folder, item.d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
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
void readMatches(DIR* dir, const std::vector<std::string>& namePatterns,
                 std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders) {
  while (const dirent* item = readdir(dir)) {
    std::optional<DirEntry> described;
    const auto describe = [&]() -> const DirEntry& {
      if (!described) described = describeEntry(dirfd(dir), *item);
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

std::string folderLocation(int folder) {
  struct stat details {};
  if (fstat(folder, &details) != 0) return "";
  return std::to_string(details.st_dev) + ":" + std::to_string(details.st_ino);
}

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
  readMatches(dir.get(), {namePattern}, &matches, nullptr);
  entries->swap(matches[0]);
  return entries->empty() ? EnumOutcome::Empty : EnumOutcome::Entries;
}

void searchDirectory(const std::string& directory, const std::vector<std::string>& patterns,
                     std::vector<std::vector<DirEntry>>* matches, std::vector<DirEntry>* subfolders,
                     FolderTrail* trail) {
  matches->assign(patterns.size(), {});
  if (subfolders != nullptr) subfolders->clear();
  const bool namesOnly = std::none_of(patterns.begin(), patterns.end(), [](const std::string& p) {
    return p.find('/') != std::string::npos;
  });
  if (!namesOnly) {
    // A pattern that leads into another folder is searched on its own.
    for (size_t i = 0; i < patterns.size(); ++i)
      enumerateDirectory(directory, patterns[i], &(*matches)[i]);
  }
  std::string folder;
  std::string unused;
  splitSearchPath(directory, "*.*", &folder, &unused);
  FolderTrail ownTrail;
  FolderTrail& used = trail != nullptr ? *trail : ownTrail;
  const int descriptor = used.open(folder);
  if (descriptor < 0) return;
  std::unique_ptr<DIR, DirCloser> dir(fdopendir(descriptor));
  if (!dir) {
    close(descriptor);
    return;
  }
  std::vector<std::string> namePatterns;
  for (const std::string& pattern : patterns)
    namePatterns.push_back(pattern.empty() ? "*.*" : pattern);
  std::vector<std::vector<DirEntry>> none;
  readMatches(dir.get(), namesOnly ? namePatterns : std::vector<std::string>{},
              namesOnly ? matches : &none, subfolders);
  if (namesOnly) {
    const std::string location = folderLocation(dirfd(dir.get()));
    for (std::vector<DirEntry>& entries : *matches) {
      for (DirEntry& entry : entries) entry.location = location;
    }
  }
  if (subfolders != nullptr) used.keep(folder, dir.release());
}

namespace {

// Each folder on the trail holds a descriptor; deeper than this the folders
// are opened by their path, still never through a link in their own place.
constexpr size_t kKeptDescriptors = 128;

// The name of `directory` within `parent` ("a/b/" in "a/"), or "" when it is
// not a folder right inside it.
std::string nameWithin(const std::string& parent, const std::string& directory) {
  if (directory.size() <= parent.size() + 1 || directory.compare(0, parent.size(), parent) != 0 ||
      directory.back() != '/') {
    return "";
  }
  std::string name = directory.substr(parent.size(), directory.size() - parent.size() - 1);
  return name.find('/') == std::string::npos ? name : "";
}

}  // namespace

FolderTrail::~FolderTrail() {
  leaveFrom(0);
}

void FolderTrail::leaveFrom(size_t depth) {
  for (size_t i = depth; i < folders_.size(); ++i) {
    if (folders_[i].listing != nullptr) closedir(folders_[i].listing);
  }
  folders_.resize(depth);
}

int FolderTrail::open(const std::string& directory) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  // Folders the search has finished with (their subfolders all searched)
  // may still be on the trail when the caller does not leave them.
  size_t depth = folders_.size();
  while (depth > 0 && nameWithin(folders_[depth - 1].path, directory).empty()) --depth;
  leaveFrom(depth);
  if (folders_.empty()) return ::open(directory.empty() ? "." : directory.c_str(), kFlags);
  const Folder& parent = folders_.back();
  if (parent.listing == nullptr) return ::open(directory.c_str(), kFlags | O_NOFOLLOW);
  return openat(dirfd(parent.listing), nameWithin(parent.path, directory).c_str(),
                kFlags | O_NOFOLLOW);
}

void FolderTrail::keep(const std::string& directory, DIR* listing) {
  if (folders_.size() >= kKeptDescriptors) {
    closedir(listing);
    listing = nullptr;
  }
  folders_.push_back({directory, listing});
}

void FolderTrail::leave(const std::string& directory) {
  for (size_t i = 0; i < folders_.size(); ++i) {
    if (folders_[i].path == directory) return leaveFrom(i);
  }
}

}  // namespace veltrum
