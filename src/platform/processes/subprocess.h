// A started program: its standard output, its end and its exit code.
// No shell is involved: the program gets exactly one parameter.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace veltrum {

// What GetExitCodeProcess reports for a process that has not ended yet.
constexpr int32_t kStillActive = 259;

class Subprocess {
 public:
  // Starts `program` with `parameter` as its one and only parameter (an empty
  // text included). Windows: CreateProcessA with the program and the
  // parameter each in quotes, the parameter escaped by the C runtime's rules
  // so that it arrives unchanged; a batch file gets it between plain quotes
  // (cmd.exe knows no escapes). POSIX: argv = { program, parameter }.
  // Standard input and standard error are Veltrum's own; standard output is
  // a new pipe when `captureOutput` is set (read with readOutput), else
  // Veltrum's own standard output. The working directory and the
  // environment are inherited. Null when the program could not be started
  // (missing, not executable, not a valid program).
  static std::unique_ptr<Subprocess> start(const std::string& program, const std::string& parameter,
                                           bool captureOutput);

  // Releases the handles. Never waits for the program and never stops it: a
  // program that still runs goes on after Veltrum has ended.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  // Blocks until the pipe holds output or reports end of data, then appends
  // what could be read at once (at least one byte) to `bytes`. False at end
  // of data: every writer has closed the pipe (the program and any child
  // that inherited it), or the read failed, or no pipe was asked for.
  // Waiting does not use the processor.
  bool readOutput(std::string* bytes);

  // The exit code as the platform reports it, without waiting: kStillActive
  // while the program runs; on POSIX the exit status, or 128 + the signal
  // number for a program ended by a signal.
  int32_t exitCode();

  // Blocks until the program has ended and returns its exit code (as
  // exitCode). Waiting does not use the processor.
  int32_t waitForExit();

 private:
  struct Native;  // the platform's handles, defined by each implementation
  explicit Subprocess(std::unique_ptr<Native> native);
  std::unique_ptr<Native> native_;
};

}  // namespace veltrum
