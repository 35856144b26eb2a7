// The list of paths a search has found, kept compactly: a search may find
// millions of files, and the whole list exists before the first is evaluated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace veltrum {

// Paths are packed one after the other into blocks of about a megabyte and
// found again by a small fixed-size record each: no allocation per path, and
// growing the list never copies what it already holds (a vector of strings
// costs some 80 bytes for a 40-byte path and doubles its peak while it grows).
class PathList {
 public:
  // Appends folder + name as one path. `location`: where the listing found
  // the entry (DirEntry::location), kept once for a run of paths that share
  // it and their folder.
  void append(std::string_view folder, std::string_view name, std::string_view location = {});
  void append(std::string_view path) { append(path, {}); }

  size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  // Valid until the list is cleared.
  std::string_view operator[](size_t index) const;
  // How long the folder part of path `index` is, and its location as given.
  struct Origin {
    size_t folderLength;
    std::string_view location;
  };
  Origin origin(size_t index) const;
  void clear();

 private:
  struct Span {
    uint32_t block;
    uint32_t offset;
    uint32_t length;
  };
  char* reserve(size_t length, Span* span);

  std::vector<std::string> blocks_;  // each filled up to its reserved capacity, never beyond
  std::deque<Span> spans_;
  // The paths from `first` on, up to the next run, share folder and location.
  struct Run {
    size_t first;
    size_t folderLength;
    std::string location;
  };
  std::vector<Run> runs_;
};

}  // namespace veltrum
