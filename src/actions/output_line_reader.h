// Cuts a program's standard output into lines as it arrives.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace veltrum {

// CR LF, a lone CR and a lone LF each end a line. A CR that is the last byte
// read so far waits for the next byte, so that a CR LF split between two
// reads still counts as one line end. When the data ends, the text gathered
// so far is the last line.
class OutputLineReader {
 public:
  // Appends at least one byte to `bytes` (blocking as long as needed); false
  // at end of data.
  using ReadMore = std::function<bool(std::string* bytes)>;

  explicit OutputLineReader(ReadMore readMore);

  // The next line without its line end; false when the data has ended and
  // nothing is left.
  bool nextLine(std::string* line);

 private:
  bool fill();
  void take(size_t end, size_t next, std::string* line);

  ReadMore readMore_;
  std::string buffer_;
  size_t start_ = 0;  // first byte not yet returned
  size_t scan_ = 0;   // bytes before this hold no line end after start_
  bool ended_ = false;
};

}  // namespace veltrum
