#include "actions/action_check.h"

#include <algorithm>

#include "base/console.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "mail/smtp/greeting_name.h"
#include "mail/smtp/mail_login.h"
#include "mail/smtp/smtp_security.h"
#include "platform/files/create_file.h"
#include "platform/files/file_system.h"
#include "platform/net/tls_channel.h"
#include "platform/processes/program_check.h"

namespace veltrum {

namespace {

bool contains(const std::string& text, char c) {
  return text.find(c) != std::string::npos;
}

// Console first, then the log with the unconverted text.
void reportFailure(const std::string& message) {
  showMessage(message);
  writeLog(ERR, message);
}

// TLS settings that cannot work fail here, before any connection is made.
int checkMailSecurity(const RunSettings& settings) {
  SmtpSecurity security;
  if (!smtpSecurityFromText(settings.mailSecurity, security)) {
    writeLog(ERR, nativeText("Check-mail: Unbekannter Wert für Mail_Security: ") +
                      shownText(settings.mailSecurity) + " (erlaubt: none, starttls, tls)");
    return -1;
  }
  if (!trustFileUsable(settings.mailCaFile)) {
    writeLog(ERR, nativeText("Check-mail: Zertifikatsdatei aus Mail_CAFile ist nicht verwendbar "
                             "(fehlt, ist leer, ist ein Verzeichnis oder enthält kein "
                             "PEM-Zertifikat): ") +
                      shownText(settings.mailCaFile));
    return -1;
  }
  return 0;
}

int checkMail(RunSettings& settings) {
  const std::string& smtp = settings.mailSmtp;
  if (smtp.size() < 5 || std::count(smtp.begin(), smtp.end(), '.') != 2) {
    writeLog(ERR, nativeText("Check-mail: SMTP Bedingung zum Mailversand wird nicht erfüllt"));
    return -1;
  }
  const auto plausibleAddress = [](const std::string& address) {
    return address.size() >= 5 && contains(address, '@') && contains(address, '.');
  };
  if (!plausibleAddress(settings.mailFrom)) {
    writeLog(ERR, nativeText("Check-mail: FROM Bedingung zum Mailversand wird nicht erfüllt"));
    return -1;
  }
  if (!plausibleAddress(settings.mailTo)) {
    writeLog(ERR, nativeText("Check-mail: TO Bedingung zum Mailversand wird nicht erfüllt"));
    return -1;
  }
  if (settings.mailSubject.empty()) settings.mailSubject = "Veltrum - Benachrichtigung";
  if (checkMailSecurity(settings) != 0) return -1;
  // A name a server could never take, or one that would break the command
  // line, fails here, before any connection is made.
  if (!settings.mailHelo.empty() && !validGreetingName(settings.mailHelo)) {
    writeLog(ERR, nativeText("Check-mail: Ungültiger Wert für Mail_Helo: ") +
                      shownText(settings.mailHelo) +
                      " (erlaubt: Rechnername, [IPv4-Adresse] oder [IPv6:Adresse])");
    return -1;
  }
  const std::string loginProblem = mailLoginProblem(settings);
  if (!loginProblem.empty()) {
    // It quotes configuration values; the rest of it is our own text.
    writeLog(ERR, shownText(loginProblem));
    return -1;
  }
  return 0;
}

int checkQuillbox(const RunSettings& settings) {
  writeLog(LOG, "Check:Versuche ins Quillbox Verzeichnis zu schreiben");
  const std::string testPath = settings.quillboxDir + "veltrum_test.tmp";
  // Written into a new file and removed again: whatever held the name before
  // (a leftover, a planted link, FIFO or empty folder) is removed itself,
  // never written through.
  const TestFileOutcome outcome =
      writeTestFile(testPath, "TEST - Testnachricht von Veltrum - TEST\r\n");
  if (outcome == TestFileOutcome::FolderInTheWay) {
    reportFailure("Check: Testnachricht konnte nicht angelegt werden, das Verzeichnis " +
                  shownText(testPath) + " ist nicht leer.");
    return -1;
  }
  if (outcome != TestFileOutcome::Written) {
    reportFailure("Check: Testnachricht konnte nicht angelegt werden.");
    return -1;
  }
  writeLog(LOG, "Check:Testnachricht konnte angelegt werden.");
  return 0;
}

int checkProgram(const RunSettings& settings) {
  writeLog(LOG, nativeText("Check:Exec soll als Aktion durchgeführt werden"));
  if (fileSizeOf(settings.exec) <= 0) {
    reportFailure(nativeText("Check:Angegebene Programm für Exec kann nicht gefunden werden"));
    return -1;
  }
  writeLog(LOG, nativeText("Check:Angegebene Programm für Exec gefunden"));
  if (!programIsRunnable(settings.exec, ansiUpper(programExtension(settings.exec)))) {
    reportFailure(
        nativeText("Check:Angegebene Programm für Exec entspricht nicht der "
                   "Extension-Vorgabe:bat,cmd,exe,com"));
    return -1;
  }
  writeLog(LOG, nativeText("Check:Angegebene Programm für Exec entspricht Extension-Vorgabe"));
  return 0;
}

}  // namespace

std::string programExtension(const std::string& path) {
  for (size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (c == '\\' || c == '/') return "";
    if (c == '.') {
      const size_t quote = path.find('"', i);
      return path.substr(i, quote == std::string::npos ? std::string::npos : quote - i);
    }
  }
  return "";
}

int checkAction(const std::string& action) {
  RunSettings& settings = runSettings();
  if (action == "mail") return checkMail(settings);
  if (action == "quillbox") return checkQuillbox(settings);
  if (action == "exec" || action == "execwait") return checkProgram(settings);
  reportFailure(nativeText("Check:Unbekannte Aktion soll ausgeführt werden:") + shownText(action) +
                " . Hilfe mit /?");
  return -1;
}

}  // namespace veltrum
