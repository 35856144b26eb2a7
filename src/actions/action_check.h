// The pre-check of the chosen action, run for every evaluated file.
#pragma once

#include <string>

namespace veltrum {

// 0 when the action can be carried out, -1 when not.
int checkAction(const std::string& action);

// The extension of a program path: the text after the last "." of its last
// component, up to the end or a double quote; "" when there is none.
std::string programExtension(const std::string& path);

}  // namespace veltrum
