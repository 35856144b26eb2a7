#include "base/console.h"

#include "platform/core/text_encoding.h"
#include "platform/system/console.h"

namespace veltrum {

namespace {
ConsoleStream messageStream = ConsoleStream::Output;
}  // namespace

void printLine(const std::string& text) {
  writeConsoleBytes(text + platformLineEnd(), messageStream);
}

void moveMessagesToStandardError() {
  messageStream = ConsoleStream::Error;
}

void printResultLine(const std::string& text) {
  writeConsoleBytes(toOem(text) + platformLineEnd(), ConsoleStream::Output);
}

std::string toOem(const std::string& text) {
  return ansiToConsole(text);
}

void showMessage(const std::string& text) {
  printLine(toOem(text));
}

}  // namespace veltrum
