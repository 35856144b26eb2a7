#include "base/console.h"

#include "platform/console.h"
#include "platform/text_encoding.h"

namespace veltrum {

void printLine(const std::string& text) {
  writeConsoleBytes(text + platformLineEnd());
}

std::string toOem(const std::string& text) {
  return ansiToConsole(text);
}

void showMessage(const std::string& text) {
  printLine(toOem(text));
}

}  // namespace veltrum
