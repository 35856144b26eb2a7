// Turns the file specification into the files to evaluate.
#pragma once

#include <cstdint>
#include <string>

#include "check/path_list.h"

namespace veltrum {

std::string directoryPart(const std::string& entry);
std::string namePart(const std::string& entry);

// Appends the matches of `directory` (and below it, when `recursive` is not
// 0) to `list`; returns the list's size.
int searchFiles(const std::string& namePatterns, const std::string& directory, PathList* list,
                int32_t recursive);

// Phase "search" of runMain: classifies filePattern, searches, evaluates.
void processFileSpec();

}  // namespace veltrum
