// The platform's own 8-bit text encoding: what every text of the run is in
// memory, in the log, on the console and in the configuration.
#pragma once

namespace veltrum {

enum class TextEncoding {
  utf8,         // POSIX, whatever the locale says: every current system names files in it
  windows1252,  // Windows: the ANSI code page of the Windows calls
};

TextEncoding platformTextEncoding();

}  // namespace veltrum
