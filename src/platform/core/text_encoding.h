// The platform's own 8-bit text encoding: what every text of the run is in
// memory, in the log, on the console and in the configuration.
#pragma once

namespace veltrum {

enum class TextEncoding {
  utf8,         // POSIX, whatever the locale says: every current system names files in it
  windows1252,  // Windows: the ANSI code page of the Windows calls
};

// The encoding of this build's platform, unless a test has put another in
// its place (see ScopedTextEncoding).
TextEncoding platformTextEncoding();

// The encoding the platform itself uses; only platformTextEncoding asks.
TextEncoding systemTextEncoding();

// Makes platformTextEncoding() answer `encoding` while the object lives, so
// that a test can check the texts of the other target on this one.
class ScopedTextEncoding {
 public:
  explicit ScopedTextEncoding(TextEncoding encoding);
  ~ScopedTextEncoding();
  ScopedTextEncoding(const ScopedTextEncoding&) = delete;
  ScopedTextEncoding& operator=(const ScopedTextEncoding&) = delete;

 private:
  int saved_;
};

// The end of a line of the log and the console: LF on POSIX, where every tool
// expects it, CR LF on Windows.
const char* platformLineEnd();

}  // namespace veltrum
