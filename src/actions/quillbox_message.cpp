#include "actions/quillbox_message.h"

namespace veltrum {

void writeQuillboxMessage() {}
int dropCounterValue() { return 0; }

}  // namespace veltrum
