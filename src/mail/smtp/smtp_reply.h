// One whole server reply, gathered from however many receives it takes: the
// lines "ddd-text" continue it, any other line ends it ("ddd text" or "ddd"
// alone, and every malformed line).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace veltrum {

// A reply longer than this (bytes or lines) is given up on: no real server
// needs more, and a flood must not grow the memory.
constexpr size_t kMaxReplyBytes = 16384;
constexpr size_t kMaxReplyLines = 100;
// A reported line keeps at most this many bytes. The lines of a reply are
// kept whole: the report masks the secrets a line may quote first and cuts
// after, so no secret across the cut leaves its first characters behind.
constexpr size_t kMaxReportedLine = 4999;

class ReplyCollector {
 public:
  enum class Outcome { NeedMore, Complete, TooLong };

  // Takes the next received bytes. Once the final line is in, the reply is
  // complete and the rest of `bytes` is dropped: a server that speaks
  // without being asked is not heard.
  Outcome add(const char* bytes, size_t count);
  void clear();

  // The lines so far, without their line ends, each cut at its first NUL
  // byte.
  const std::vector<std::string>& lines() const { return lines_; }
  // The final line; for an unfinished reply the last line that arrived, or
  // the part of one that is still arriving.
  std::string lastLine() const;
  // The first three characters of the final line.
  std::string code() const { return lastLine().substr(0, 3); }
  // True when a line after the first names `keyword` (letter case ignored),
  // as an EHLO reply lists its extensions.
  bool offers(const std::string& keyword) const;

 private:
  Outcome takeLine();

  std::string partial_;  // the line still arriving, raw
  std::vector<std::string> lines_;
  size_t bytes_ = 0;
};

}  // namespace veltrum
