#include "base/preference_file.h"

#include "support/scratch_folder_for_tests.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace veltrum {
namespace {

PreferenceFile parsed(const std::string& bytes, const std::string& group = "Global") {
  PreferenceFile file;
  file.parse(bytes);
  file.selectGroup(group);
  return file;
}

TEST(PreferenceFile, GroupAndKeyNamesIgnoreLetterCase) {
  const PreferenceFile file = parsed("[global]\r\nMAIL_SMTP=x.y.z\r\n");
  EXPECT_EQ(file.readKey("Mail_SMTP", "none"), "x.y.z");
}

TEST(PreferenceFile, BlanksInsideBracketsNameAnotherGroup) {
  PreferenceFile file;
  file.parse("[ Global ]\nMail_SMTP=a\n");
  EXPECT_FALSE(file.selectGroup("Global"));
  EXPECT_EQ(file.readKey("Mail_SMTP", "dflt"), "dflt");
  EXPECT_TRUE(file.selectGroup(" Global "));
  EXPECT_EQ(file.readKey("Mail_SMTP", "dflt"), "a");
}

TEST(PreferenceFile, ValuesAreTrimmedAndKeepEverythingElse) {
  const PreferenceFile file = parsed(
      "[Global]\n"
      "  Mail_Port \t=   587   \n"
      "Exec=\"C:\\Program Files\\x.exe\" ; not a comment = [x]\n"
      "Recursive=\n"
      "\tBody = a=b\t\n");
  EXPECT_EQ(file.readKey("Mail_Port", ""), "587");
  EXPECT_EQ(file.readKey("Exec", ""), "\"C:\\Program Files\\x.exe\" ; not a comment = [x]");
  EXPECT_EQ(file.readKey("Recursive", "0"), "");  // found and empty: not the default
  EXPECT_EQ(file.readKey("Body", ""), "a=b");
}

TEST(PreferenceFile, FirstKeyOfTheGroupWinsAndOtherGroupsAreNotSeen) {
  const std::string text =
      "Mail_To=before@any.group\n"
      "[Other]\nMail_From=other@x.y\n"
      "[Global]\nMail_To=first@x.y\nmail_to=second@x.y\n"
      "[Third]\nExec=third\n"
      "[GLOBAL]\nExec=second-global\n";
  const PreferenceFile file = parsed(text);
  EXPECT_EQ(file.readKey("Mail_To", ""), "first@x.y");
  EXPECT_EQ(file.readKey("Mail_From", "none"), "none");
  EXPECT_EQ(file.readKey("Exec", "none"), "none");  // the second [GLOBAL] never counts
  EXPECT_EQ(parsed(text, "").readKey("Mail_To", ""), "before@any.group");
}

TEST(PreferenceFile, MissingGroupGivesDefaults) {
  PreferenceFile file;
  file.parse("Mail_SMTP=a.b.c\n");
  EXPECT_FALSE(file.selectGroup("Global"));
  EXPECT_EQ(file.readKey("Mail_SMTP", "d"), "d");
}

TEST(PreferenceFile, LineWithoutEqualsIsAKeyWithAnEmptyValue) {
  for (const std::string end : {"\r\n", "\n", "\r", "\r\r\n\n"}) {
    const PreferenceFile file =
        parsed("[Global]" + end + "Mail_To  " + end + "Mail_From=a@b.c" + end);
    EXPECT_EQ(file.readKey("Mail_To", "dflt"), "") << "line end " << end.size();
    EXPECT_EQ(file.readKey("Mail_From", ""), "a@b.c") << "line end " << end.size();
  }
}

TEST(PreferenceFile, CommentsAndHeadersAreRecognisedAfterBlanks) {
  PreferenceFile file;
  file.parse("  ; Einstellungen\n\t[Global] trailing text\n#Exec=x\n;Exec=y\n");
  ASSERT_EQ(file.entries().size(), 4u);
  EXPECT_EQ(file.entries()[0].kind, PreferenceEntry::Kind::Comment);
  EXPECT_EQ(file.entries()[0].name, "Einstellungen");
  EXPECT_EQ(file.entries()[1].name, "Global");
  EXPECT_TRUE(file.selectGroup("Global"));
  EXPECT_EQ(file.readKey("#Exec", ""), "x");        // "#" is an ordinary character
  EXPECT_EQ(file.readKey("Exec", "none"), "none");  // only ";" starts a comment
}

TEST(PreferenceFile, HeaderWithoutClosingBracketRunsToTheLineEnd) {
  PreferenceFile file;
  file.parse("[Global\nExec=x\n");
  EXPECT_TRUE(file.selectGroup("Global"));
  EXPECT_EQ(file.readKey("Exec", ""), "x");
}

struct EncodingCase {
  const char* what;
  std::string file;    // the value line of the file, "[Global]" before it
  std::string utf8;    // the value a UTF-8 run reads
  std::string cp1252;  // the value a Windows-1252 run reads
};

const std::string kMark = "\xEF\xBB\xBF";

const EncodingCase kEncodingCases[] = {
    {"UTF-8 with the mark keeps the Windows-1252 characters", kMark + "=€ – „ “ ä", "€ – „ “ ä",
     "\x80 \x96 \x84 \x93 \xE4"},
    {"UTF-8 with the mark, beyond Windows-1252", kMark + "=Ł→", "Ł→", "??"},
    {"UTF-8 with the mark, malformed", kMark + "=a\xFF\xC3", "a??", "a??"},
    {"UTF-8 without the mark", "=€ – „ “ ä", "€ – „ “ ä", "€ – „ “ ä"},
    {"Windows-1252 file", "=\x80 \x96 \x84 \x93 \xE4", "€ – „ “ ä", "\x80 \x96 \x84 \x93 \xE4"},
    {"one stray byte makes the whole file Windows-1252", "=ä \xE4", "Ã¤ ä", "ä \xE4"},
};

TEST(PreferenceFile, EncodingOfTheFile) {
  for (const EncodingCase& c : kEncodingCases) {
    // The mark, when there is one, comes first: the key line follows the
    // group line in both forms.
    const bool marked = c.file.compare(0, 3, kMark) == 0;
    const std::string bytes =
        (marked ? kMark : "") + "[Global]\r\nMail_Subject" + c.file.substr(marked ? 3 : 0) + "\r\n";
    for (TextEncoding encoding : {TextEncoding::utf8, TextEncoding::windows1252}) {
      PreferenceFile file;
      file.parse(bytes, encoding);
      ASSERT_TRUE(file.selectGroup("global")) << c.what;
      EXPECT_EQ(file.readKey("MAIL_SUBJECT", ""),
                encoding == TextEncoding::utf8 ? c.utf8 : c.cp1252)
          << c.what;
    }
  }
}

TEST(PreferenceFile, LettersFoldInTheRunsEncoding) {
  PreferenceFile file;
  file.parse("[Global]\r\n\xC4rger=1\r\n", TextEncoding::windows1252);
  file.selectGroup("Global");
  EXPECT_EQ(file.readKey("\xE4rger", ""), "1");
  // In UTF-8 only ASCII folds: the second byte of "Ä" and "ä" differs by
  // 0x20 as well, and must not be taken for a letter.
  file.parse("[Global]\r\n\xC3\x84rger=1\r\nX\xC3\xA4=2\r\n", TextEncoding::utf8);
  file.selectGroup("Global");
  EXPECT_EQ(file.readKey("\xC3\xA4rger", ""), "");
  EXPECT_EQ(file.readKey("x\xC3\xA4", ""), "2");
}

TEST(PreferenceFile, NulByteEndsALine) {
  static const char kText[] = "[Global]\nExec=/bin/a\0b\nMail_To=x@y.z\n";
  const PreferenceFile file = parsed(std::string(kText, sizeof kText - 1));
  EXPECT_EQ(file.readKey("Exec", ""), "/bin/a");
  EXPECT_EQ(file.readKey("Mail_To", ""), "x@y.z");
}

TEST(PreferenceFile, ManyKeysAreFound) {
  std::string text = "[Global]\n";
  for (int i = 0; i < 100000; ++i)
    text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
  text += "Exec=last\n";
  const PreferenceFile file = parsed(text);
  EXPECT_EQ(file.readKey("Key99999", ""), "99999");
  EXPECT_EQ(file.readKey("Exec", ""), "last");
}

TEST(PreferenceFile, RunFileIsHeldOpenUntilClosed) {
  namespace fs = std::filesystem;
  const std::string pattern = makeScratchFolder("veltrum-pref-").string();
  const fs::path conf = fs::path(pattern) / "veltrum.conf";
  std::ofstream(conf, std::ios::binary) << "[Global]\r\nExec=x\r\n";
  EXPECT_FALSE(openPreferenceFile((fs::path(pattern) / "missing.conf").string()));
  EXPECT_FALSE(openPreferenceFile(pattern));  // a folder is not a configuration file
  ASSERT_TRUE(openPreferenceFile(conf.string()));
  EXPECT_TRUE(selectGroup("global"));
  EXPECT_EQ(readKey("exec", ""), "x");
  closePreferenceFile();
  EXPECT_EQ(readKey("exec", "gone"), "gone");
  fs::remove_all(pattern);
}

}  // namespace
}  // namespace veltrum
