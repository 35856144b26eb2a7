#include "run/configuration.h"

#include "base/console.h"
#include "base/log.h"
#include "base/outside_text.h"
#include "base/preference_file.h"
#include "base/run_settings.h"
#include "platform/files/file_system.h"

namespace veltrum {

namespace {

// A configuration value is bytes nobody checked: shown, so that a line break
// in it cannot write a line of its own into the log.
void logValue(const char* label, const std::string& value) {
  writeLog(LOG, label + shownText(value));
}

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
  settings.metricsDir = readKey("MetricsDir", "");
}

// Only the keys that are set: a configuration without them logs as before.
// The client secret is Mail_Password and so never reaches the log.
void logLoginSettings(const RunSettings& settings) {
  const auto logSet = [](const char* label, const std::string& value) {
    if (!value.empty()) logValue(label, value);
  };
  logSet("Init-Mail_Auth         :", settings.mailAuth);
  logSet("Init-Mail_OAuthTokenURL:", settings.mailOAuthTokenUrl);
  logSet("Init-Mail_OAuthClientId:", settings.mailOAuthClientId);
  logSet("Init-Mail_OAuthScope   :", settings.mailOAuthScope);
}

// The labels are padded so that the colons of the middle lines line up; the
// password itself never reaches the log.
void logSettings(const RunSettings& settings) {
  logValue("Init-Mail_SMTP:", settings.mailSmtp);
  logValue("Init-Mail_User:", settings.mailUser);
  writeLog(LOG, settings.mailPassword.empty() ? "Init-Mail_Passw: Kein Passwort"
                                              : "Init-Mail_Passw: ***gefunden***");
  logValue("Init-Mail_From         :", settings.mailFrom);
  logValue("Init-Mail_To           :", settings.mailTo);
  logValue("Init-Mail_Subject      :", settings.mailSubject);
  logValue("Init-Mail_Port         :", settings.mailPort);
  logValue("Init-Mail_Body         :", settings.mailBody);
  // Only where configured: a configuration without TLS logs what it always did.
  if (!settings.mailSecurity.empty()) {
    logValue("Init-Mail_Security     :", settings.mailSecurity);
  }
  if (!settings.mailCaFile.empty()) logValue("Init-Mail_CAFile       :", settings.mailCaFile);
  if (!settings.mailHelo.empty()) logValue("Init-Mail_Helo         :", settings.mailHelo);
  logLoginSettings(settings);
  logValue("Init-Exec              :", settings.exec);
  logValue("Init-ExecParam         :", settings.execParam);
  logValue("Init-Recursive         :", settings.recursive);
  logValue("Init-strBreakIfLocated :", settings.breakIfLocated);
  if (!settings.metricsDir.empty()) logValue("Init-MetricsDir        :", settings.metricsDir);
  logValue("Init-QuillboxDir:", settings.quillboxDir);
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
    logValue("Init-Korrektur-QuillboxDir:", settings.quillboxDir);
  }
}

void closeConfiguration() {
  closePreferenceFile();
}

}  // namespace veltrum
