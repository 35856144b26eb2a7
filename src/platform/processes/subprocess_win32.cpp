#include <windows.h>

#include <vector>

#include "platform/core/path_text_win32.h"
#include "platform/core/system_path_win32.h"
#include "platform/processes/subprocess.h"

namespace veltrum {

struct Subprocess::Native {
  HANDLE process = nullptr;
  HANDLE outputRead = nullptr;  // our end of the output pipe; null without one
};

namespace {

void closeIfOpen(HANDLE* handle) {
  if (*handle != nullptr && *handle != INVALID_HANDLE_VALUE) CloseHandle(*handle);
  *handle = nullptr;
}

// The output pipe: both ends are created inheritable, then our read end is
// replaced by a copy that the program does not inherit, so the pipe reports
// end of data once the program (and whoever inherited its output) is gone.
bool createOutputPipe(HANDLE* readEnd, HANDLE* writeEnd) {
  SECURITY_ATTRIBUTES inheritable = {};
  inheritable.nLength = sizeof inheritable;
  inheritable.bInheritHandle = TRUE;
  HANDLE inheritableRead = nullptr;
  if (!CreatePipe(&inheritableRead, writeEnd, &inheritable, 0)) return false;
  // DUPLICATE_CLOSE_SOURCE closes the source even when the copy fails: it
  // must not be closed a second time.
  if (!DuplicateHandle(GetCurrentProcess(), inheritableRead, GetCurrentProcess(), readEnd, 0, FALSE,
                       DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE)) {
    CloseHandle(*writeEnd);
    return false;
  }
  return true;
}

bool isBatchFile(const std::string& program) {
  const size_t dot = program.find_last_of(".\\/");
  if (dot == std::string::npos || program[dot] != '.') return false;
  const std::string extension = program.substr(dot + 1);
  return lstrcmpiA(extension.c_str(), "bat") == 0 || lstrcmpiA(extension.c_str(), "cmd") == 0;
}

// `text` in double quotes so that the C runtime's splitting gives it back
// exactly: a quote inside becomes \", and the backslashes before a quote (or
// before the closing one) are doubled, since 2n backslashes before a quote
// stand for n.
std::string quotedForRuntime(const std::string& text) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    const size_t copies = c == '"' ? 2 * backslashes + 1 : backslashes;
    quoted.append(copies, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// The program's path in quotes, a blank, and the parameter in quotes, so
// that the program's first argument is exactly `parameter`. A batch file is
// run by cmd.exe, which knows no escapes: it gets the parameter between
// plain quotes, and %1 holds it with those quotes (%~1 without).
std::string commandLineFor(const std::string& program, const std::string& parameter) {
  const std::string quotedParameter =
      isBatchFile(program) ? "\"" + parameter + "\"" : quotedForRuntime(parameter);
  return "\"" + program + "\" " + quotedParameter;
}

// A long program path as CreateProcessW takes it: its 8.3 form where that
// fits within MAX_PATH (Wine, and Windows without long paths enabled, start
// nothing longer), else the "\\?\" form.
std::wstring startablePath(const std::wstring& longPath) {
  std::wstring shortPath(longPath.size() + 1, L'\0');
  const DWORD length =
      GetShortPathNameW(longPath.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (length == 0 || length >= shortPath.size()) return longPath;
  shortPath.resize(length);
  if (shortPath.compare(0, 4, L"\\\\?\\") == 0 && shortPath.compare(4, 4, L"UNC\\") != 0) {
    shortPath.erase(0, 4);
  }
  return shortPath.size() < MAX_PATH ? shortPath : longPath;
}

}  // namespace

Subprocess::Subprocess(std::unique_ptr<Native> native) : native_(std::move(native)) {}

Subprocess::~Subprocess() {
  closeIfOpen(&native_->outputRead);
  closeIfOpen(&native_->process);
}

std::unique_ptr<Subprocess> Subprocess::start(const std::string& program,
                                              const std::string& parameter, bool captureOutput) {
  std::wstring application;
  if (!systemPath(program, &application)) return nullptr;
  const std::wstring line = widened(commandLineFor(program, parameter));
  std::vector<wchar_t> commandLine(line.begin(), line.end());
  commandLine.push_back(L'\0');

  auto native = std::make_unique<Native>();
  HANDLE outputWrite = nullptr;
  if (captureOutput && !createOutputPipe(&native->outputRead, &outputWrite)) return nullptr;

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = captureOutput ? outputWrite : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);

  PROCESS_INFORMATION started = {};
  // Windows finds the program named first in the command line only within
  // MAX_PATH: a longer path is named to it apart (see startablePath). A
  // batch file keeps its way through the command line (cmd.exe takes no
  // long path).
  const bool named = application.size() >= kPrefixFrom && !isBatchFile(program);
  if (named) application = startablePath(application);
  const BOOL ok =
      CreateProcessW(named ? application.c_str() : nullptr, commandLine.data(), nullptr, nullptr,
                     TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &started);
  closeIfOpen(&outputWrite);  // the program holds its own copy now
  if (!ok) {
    closeIfOpen(&native->outputRead);
    return nullptr;
  }
  CloseHandle(started.hThread);
  native->process = started.hProcess;
  return std::unique_ptr<Subprocess>(new Subprocess(std::move(native)));
}

bool Subprocess::readOutput(std::string* bytes) {
  if (native_->outputRead == nullptr) return false;
  // Take everything that waits; with nothing waiting, one read blocks until
  // the first byte arrives or every writer has closed the pipe.
  DWORD waiting = 0;
  if (!PeekNamedPipe(native_->outputRead, nullptr, 0, nullptr, &waiting, nullptr)) waiting = 0;
  std::vector<char> buffer(waiting > 4096 ? waiting : 4096);
  DWORD got = 0;
  if (!ReadFile(native_->outputRead, buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                nullptr) ||
      got == 0) {
    return false;
  }
  bytes->append(buffer.data(), got);
  return true;
}

int32_t Subprocess::exitCode() {
  DWORD code = kStillActive;
  if (!GetExitCodeProcess(native_->process, &code)) return kStillActive;
  return static_cast<int32_t>(code);
}

int32_t Subprocess::waitForExit() {
  WaitForSingleObject(native_->process, INFINITE);
  return exitCode();
}

}  // namespace veltrum
