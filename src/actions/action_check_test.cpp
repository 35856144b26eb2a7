#include "actions/action_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "base/run_settings.h"
#include "base/text.h"
#include "platform/processes/program_check.h"

namespace veltrum {
namespace {

namespace fs = std::filesystem;

fs::path freshFolder() {
  std::random_device random;
  for (;;) {
    const fs::path folder =
        fs::temp_directory_path() / ("veltrum-check-" + std::to_string(random()));
    if (fs::create_directory(folder)) return folder;
  }
}

class ActionCheck : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = runSettings();
    folder_ = freshFolder();
    runSettings().logPath = (folder_ / "veltrum.log").string();
  }
  void TearDown() override {
    runSettings() = saved_;
    fs::remove_all(folder_);
  }

  // The texts of the log lines written so far, in order.
  std::vector<std::string> logTexts() {
    std::ifstream in(folder_ / "veltrum.log", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::vector<std::string> texts;
    std::string line;
    while (std::getline(bytes, line, '\n')) {
      if (!line.empty() && line.back() == '\r') line.pop_back();  // the CR LF of Windows
      const size_t marker = line.find("] ");
      texts.push_back(line.substr(marker + 2));
    }
    return texts;
  }

  int mail(const std::string& smtp, const std::string& from, const std::string& to) {
    runSettings().mailSmtp = smtp;
    runSettings().mailFrom = from;
    runSettings().mailTo = to;
    return checkAction("mail");
  }

  RunSettings saved_;
  fs::path folder_;
};

TEST_F(ActionCheck, MailConditionsInTheirOrder) {
  const std::string smtpLine =
      nativeText("Check-mail: SMTP Bedingung zum Mailversand wird nicht erfüllt");
  const std::string fromLine =
      nativeText("Check-mail: FROM Bedingung zum Mailversand wird nicht erfüllt");
  const std::string toLine =
      nativeText("Check-mail: TO Bedingung zum Mailversand wird nicht erfüllt");
  EXPECT_EQ(mail("a.b.c", "a@b.c", "d@e.f"), 0);
  EXPECT_EQ(mail("mailserver", "bad", "bad"), -1);       // no dot: SMTP, and only SMTP
  EXPECT_EQ(mail("mail.server", "a@b.c", "d@e.f"), -1);  // one dot
  EXPECT_EQ(mail("10.0.0.1", "a@b.c", "d@e.f"), -1);     // three dots
  EXPECT_EQ(mail("a..b", "a@b.c", "d@e.f"), -1);         // too short
  EXPECT_EQ(mail("mx.example.org", "ab.cd", "d@e.f"), -1);
  EXPECT_EQ(mail("mx.example.org", "a@bc.", "x@y"), -1);  // FROM passes with "." last
  EXPECT_EQ(mail("mx.example.org", "a@b.c", "a@b.c;c@d"), 0);
  EXPECT_EQ(logTexts(),
            (std::vector<std::string>{smtpLine, smtpLine, smtpLine, smtpLine, fromLine, toLine}));
}

TEST_F(ActionCheck, DefaultSubjectOnlyAfterPassedMailCheck) {
  runSettings().mailSubject = "";
  EXPECT_EQ(mail("mx.example", "a@b.c", "d@e.f"), -1);
  EXPECT_EQ(runSettings().mailSubject, "");
  EXPECT_EQ(mail("mx.example.org", "a@b.c", "d@e.f"), 0);
  EXPECT_EQ(runSettings().mailSubject, "Veltrum - Benachrichtigung");
  runSettings().mailSubject = "Eigener Betreff";
  EXPECT_EQ(mail("mx.example.org", "a@b.c", "d@e.f"), 0);
  EXPECT_EQ(runSettings().mailSubject, "Eigener Betreff");
}

TEST_F(ActionCheck, KeywordsAreCaseSensitive) {
  EXPECT_EQ(checkAction("Mail"), -1);
  EXPECT_EQ(checkAction(""), -1);
  EXPECT_EQ(logTexts(),
            (std::vector<std::string>{
                nativeText("Check:Unbekannte Aktion soll ausgeführt werden:Mail . Hilfe mit /?"),
                nativeText("Check:Unbekannte Aktion soll ausgeführt werden: . Hilfe mit /?")}));
}

TEST_F(ActionCheck, QuillboxTestFileIsWrittenAndRemoved) {
  fs::create_directory(folder_ / "inbox");
  runSettings().quillboxDir = (folder_ / "inbox").string() + "/";
  std::ofstream(folder_ / "inbox" / "veltrum_test.tmp") << "left over from an earlier run";
  EXPECT_EQ(checkAction("quillbox"), 0);
  EXPECT_FALSE(fs::exists(folder_ / "inbox" / "veltrum_test.tmp"));
  runSettings().quillboxDir = (folder_ / "veltrum.log").string() + "/";  // parent is a file
  EXPECT_EQ(checkAction("quillbox"), -1);
  EXPECT_EQ(logTexts(),
            (std::vector<std::string>{"Check:Versuche ins Quillbox Verzeichnis zu schreiben",
                                      "Check:Testnachricht konnte angelegt werden.",
                                      "Check:Versuche ins Quillbox Verzeichnis zu schreiben",
                                      "Check: Testnachricht konnte nicht angelegt werden."}));
}

TEST(ProgramExtension, TakenFromTheLastComponentUpToAQuote) {
  EXPECT_EQ(programExtension("C:\\Tools\\run.bat"), "bat");
  EXPECT_EQ(programExtension("\"C:\\Tools\\run.Cmd\""), "Cmd");
  EXPECT_EQ(programExtension("C:\\Tools.d\\run"), "");
  EXPECT_EQ(programExtension("/opt/tools.d/run"), "");
  EXPECT_EQ(programExtension("archive.tar.gz"), "gz");
  EXPECT_EQ(programExtension("trailingdot."), "");
  EXPECT_EQ(programExtension(""), "");
}

TEST(ProgramExtension, AnsiUpperCasesWindows1252Letters) {
  EXPECT_EQ(ansiUpper("exe"), "EXE");
  EXPECT_EQ(ansiUpper("\xE4\xF6\xFC\xFF\x9A\xF7"), "\xC4\xD6\xDC\x9F\x8A\xF7");
  EXPECT_EQ(ansiUpper("\xDF"
                      "1."),
            "\xDF"
            "1.");  // ß has no capital here
}

}  // namespace
}  // namespace veltrum
