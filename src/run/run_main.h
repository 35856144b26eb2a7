// The main procedure of a run and the program start around it.
#pragma once

namespace veltrum {

// Phases in order: start marker, help, mandatory switches, options,
// configuration, search.
void runMain();

// Program start: derives the paths, sets up the mail transport and the
// clean-up, takes the command line, runs runMain and ends with 0.
[[noreturn]] void startProgram(int argc, char** argv);

}  // namespace veltrum
