// The one record of run parameters, read and (where named) written by every
// part of a run. All fields are 8-bit texts in the platform's encoding.
#pragma once

#include <string>

namespace veltrum {

struct RunSettings {
  std::string filePattern;
  std::string currentFile;
  std::string minutes;
  std::string warnMinutes;  // /w, read by the action "check" only; "" when not given
  std::string action;
  std::string dateMode = "create";
  std::string paramStatus = "Ok";
  std::string mailSmtp;
  std::string mailUser;
  std::string mailPassword;
  std::string mailPort;
  std::string mailFrom;
  std::string mailTo;
  std::string mailSubject;
  std::string mailBody;
  std::string mailSecurity;       // none (empty), starttls or tls
  std::string mailCaFile;         // extra certificates to trust, PEM
  std::string mailAuth;           // login (empty) or xoauth2
  std::string mailOAuthTokenUrl;  // the token endpoint of xoauth2
  std::string mailOAuthClientId;
  std::string mailOAuthScope;
  std::string mailHelo;  // the greeting name; "Mailwerk" when empty
  std::string exec;
  std::string execParam;
  std::string quillboxDir;
  std::string recursive;
  std::string breakIfLocated = "0";
  std::string metricsDir;  // the folder of the job's metrics file; "" writes none
  std::string logPath;
  std::string confPath;
};

// The settings of this run.
RunSettings& runSettings();

// Derives the program directory + name with every ".exe" of the name
// replaced by `extension` (".log", ".conf"); a name without ".exe" gets the
// extension appended, so the log is never the program file itself.
std::string derivedPath(const std::string& programPath, const std::string& extension);

}  // namespace veltrum
