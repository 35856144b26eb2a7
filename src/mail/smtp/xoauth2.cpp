#include "mail/smtp/xoauth2.h"

#include <nlohmann/json.hpp>

#include "mail/message/base64.h"

namespace veltrum {

namespace {

constexpr size_t kStatusLimit = 40;

std::string visibleAscii(const std::string& text) {
  std::string kept;
  for (char c : text) {
    if (c >= 0x20 && c <= 0x7E && kept.size() < kStatusLimit) kept += c;
  }
  return kept;
}

}  // namespace

std::string xoauth2LoginText(const std::string& user, const std::string& token) {
  return base64EncodeText("user=" + user + "\x01" + "auth=Bearer " + token + "\x01\x01");
}

std::string xoauth2ErrorStatus(const std::string& replyLine) {
  if (replyLine.compare(0, 4, "334 ") != 0) return "";
  std::string encoded = replyLine.substr(4);
  encoded.erase(encoded.find_last_not_of(" \t") + 1);
  std::string decoded;
  if (!base64DecodeText(encoded, decoded)) return "";
  nlohmann::json error = nlohmann::json::parse(decoded, nullptr, false);
  if (error.is_discarded() || !error.is_object()) return "";
  auto status = error.find("status");
  if (status == error.end()) return "";
  // Servers send it as a text ("400"), some as a number.
  if (status->is_string()) return visibleAscii(status->get<std::string>());
  if (status->is_number_integer()) return std::to_string(status->get<long long>());
  return "";
}

}  // namespace veltrum
