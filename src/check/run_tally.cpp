#include "check/run_tally.h"

#include <algorithm>

namespace veltrum {

namespace {

// Keeps the kListed oldest: a search may find millions of files, the
// result shows the oldest first.
void keepListed(RunTally& tally, const std::string& path, int64_t age) {
  ++tally.overListLimit;
  std::vector<TalliedFile>& listed = tally.listed;
  if (listed.size() == kListed) {
    auto youngest =
        std::min_element(listed.begin(), listed.end(),
                         [](const auto& a, const auto& b) { return a.ageSeconds < b.ageSeconds; });
    if (youngest->ageSeconds >= age) return;
    listed.erase(youngest);
  }
  // After the files of the same age found before it: the order found
  // decides between equals.
  auto at = std::find_if(listed.begin(), listed.end(),
                         [age](const TalliedFile& file) { return file.ageSeconds < age; });
  listed.insert(at, TalliedFile{path, age});
}

}  // namespace

RunTally& runTally() {
  static RunTally tally;
  return tally;
}

void tallyComparison(const std::string& path, int32_t fileDate, int32_t now, bool tooOld) {
  // A date of 0 or -1 was not read (the file vanished, or its stamp lies
  // outside the dates the run can hold): it is no age.
  if (fileDate <= 0) return;
  RunTally& tally = runTally();
  const int64_t age = static_cast<int64_t>(now) - fileDate;
  ++tally.filesChecked;
  if (tooOld) ++tally.filesTooOld;
  if (!tally.anyAge || age > tally.oldest.ageSeconds) tally.oldest = TalliedFile{path, age};
  tally.anyAge = true;
  if (tally.forCheck && age > tally.listLimit) keepListed(tally, path, age);
}

}  // namespace veltrum
