// The command line: splitting, switches, help and the option walk.
#pragma once

#include <string>
#include <vector>

#include "platform/processes/process.h"

namespace veltrum {

// Cuts a whole command line into pieces: blanks separate, a piece that
// begins with a double quote runs to the next double quote, no escapes.
// The first piece (the program path) is included.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

// Takes the parameters of this run (program path left out).
void setParameters(const RawCommandLine& raw);

int countParameters();
std::string parameterAt(int index);
std::string findSwitch(const std::string& name);

// Prints the 24 lines of the help.
void printHelp();
// The help lines as stored (in the platform's encoding), for tests.
std::vector<std::string> helpLines();

// Phase 4 of runMain: reports each missing "/f", "/t", "/a" and sets
// paramStatus to "nOk".
void checkMandatorySwitches();

// The option walk: fills filePattern, minutes, action, dateMode (and the
// warning limit of "/w") and logs them.
void parseOptions();

// The action the option walk would take, found without a log line and
// whether or not the mandatory switches are all there: a run asked to
// check must keep its standard output for the check's result from the
// first message on.
std::string requestedAction();

}  // namespace veltrum
