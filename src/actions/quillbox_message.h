// The messenger drop file written for a file that is too old.
#pragma once

namespace veltrum {

void writeQuillboxMessage();

// The run-wide counter of drop files written.
int dropCounterValue();

}  // namespace veltrum
