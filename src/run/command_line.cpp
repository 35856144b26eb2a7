#include "run/command_line.h"

#include "base/console.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "base/version.h"

namespace veltrum {

namespace {

std::vector<std::string> parameters;  // after the program path, empty ones included
std::vector<std::string> switchList;  // the same without the empty ones

std::string lowerCase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// "/f", "/t", "/a": the next entry is the value, whatever it is; as the last
// entry the switch's own text is its value.
std::string takeValue(size_t* at) {
  if (*at + 1 < switchList.size()) ++*at;
  return switchList[(*at)++];
}

}  // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine) {
  std::vector<std::string> pieces;
  size_t at = 0;
  for (;;) {
    while (at < commandLine.size() && commandLine[at] == ' ') ++at;
    if (at >= commandLine.size()) break;
    if (commandLine[at] == '"') {
      size_t close = commandLine.find('"', at + 1);
      size_t end = close == std::string::npos ? commandLine.size() : close;
      pieces.push_back(commandLine.substr(at + 1, end - at - 1));
      at = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
      size_t end = commandLine.find(' ', at);
      if (end == std::string::npos) end = commandLine.size();
      pieces.push_back(commandLine.substr(at, end - at));
      at = end;
    }
  }
  return pieces;
}

void setParameters(const RawCommandLine& raw) {
  parameters.clear();
  if (raw.isWhole) {
    std::vector<std::string> pieces = splitCommandLine(raw.wholeText);
    if (!pieces.empty()) parameters.assign(pieces.begin() + 1, pieces.end());
  } else {
    parameters = raw.arguments;
  }
  switchList.clear();
  for (const std::string& parameter : parameters) {
    if (!parameter.empty()) switchList.push_back(parameter);
  }
}

int countParameters() {
  return static_cast<int>(parameters.size());
}

std::string parameterAt(int index) {
  if (index < 0 || index >= countParameters()) return "";
  return parameters[static_cast<size_t>(index)];
}

std::string findSwitch(const std::string& name) {
  std::string wanted = lowerCase(name);
  for (const std::string& entry : switchList) {
    if (lowerCase(entry) == wanted) return entry;
  }
  return "";
}

std::vector<std::string> helpLines() {
  return {
      "",
      "",
      "Veltrum V" VELTRUM_VERSION " - watchdog for files that have grown too old",
      "",
      "Usage: Veltrum [/?][/f] <Dateiname> [/t] <Zeit in Minuten> [/a] "
      "mail|quillbox|exec|execwait [Optional:/m oder /z]",
      "",
      "[GER]",
      "/?  : Diesen Hilfetext anzeigen",
      nativeText("/f  : Dateiname mit vollständiger Pfadangabe"),
      nativeText("/t  : Bedingung: Älter als x Minuten"),
      nativeText("/a  : Durchzuführende Aktion"),
      "/m  : Benutze letztes Modifikationsdatum, anstelle des Erstellungsdatum",
      "/z  : Benutze letztes Zugriffsdatum, anstelle des Erstellungsdatum",
      "",
      "Beispiel 1: Veltrum /f \"C:\\Dropzone\\job.lck\" /t -60 /a quillbox",
      nativeText("  Ist die angegebene Datei älter als 60 Minuten, benachrichtige per Quillbox."),
      "",
      "Beispiel 2: Veltrum /f \"C:\\Dropzone\\*.lck\" /t -60 /a mail",
      nativeText("  Prüft auf angegebene Wildcard-Bedingung zu suchender Dateien die Älter als 60 "
                 "Minuten sind und benachrichtige per E-Mail."),
      "",
      nativeText(
          "Verschiedene Pfade und Dateisuchen können beim Parameter /f mit Pipe zur Trennung "
          "benutzt werden:"),
      "Beispiel: \"C:\\Dropzone1\\*.lck|C:\\Dropzone2\\j*.l?k\"",
      "",
      nativeText("Rekursives Absteigen in die angegebenen Pfade kann zusätzlich in der Conf-Datei "
                 "über den Parameter 'Recursive' bestimmt werden."),
  };
}

void printHelp() {
  for (const std::string& line : helpLines()) showMessage(line);
}

void checkMandatorySwitches() {
  for (const char* name : {"/f", "/t", "/a"}) {
    if (!findSwitch(name).empty()) continue;
    std::string message = std::string("Parameter ") + name + " wurde nicht angegeben. Hilfe mit /?";
    runSettings().paramStatus = "nOk";
    writeLog(ERR, message);
    showMessage(message);
  }
}

void parseOptions() {
  RunSettings& settings = runSettings();
  for (size_t at = 0; at < switchList.size();) {
    const std::string entry = switchList[at];
    if (entry == "/f") {
      settings.filePattern = takeValue(&at);
      writeLog(LOG, "Parameter f:" + shownText(settings.filePattern));
    } else if (entry == "/t") {
      settings.minutes = takeValue(&at);
      writeLog(LOG, "Parameter t:" + shownText(settings.minutes));
    } else if (entry == "/a") {
      settings.action = takeValue(&at);
      writeLog(LOG, "Parameter a:" + shownText(settings.action));
    } else if (entry == "/w") {
      settings.warnMinutes = takeValue(&at);
      writeLog(LOG, "Parameter w:" + shownText(settings.warnMinutes));
    } else if (entry == "/m") {
      if (settings.dateMode == "access") {
        writeLog(ERR, nativeText("Parameter /z wurde auch angegeben und jetzt übersteuert"));
      }
      settings.dateMode = "modify";
      writeLog(LOG, "Parameter m");
      ++at;
    } else if (entry == "/z") {
      if (settings.dateMode == "modify") {
        writeLog(ERR, nativeText("Parameter /m wurde auch angegeben und jetzt übersteuert"));
      }
      settings.dateMode = "access";
      writeLog(LOG, "Parameter z");
      ++at;
    } else {
      ++at;
    }
  }
  writeLog(LOG, "Dateidatum-Modus:" + settings.dateMode);
}

std::string requestedAction() {
  std::string action;
  for (size_t at = 0; at < switchList.size();) {
    const std::string& entry = switchList[at];
    if (entry == "/f" || entry == "/t" || entry == "/w") {
      takeValue(&at);
    } else if (entry == "/a") {
      action = takeValue(&at);
    } else {
      ++at;
    }
  }
  return action;
}

}  // namespace veltrum
