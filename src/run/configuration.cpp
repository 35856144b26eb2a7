#include "run/configuration.h"

#include "base/console.h"
#include "base/log.h"
#include "base/preference_file.h"
#include "base/run_settings.h"
#include "platform/file_system.h"

namespace veltrum {

namespace {

void readGlobalKeys(RunSettings& settings) {
  settings.mailSmtp = readKey("Mail_SMTP", "");
  settings.mailUser = readKey("Mail_User", "");
  settings.mailPassword = readKey("Mail_Password", "");
  settings.mailFrom = readKey("Mail_From", "");
  settings.mailTo = readKey("Mail_To", "");
  settings.mailSubject = readKey("Mail_Subject", "");
  settings.mailPort = readKey("Mail_Port", "");
  settings.mailBody = readKey("Mail_Body", "");
  settings.mailSecurity = readKey("Mail_Security", "");
  settings.mailCaFile = readKey("Mail_CAFile", "");
  settings.mailAuth = readKey("Mail_Auth", "");
  settings.mailOAuthTokenUrl = readKey("Mail_OAuthTokenURL", "");
  settings.mailOAuthClientId = readKey("Mail_OAuthClientId", "");
  settings.mailOAuthScope = readKey("Mail_OAuthScope", "");
  settings.mailHelo = readKey("Mail_Helo", "");
  settings.exec = readKey("Exec", "");
  settings.execParam = readKey("ExecParam", "");
  settings.quillboxDir = readKey("QuillboxDir", "");
  settings.recursive = readKey("Recursive", "0");
  settings.breakIfLocated = readKey("BreakIfLocated", "0");
}

// Only the keys that are set: a configuration without them logs as before.
// The client secret is Mail_Password and so never reaches the log.
void logLoginSettings(const RunSettings& settings) {
  const auto logSet = [](const char* label, const std::string& value) {
    if (!value.empty()) writeLog(LOG, label + value);
  };
  logSet("Init-Mail_Auth         :", settings.mailAuth);
  logSet("Init-Mail_OAuthTokenURL:", settings.mailOAuthTokenUrl);
  logSet("Init-Mail_OAuthClientId:", settings.mailOAuthClientId);
  logSet("Init-Mail_OAuthScope   :", settings.mailOAuthScope);
}

// The labels are padded so that the colons of the middle lines line up; the
// password itself never reaches the log.
void logSettings(const RunSettings& settings) {
  writeLog(LOG, "Init-Mail_SMTP:" + settings.mailSmtp);
  writeLog(LOG, "Init-Mail_User:" + settings.mailUser);
  writeLog(LOG, settings.mailPassword.empty() ? "Init-Mail_Passw: Kein Passwort"
                                              : "Init-Mail_Passw: ***gefunden***");
  writeLog(LOG, "Init-Mail_From         :" + settings.mailFrom);
  writeLog(LOG, "Init-Mail_To           :" + settings.mailTo);
  writeLog(LOG, "Init-Mail_Subject      :" + settings.mailSubject);
  writeLog(LOG, "Init-Mail_Port         :" + settings.mailPort);
  writeLog(LOG, "Init-Mail_Body         :" + settings.mailBody);
  // Only where configured: a configuration without TLS logs what it always did.
  if (!settings.mailSecurity.empty()) {
    writeLog(LOG, "Init-Mail_Security     :" + settings.mailSecurity);
  }
  if (!settings.mailCaFile.empty()) writeLog(LOG, "Init-Mail_CAFile       :" + settings.mailCaFile);
  if (!settings.mailHelo.empty()) writeLog(LOG, "Init-Mail_Helo         :" + settings.mailHelo);
  logLoginSettings(settings);
  writeLog(LOG, "Init-Exec              :" + settings.exec);
  writeLog(LOG, "Init-ExecParam         :" + settings.execParam);
  writeLog(LOG, "Init-Recursive         :" + settings.recursive);
  writeLog(LOG, "Init-strBreakIfLocated :" + settings.breakIfLocated);
  writeLog(LOG, "Init-QuillboxDir:" + settings.quillboxDir);
}

}  // namespace

void readConfiguration() {
  RunSettings& settings = runSettings();
  if (!openPreferenceFile(settings.confPath)) {
    showMessage("Konfigurationsdatei konnte nicht gefunden werden.");
    return;
  }
  selectGroup("Global");
  readGlobalKeys(settings);
  logSettings(settings);
  // The drop-file action appends its file name directly to the folder.
  const char separator = pathSeparator();
  if (settings.quillboxDir.empty() || settings.quillboxDir.back() != separator) {
    settings.quillboxDir += separator;
    writeLog(LOG, "Init-Korrektur-QuillboxDir:" + settings.quillboxDir);
  }
}

void closeConfiguration() {
  closePreferenceFile();
}

}  // namespace veltrum
