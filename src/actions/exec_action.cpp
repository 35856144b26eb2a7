#include "actions/exec_action.h"

namespace veltrum {

void runExecAction() {}

}  // namespace veltrum
