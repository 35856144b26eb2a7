#include "actions/mail_notification.h"

#include <string>
#include <vector>

#include "actions/notification_text.h"
#include "base/console.h"
#include "base/log.h"
#include "base/number_rule.h"
#include "base/outside_text.h"
#include "base/run_settings.h"
#include "base/text.h"
#include "mail/message/base64.h"
#include "mail/message/mail_body.h"
#include "mail/smtp/mail_login.h"
#include "mail/smtp/oauth_token.h"
#include "mail/smtp/secret_mask.h"
#include "mail/smtp/smtp_client.h"
#include "mail/smtp/smtp_reply.h"
#include "mail/smtp/xoauth2.h"

namespace veltrum {

namespace {

// Shown on the console first, then logged unconverted.
void report(int kind, const std::string& text) {
  showMessage(text);
  writeLog(kind, text);
}

// Every form in which the access token or the client secret could come
// back from a server or the token endpoint.
std::vector<std::string> tokenSecrets(const RunSettings& settings, const std::string& token) {
  if (token.empty()) return {formEncoded(settings.mailPassword)};
  std::vector<std::string> secrets = {token, formEncoded(settings.mailPassword)};
  // The base64 forms with their fill and without it: a server may quote
  // either, and the fill alone must not be left behind the mask.
  for (std::string encoded :
       {base64EncodeText(token), xoauth2LoginText(settings.mailUser, token)}) {
    secrets.push_back(encoded);
    secrets.push_back(encoded.erase(encoded.find_last_not_of('=') + 1));
  }
  return secrets;
}

// A text for the report without the password or token it may quote.
std::string masked(const RunSettings& settings, const std::string& text,
                   const std::string& token = "") {
  std::string line = text;
  if (mailAuthOf(settings.mailAuth) == MailAuth::XOAuth2) {
    line = withoutSecrets(line, tokenSecrets(settings, token));
  }
  return withoutLoginSecrets(line, settings.mailUser, settings.mailPassword);
}

// The server's last line for the report, without the login secrets it may
// quote; masked before it is decoded, so a secret is found by its bytes, and
// cut only after masking, so no secret's first characters survive.
std::string shownServerLine(const RunSettings& settings, const std::string& line,
                            const std::string& token) {
  return cutText(shownText(masked(settings, line, token)), kMaxReportedLine);
}

std::string serverLine(const RunSettings& settings, const std::string& token = "") {
  return shownServerLine(settings, lastServerMessage(), token);
}

// What happened to an open that got no line from the server, with the
// server and port it was meant for.
std::string openProblemText(const RunSettings& settings, int port) {
  std::string what;
  switch (lastOpenProblem()) {
    case OpenProblem::NameNotResolved:
      what = nativeText("Name nicht auflösbar");
      break;
    case OpenProblem::Refused:
      what = "Verbindung abgelehnt";
      break;
    case OpenProblem::Unreachable:
      what = "Netz oder Rechner nicht erreichbar";
      break;
    case OpenProblem::TimedOut:
      what = "keine Antwort innerhalb von 15 Sekunden";
      break;
    case OpenProblem::ClosedEarly:
      what = "Verbindung vom Server ohne Meldung geschlossen";
      break;
    case OpenProblem::Failed:
      what = "Verbindung fehlgeschlagen";
      break;
    case OpenProblem::None:
      return "";
  }
  return "Server " + shownText(settings.mailSmtp) + ", Port " + std::to_string(port) + ": " + what;
}

// One line for each recipient the server refused: the mail went to the
// others, and whoever reads the log learns which address needs a look.
void reportRefusedRecipients(const RunSettings& settings, const std::string& token) {
  for (const RecipientRefusal& refusal : lastRecipientRefusals()) {
    report(ERR, nativeText("E-Mail-Empfänger ") + shownText(refusal.address) + " vom Server " +
                    (refusal.temporary ? nativeText("vorübergehend") : "dauerhaft") +
                    " abgelehnt,Servermeldung: " + shownServerLine(settings, refusal.line, token));
  }
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
      return nativeText(
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
// either part and never markup. Its control characters are shown the same
// way in both parts, so a CR or LF in a name cannot start a line of its own.
MailBody notificationBody(const RunSettings& settings) {
  const std::string& configured = settings.mailBody;
  const std::string file = shownText(settings.currentFile);
  size_t html = configured.find("<html>");
  if (html == std::string::npos) return MailBody(configured + "\r" + fileTooOldText(file));
  return MailBody::withHtml(configured.substr(0, html),
                            configured.substr(html) + "\r" + fileTooOldText(htmlEscaped(file)));
}

// The run's access token, asked once; nullptr (and the report) when there is
// none. No mail of the run then opens a connection.
const std::string* runToken(const RunSettings& settings, const std::string& route) {
  const bool firstAsk = !runTokenAsked();
  const TokenAnswer& answer = tokenForRun(tokenRequestOf(settings));
  if (answer.obtained) {
    if (firstAsk) writeLog(LOG, "Token von " + settings.mailOAuthTokenUrl + " erhalten");
    return &answer.token;
  }
  report(ERR, "E-Mail konnte nicht an " + route +
                  " versendet werden. Status: " + std::to_string(kTokenFailureStatus) +
                  ",Token-Anforderung an " + settings.mailOAuthTokenUrl +
                  " fehlgeschlagen: " + tokenFailureText(answer, [&](const std::string& text) {
                    return masked(settings, text);
                  }));
  return nullptr;
}

}  // namespace

void sendMailNotification() {
  const RunSettings& settings = runSettings();
  writeLog(LOG, "E-Mail Nachricht wird erstellt");
  const std::string route = settings.mailTo + nativeText(" über ") + settings.mailSmtp;
  const bool withToken = mailAuthOf(settings.mailAuth) == MailAuth::XOAuth2;
  const std::string* token = withToken ? runToken(settings, route) : nullptr;
  if (withToken && token == nullptr) return;
  int port = low32(readNumber(settings.mailPort));
  SmtpSecurity security = SmtpSecurity::None;
  smtpSecurityFromText(settings.mailSecurity, security);  // the pre-check refused any other
  setGreetingName(settings.mailHelo);
  int status = openSmtpConnection(settings.mailSmtp, port, security, settings.mailCaFile);
  if (status == kTlsFailedStatus) return reportTlsFailure(settings, route);
  if (status != 1) {
    // A refused connection stays with the transport; only QUIT may end it.
    // Without a line of this connection the report says what happened.
    std::string line = serverLine(settings, token ? *token : "");
    if (line.empty()) line = openProblemText(settings, port);
    report(ERR, nativeText("Öffnen der SMTP-Verbindung fehlgeschlagen mit der Meldung: ") + line);
    return;
  }
  if (withToken) {
    status = sendMailWithToken(settings.mailTo, settings.mailFrom, settings.mailSubject,
                               notificationBody(settings), settings.mailUser, *token);
  } else {
    status = sendMail(settings.mailTo, settings.mailFrom, settings.mailSubject,
                      notificationBody(settings), settings.mailUser, settings.mailPassword);
  }
  reportRefusedRecipients(settings, token ? *token : "");
  if (status == 1) {
    report(LOG, "E-Mail wurde mit Status: " + std::to_string(status) + " an " + route +
                    (connectionUsesTls() ? nativeText(" per TLS verschlüsselt versendet")
                                         : " versendet"));
  } else if (status == kTlsFailedStatus) {
    reportTlsFailure(settings, route);
  } else {
    std::string loginError = withToken ? lastLoginErrorStatus() : "";
    report(ERR, "E-Mail konnte nicht an " + route +
                    " versendet werden. Status: " + std::to_string(status) +
                    ",Servermeldung: " + serverLine(settings, token ? *token : "") +
                    (loginError.empty() ? "" : ",XOAUTH2-Status: " + loginError));
  }
  closeSmtpConnection();
}

}  // namespace veltrum
