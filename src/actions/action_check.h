// The pre-check of the chosen action, run for every evaluated file.
#pragma once

#include <string>

namespace veltrum {

// 0 when the action can be carried out, -1 when not.
int checkAction(const std::string& action);

}  // namespace veltrum
