#include "check/file_selection.h"

namespace veltrum {

std::string directoryPart(const std::string&) { return ""; }
std::string namePart(const std::string&) { return ""; }
int searchFiles(const std::string&, const std::string&, std::vector<std::string>* list, int32_t) {
  return static_cast<int>(list->size());
}
void processFileSpec() {}

}  // namespace veltrum
