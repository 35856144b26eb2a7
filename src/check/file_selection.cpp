#include "check/file_selection.h"

#include <algorithm>
#include <vector>

#include "base/log.h"
#include "base/number_rule.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "check/age_evaluation.h"
#include "check/run_tally.h"
#include "platform/files/file_system.h"

namespace veltrum {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

size_t afterLeadingQuote(const std::string& entry) {
  return !entry.empty() && entry[0] == '"' ? 1 : 0;
}

// The fields of a text split at "|", empty fields included (n bars, n + 1
// fields).
std::vector<std::string> pipeFields(const std::string& text) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    const size_t bar = text.find('|', from);
    fields.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
    if (bar == std::string::npos) return fields;
    from = bar + 1;
  }
}

// The folder a search of `directory` lists: the directory with the
// platform's separator at its end.
std::string searchedFolder(const std::string& directory) {
  std::string folder = directory;
  if (!folder.empty() && folder.back() != pathSeparator()) folder += pathSeparator();
  return folder;
}

// A path that begins with "\\?\" is taken literally by Windows, long paths
// and "\\?\UNC\" shares included: that "?" is no wildcard.
bool holdsWildcard(const std::string& text) {
  for (const std::string& field : pipeFields(text)) {
    size_t from = afterLeadingQuote(field);
    if (field.compare(from, 4, "\\\\?\\") == 0) from += 4;
    if (field.find_first_of("*?", from) != std::string::npos) return true;
  }
  return false;
}

// The paths found so far; emptied when the search phase (and each entry of
// several) begins.
PathList& fileList() {
  static PathList list;
  return list;
}

// Searches one entry and evaluates what it finds, in the order found.
void searchAndEvaluate(const std::string& entry) {
  RunSettings& settings = runSettings();
  const std::string directory = directoryPart(entry);
  const std::string names = namePart(entry);
  writeLog(LOG, "Suche nach:" + shownText(directory + names));
  fileList().clear();
  searchFiles(names, directory, &fileList(), low32(readNumber(settings.recursive)));
  FoundIn found;
  found.start = searchedFolder(directory);
  for (size_t i = 0; i < fileList().size(); ++i) {
    settings.currentFile = fileList()[i];
    const PathList::Origin origin = fileList().origin(i);
    found.folder = settings.currentFile.substr(0, origin.folderLength);
    found.entry.name = settings.currentFile.substr(origin.folderLength);
    found.entry.location = origin.location;
    // The file is reached by its own bytes; only the line shows it decoded.
    writeLog(LOG, nativeText("Mögliche Datei gefunden:") + shownText(settings.currentFile) +
                      nativeText(". Wird geprüft"));
    evaluateFile(&found);
  }
}

}  // namespace

std::string directoryPart(const std::string& entry) {
  const size_t from = afterLeadingQuote(entry);
  size_t end = entry.find('|', from);
  if (end == std::string::npos) end = entry.size();
  for (size_t i = end; i > from; --i) {
    if (isSeparator(entry[i - 1])) return entry.substr(from, i - from);
  }
  return "";
}

std::string namePart(const std::string& entry) {
  size_t from = afterLeadingQuote(entry);
  for (size_t i = entry.size(); i > from; --i) {
    if (isSeparator(entry[i - 1])) {
      from = i;
      break;
    }
  }
  const size_t quote = entry.find('"', from);
  return entry.substr(from, quote == std::string::npos ? std::string::npos : quote - from);
}

namespace {

// A check must tell a folder it cannot read (a vanished mount, a changed
// permission) from one without matches. Asked only when the listing gave
// nothing at all, so a folder that yields files costs no second look.
void noteUnreadable(const std::string& folder, const std::vector<std::vector<DirEntry>>& matches,
                    const std::vector<DirEntry>& subfolders, bool isStart) {
  const bool nothing = subfolders.empty() && std::all_of(matches.begin(), matches.end(),
                                                         [](const auto& m) { return m.empty(); });
  if (!nothing || fileSystem().canEnumerate(folder)) return;
  writeLog(ERR, "Ordner nicht lesbar:" + shownText(folder));
  RunTally& tally = runTally();
  (isStart ? tally.unreadableStarts : tally.unreadableSubfolders).push_back(folder);
}

// `entered`: the folder as the listing of its parent showed it, a plain
// folder; it is listed only while it still is that one. Null for the folder
// the search starts in.
void searchTree(const std::string& namePatterns, const std::string& directory, PathList* list,
                int32_t recursive, const DirEntry* entered) {
  const std::string folder = searchedFolder(directory);
  std::vector<std::string> patterns;
  // -1: only what lies below this folder is collected.
  if (recursive != -1) {
    for (const std::string& pattern : pipeFields(namePatterns))
      patterns.push_back(pattern.empty() ? "*.*" : pattern);
  }
  std::vector<std::vector<DirEntry>> matches;
  std::vector<DirEntry> subfolders;
  std::vector<DirEntry>* wanted = recursive != 0 ? &subfolders : nullptr;
  if (entered != nullptr) {
    fileSystem().searchEnteredFolder(folder, *entered, patterns, &matches, wanted);
  } else {
    fileSystem().searchFolder(folder, patterns, &matches, wanted);
  }
  for (const std::vector<DirEntry>& entries : matches) {
    for (const DirEntry& entry : entries) list->append(folder, entry.name, entry.location);
  }
  if (runTally().forCheck) noteUnreadable(folder, matches, subfolders, entered == nullptr);
  matches.clear();
  for (const DirEntry& entry : subfolders) {
    // A linked folder is never entered: a link loop would never end.
    if (entry.isLink || entry.name == "." || entry.name == "..") continue;
    searchTree(namePatterns, folder + entry.name, list, 1, &entry);
  }
  if (recursive != 0) fileSystem().leaveFolder(folder);
}

}  // namespace

int searchFiles(const std::string& namePatterns, const std::string& directory, PathList* list,
                int32_t recursive) {
  searchTree(namePatterns, directory, list, recursive, nullptr);
  return static_cast<int>(list->size());
}

void processFileSpec() {
  RunSettings& settings = runSettings();
  fileList().clear();
  const std::string fileSpec = settings.filePattern;
  if (!holdsWildcard(fileSpec)) {
    writeLog(LOG, "Suche nach einzelner Datei erkannt");
    settings.currentFile = fileSpec;
    evaluateFile();
    return;
  }
  if (fileSpec.find('|') == std::string::npos) {
    writeLog(LOG, "Einfache Suche nach Dateien mit Wildcards erkannt");
    searchAndEvaluate(fileSpec);
    return;
  }
  writeLog(LOG, "Mehrfache Suche nach Dateien mit Wildcards erkannt");
  for (const std::string& entry : pipeFields(fileSpec)) searchAndEvaluate(entry);
}

}  // namespace veltrum
