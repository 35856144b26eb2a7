// The lines that name a file that is too old, shared by the drop file and
// the mail body: "Die Datei <path>" CR "hat das zulässige Alter überschritten!".
#pragma once

#include <string>

#include "base/text.h"

namespace veltrum {

inline std::string fileTooOldText(const std::string& path) {
  return "Die Datei " + path + "\r" + nativeText("hat das zulässige Alter überschritten!");
}

}  // namespace veltrum
