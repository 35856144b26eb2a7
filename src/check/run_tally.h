// What the search and the evaluation met in this run, kept for the end of
// the run: the check's result and the metrics file are made from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum {

struct TalliedFile {
  std::string path;
  int64_t ageSeconds = 0;
};

struct RunTally {
  // Set before the search by a run that checks: only then are the folders
  // that cannot be listed looked for, and the files over `listLimit` kept.
  bool forCheck = false;
  int64_t listLimit = 0;  // seconds

  int filesChecked = 0;  // files whose date was read
  int filesTooOld = 0;   // of those, the ones over the limit of /t
  bool anyAge = false;
  TalliedFile oldest;
  int actionsFailed = 0;  // actions that reported an ERR line

  // Over listLimit: how many, and the oldest of them (at most kListed).
  int overListLimit = 0;
  std::vector<TalliedFile> listed;

  // Folders a search could not list: where it started, and below that.
  std::vector<std::string> unreadableStarts;
  std::vector<std::string> unreadableSubfolders;
  // Folders of a file whose path test failed.
  std::vector<std::string> invalidPaths;
};

constexpr size_t kListed = 50;

RunTally& runTally();

// One file compared by the evaluation: `fileDate` as read (0 or -1 when it
// could not be read, which counts nowhere), `now`, and whether it was over
// the limit of /t.
void tallyComparison(const std::string& path, int32_t fileDate, int32_t now, bool tooOld);

}  // namespace veltrum
