// The per-file tests, the age comparison and the trigger.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files/file_system.h"

namespace veltrum {

// Where a search found a file: the folder it began in, the folder whose
// listing held the file, and the entry as listed.
struct FoundIn {
  std::string start;
  std::string folder;
  DirEntry entry;
};

// Evaluates runSettings().currentFile; `found` where a search found it, which
// tests it in the folder its listing read.
void evaluateFile(const FoundIn* found = nullptr);

// 1 when the text is a whole number by "^\-?(0|[1-9][0-9]*)$", else 0.
int isMinutesValue(const std::string& text);

// The shift from the file date to the moment the file counts as too old:
// minus 60 times the minutes number (a text accepted by isMinutesValue),
// computed in 64 bits, of which the low 32 bits count.
int32_t ageOffset(const std::string& minutes);

// File date plus offset, wrapping in 32 bits.
int32_t ageLimit(int32_t fileDate, int32_t offset);

}  // namespace veltrum
