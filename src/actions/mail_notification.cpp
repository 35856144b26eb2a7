#include "actions/mail_notification.h"

#include <string>

#include "actions/notification_text.h"
#include "mail/secret_mask.h"
#include "mail/smtp_client.h"
#include "base/console.h"
#include "base/log.h"
#include "base/number_rule.h"
#include "base/run_settings.h"
#include "base/text.h"

namespace veltrum {

namespace {

// Shown on the console first, then logged unconverted.
void report(int kind, const std::string& text) {
  showMessage(text);
  writeLog(kind, text);
}

// The server's last line for the report, without the login secrets it may quote.
std::string serverLine(const RunSettings& settings) {
  return withoutLoginSecrets(lastServerMessage(), settings.mailUser, settings.mailPassword);
}

std::string notificationBody(const RunSettings& settings) {
  return settings.mailBody + "\r" + fileTooOldText(settings.currentFile);
}

}  // namespace

void sendMailNotification() {
  const RunSettings& settings = runSettings();
  writeLog(LOG, "E-Mail Nachricht wird erstellt");
  int port = low32(readNumber(settings.mailPort));
  int status = openSmtpConnection(settings.mailSmtp, port);
  if (status != 1) {
    // A refused connection stays with the transport; only QUIT may end it.
    report(ERR, cp1252("Öffnen der SMTP-Verbindung fehlgeschlagen mit der Meldung: ") +
                    serverLine(settings));
    return;
  }
  status = sendMail(settings.mailTo, settings.mailFrom, settings.mailSubject,
                    notificationBody(settings), settings.mailUser, settings.mailPassword);
  const std::string route = settings.mailTo + cp1252(" über ") + settings.mailSmtp;
  if (status == 1) {
    report(LOG,
           "E-Mail wurde mit Status: " + std::to_string(status) + " an " + route + " versendet");
  } else {
    report(ERR, "E-Mail konnte nicht an " + route + " versendet werden. Status: " +
                    std::to_string(status) + ",Servermeldung: " + serverLine(settings));
  }
  closeSmtpConnection();
}

}  // namespace veltrum
