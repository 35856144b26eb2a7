// The preference-file format of the configuration: comments, groups and
// key lines, looked up by group and key without regard to letter case.
#pragma once

#include <string>
#include <vector>

#include "platform/core/text_encoding.h"

namespace veltrum {

struct PreferenceEntry {
  enum class Kind { Comment, Group, Key };
  Kind kind = Kind::Key;
  std::string name;   // comment text, group name or key
  std::string value;  // keys only: the text after "=", leading blanks and tabs removed
};

// The parsed contents of one file and the group currently selected.
class PreferenceFile {
 public:
  // Parses the whole file into texts of `encoding`. A leading UTF-8
  // byte-order mark is dropped and makes the file UTF-8: kept as UTF-8 (a
  // malformed sequence becomes "?"), or converted to Windows-1252 ("?" for
  // what it cannot hold). Without the mark a Windows-1252 run takes the bytes
  // as they are; a UTF-8 run takes them as they are when the whole file is
  // valid UTF-8, else reads them as Windows-1252 and converts them.
  void parse(const std::string& bytes, TextEncoding encoding = platformTextEncoding());
  void clear();

  // Makes `group` the current group (first header of that name, letter case
  // ignored); "" selects the entries before the first header. False when
  // there is no such group: every readKey then yields its default.
  bool selectGroup(const std::string& group);

  // The value of the first line of `key` in the current group, blanks and
  // tabs removed at both ends (also when it is empty), or `fallback` when
  // the key is not there.
  std::string readKey(const std::string& key, const std::string& fallback) const;

  const std::vector<PreferenceEntry>& entries() const { return entries_; }

 private:
  std::vector<PreferenceEntry> entries_;
  TextEncoding encoding_ = TextEncoding::windows1252;
  // Index of the first entry of the current group; -1 when none is selected.
  long groupStart_ = -1;
};

// The configuration file of the run, held open from openPreferenceFile
// until closePreferenceFile.
// Opens and parses `path`; false when it cannot be opened (it counts as
// missing then). A file too large for memory is parsed as empty.
bool openPreferenceFile(const std::string& path);
bool selectGroup(const std::string& group);
std::string readKey(const std::string& key, const std::string& fallback);
void closePreferenceFile();

}  // namespace veltrum
