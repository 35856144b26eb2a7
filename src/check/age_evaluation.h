// The per-file tests, the age comparison and the trigger.
#pragma once

#include <string>

namespace veltrum {

// Evaluates runSettings().currentFile.
void evaluateFile();

// 1 when the text is a whole number by "^\-?(0|[1-9][0-9]*)$", else 0.
int isMinutesValue(const std::string& text);

}  // namespace veltrum
