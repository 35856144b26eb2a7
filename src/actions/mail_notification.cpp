#include "actions/mail_notification.h"

#include <string>

#include "actions/notification_text.h"
#include "base/console.h"
#include "base/log.h"
#include "base/number_rule.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "mail/mail_body.h"
#include "mail/secret_mask.h"
#include "mail/smtp_client.h"

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

// Which step of setting up TLS failed, for the report of a mail that was not
// sent because TLS could not be had.
std::string tlsFailureText() {
  switch (lastTlsFailure()) {
    case TlsSetupFailure::NotOffered:
      return "STARTTLS wird vom Server nicht angeboten";
    case TlsSetupFailure::Refused:
      return "STARTTLS wurde vom Server abgelehnt";
    case TlsSetupFailure::Certificate:
      return cp1252(
          "Zertifikat des Servers nicht vertrauenswürdig oder für einen anderen Namen "
          "ausgestellt");
    case TlsSetupFailure::TrustStore:
      return "Zertifikatsdatei aus Mail_CAFile nicht verwendbar";
    case TlsSetupFailure::Handshake:
    case TlsSetupFailure::None:
      break;
  }
  return "TLS-Handshake fehlgeschlagen";
}

// The server's refusal explains a STARTTLS that was not to be had; for the
// other steps the TLS library's reason says more than a line of the server.
void reportTlsFailure(const RunSettings& settings, const std::string& route) {
  std::string text = "E-Mail konnte nicht an " + route +
                     " versendet werden. Status: " + std::to_string(kTlsFailedStatus) +
                     ",TLS-Fehler: " + tlsFailureText();
  TlsSetupFailure failure = lastTlsFailure();
  if (failure == TlsSetupFailure::NotOffered || failure == TlsSetupFailure::Refused) {
    text += ",Servermeldung: " + serverLine(settings);
  } else if (!lastTlsDetail().empty()) {
    text += " (" + lastTlsDetail() + ")";
  }
  report(ERR, text);
}

// Plain text or HTML is decided on the configured body alone: the file's
// name, which whoever may write into the watched folder chooses, is text in
// either part and never markup.
MailBody notificationBody(const RunSettings& settings) {
  const std::string& configured = settings.mailBody;
  size_t html = configured.find("<html>");
  if (html == std::string::npos) {
    return MailBody(configured + "\r" + fileTooOldText(settings.currentFile));
  }
  return MailBody::withHtml(
      configured.substr(0, html),
      configured.substr(html) + "\r" + fileTooOldText(htmlEscaped(settings.currentFile)));
}

}  // namespace

void sendMailNotification() {
  const RunSettings& settings = runSettings();
  writeLog(LOG, "E-Mail Nachricht wird erstellt");
  int port = low32(readNumber(settings.mailPort));
  SmtpSecurity security = SmtpSecurity::None;
  smtpSecurityFromText(settings.mailSecurity, security);  // the pre-check refused any other
  const std::string route = settings.mailTo + cp1252(" über ") + settings.mailSmtp;
  int status = openSmtpConnection(settings.mailSmtp, port, security, settings.mailCaFile);
  if (status == kTlsFailedStatus) return reportTlsFailure(settings, route);
  if (status != 1) {
    // A refused connection stays with the transport; only QUIT may end it.
    report(ERR, cp1252("Öffnen der SMTP-Verbindung fehlgeschlagen mit der Meldung: ") +
                    serverLine(settings));
    return;
  }
  status = sendMail(settings.mailTo, settings.mailFrom, settings.mailSubject,
                    notificationBody(settings), settings.mailUser, settings.mailPassword);
  if (status == 1) {
    report(LOG,
           "E-Mail wurde mit Status: " + std::to_string(status) + " an " + route +
               (connectionUsesTls() ? cp1252(" per TLS verschlüsselt versendet") : " versendet"));
  } else if (status == kTlsFailedStatus) {
    reportTlsFailure(settings, route);
  } else {
    report(ERR, "E-Mail konnte nicht an " + route + " versendet werden. Status: " +
                    std::to_string(status) + ",Servermeldung: " + serverLine(settings));
  }
  closeSmtpConnection();
}

}  // namespace veltrum
