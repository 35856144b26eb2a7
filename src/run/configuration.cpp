#include "run/configuration.h"

namespace veltrum {

void readConfiguration() {}
void closeConfiguration() {}

}  // namespace veltrum
