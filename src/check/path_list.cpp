#include "check/path_list.h"

#include <algorithm>

namespace veltrum {

namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;

}  // namespace

char* PathList::reserve(size_t length, Span* span) {
  // A block is never filled past the capacity it was given, so the bytes it
  // holds never move. A path longer than a block gets a block of its own.
  if (blocks_.empty() || blocks_.back().capacity() - blocks_.back().size() < length) {
    blocks_.emplace_back();
    blocks_.back().reserve(length > kBlockBytes ? length : kBlockBytes);
  }
  std::string& block = blocks_.back();
  span->block = static_cast<uint32_t>(blocks_.size() - 1);
  span->offset = static_cast<uint32_t>(block.size());
  span->length = static_cast<uint32_t>(length);
  block.resize(block.size() + length);
  return block.data() + span->offset;
}

void PathList::append(std::string_view folder, std::string_view name, std::string_view location) {
  if (runs_.empty() || runs_.back().folderLength != folder.size() ||
      runs_.back().location != location ||
      (*this)[runs_.back().first].substr(0, folder.size()) != folder) {
    runs_.push_back({spans_.size(), folder.size(), std::string(location)});
  }
  Span span{};
  char* bytes = reserve(folder.size() + name.size(), &span);
  folder.copy(bytes, folder.size());
  name.copy(bytes + folder.size(), name.size());
  spans_.push_back(span);
}

std::string_view PathList::operator[](size_t index) const {
  const Span& span = spans_[index];
  return std::string_view(blocks_[span.block].data() + span.offset, span.length);
}

PathList::Origin PathList::origin(size_t index) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), index,
                                      [](size_t at, const Run& run) { return at < run.first; });
  const Run& run = *(after - 1);
  return {run.folderLength, run.location};
}

void PathList::clear() {
  blocks_.clear();
  spans_.clear();
  runs_.clear();
}

}  // namespace veltrum
