#include "actions/output_line_reader.h"

#include <utility>

namespace veltrum {

OutputLineReader::OutputLineReader(ReadMore readMore) : readMore_(std::move(readMore)) {}

bool OutputLineReader::nextLine(std::string* line) {
  for (;;) {
    size_t end = buffer_.find_first_of("\r\n", scan_);
    if (end == std::string::npos) {
      scan_ = buffer_.size();
      if (fill()) continue;
      if (start_ == buffer_.size()) return false;
      take(buffer_.size(), buffer_.size(), line);
      return true;
    }
    bool isCr = buffer_[end] == '\r';
    if (isCr && end + 1 == buffer_.size()) {
      scan_ = end;
      if (fill()) continue;
      end = scan_;  // the data ended; fill() may have moved the bytes
    }
    size_t next = end + 1;
    if (isCr && next < buffer_.size() && buffer_[next] == '\n') ++next;
    take(end, next, line);
    return true;
  }
}

// Reads more bytes behind those kept; the bytes already returned are dropped
// first, so the buffer holds only the line being gathered.
bool OutputLineReader::fill() {
  if (ended_) return false;
  if (start_ > 0) {
    buffer_.erase(0, start_);
    scan_ -= start_;
    start_ = 0;
  }
  if (!readMore_(&buffer_)) ended_ = true;
  return !ended_;
}

void OutputLineReader::take(size_t end, size_t next, std::string* line) {
  line->assign(buffer_, start_, end - start_);
  start_ = next;
  scan_ = next;
}

}  // namespace veltrum
