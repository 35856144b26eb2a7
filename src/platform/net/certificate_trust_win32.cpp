// Chain building with the crypt32 chain engine, and a host name match of our
// own: the SSL policy of the chain engine differs between Windows versions
// (and Wine) on IP addresses and wildcards, and OpenSSL on the other
// platform follows RFC 6125; one matcher keeps both platforms alike.
// The chain parameters with the time limit for fetching.
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
// winsock2.h must come before windows.h.
#include <winsock2.h>
//
#include <ws2tcpip.h>
//
#include "platform/core/system_path_win32.h"
#include "platform/net/certificate_trust_win32.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace veltrum {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// A bundle of every public root is about 200 KB; more is no CA file.
constexpr DWORD kLargestCaFile = 8 * 1024 * 1024;

bool readWholeFile(const std::string& path, std::string& bytes, std::string& detail) {
  std::wstring wide;
  const DWORD attributes =
      systemPath(path, &wide) ? GetFileAttributesW(wide.c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    detail = "CA file not found";
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    detail = "CA file is a folder";
    return false;
  }
  HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    detail = "CA file cannot be read";
    return false;
  }
  LARGE_INTEGER size = {};
  bool good = GetFileSizeEx(file, &size) != 0 && size.QuadPart <= kLargestCaFile &&
              GetFileType(file) == FILE_TYPE_DISK;
  if (good) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    good = bytes.empty() ||
           (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) != 0 &&
            got == bytes.size());
  }
  CloseHandle(file);
  if (!good) detail = "CA file cannot be read";
  return good;
}

// One PEM block, markers included, into the store; false when its contents
// are no certificate.
bool addPemCertificate(HCERTSTORE store, const std::string& block) {
  DWORD size = 0;
  if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                            CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
      size == 0) {
    return false;
  }
  std::vector<BYTE> der(size);
  if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()),
                            CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr)) {
    return false;
  }
  return CertAddEncodedCertificateToStore(store, kEncoding, der.data(), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != 0;
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string withoutTrailingDot(std::string name) {
  if (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

// The length of a DER element's contents at `at` (its tag already passed),
// moving `at` past the length octets; false when it runs past `end`.
bool derLength(const BYTE*& at, const BYTE* end, size_t* length) {
  if (at >= end) return false;
  const BYTE first = *at++;
  if (first < 0x80) {
    *length = first;
  } else {
    const int octets = first & 0x7f;
    if (octets == 0 || octets > 4 || end - at < octets) return false;
    *length = 0;
    for (int i = 0; i < octets; ++i) *length = (*length << 8) | *at++;
  }
  return *length <= static_cast<size_t>(end - at);
}

// The host as address bytes (4 or 16) when it is an IPv4 or IPv6 address.
std::vector<BYTE> addressBytes(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  in_addr v4 = {};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&v4);
    return {bytes, bytes + 4};
  }
  in6_addr v6 = {};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&v6);
    return {bytes, bytes + 16};
  }
  return {};
}

bool namesHost(PCCERT_CONTEXT certificate, const std::string& hostName) {
  const std::vector<BYTE> address = addressBytes(hostName);
  bool sawDnsName = false;
  bool matched = false;
  PCERT_EXTENSION extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, certificate->pCertInfo->cExtension,
                        certificate->pCertInfo->rgExtension);
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (extension != nullptr &&
      CryptDecodeObjectEx(kEncoding, X509_ALTERNATE_NAME, extension->Value.pbData,
                          extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                          &size)) {
    for (const std::string& name : dnsNamesOf(extension->Value)) {
      sawDnsName = true;
      matched = matched || (address.empty() && dnsNameMatches(name, hostName));
    }
    for (DWORD i = 0; i < names->cAltEntry && !matched; ++i) {
      const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
      if (entry.dwAltNameChoice == CERT_ALT_NAME_DNS_NAME) {
        sawDnsName = true;
      } else if (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS) {
        matched = !address.empty() && entry.IPAddress.cbData == address.size() &&
                  std::equal(address.begin(), address.end(), entry.IPAddress.pbData);
      }
    }
    LocalFree(names);
  }
  if (matched || sawDnsName || !address.empty()) return matched;
  // Without any DNS name the common name stands for one, as OpenSSL has it.
  char common[256] = {};
  CertGetNameStringA(certificate, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_COMMON_NAME),
                     common, sizeof common);
  return dnsNameMatches(common, hostName);
}

// True when the last certificate of the chain is one of `anchors`, byte for
// byte. Looking it up as an existing certificate compares only issuer and
// serial under Wine, both public: a root of the same name and serial with
// another key would pass.
bool endsInAnchor(const CERT_SIMPLE_CHAIN& chain, HCERTSTORE anchors) {
  if (anchors == nullptr || chain.cElement == 0) return false;
  PCCERT_CONTEXT last = chain.rgpElement[chain.cElement - 1]->pCertContext;
  bool same = false;
  PCCERT_CONTEXT anchor = nullptr;
  while (!same && (anchor = CertEnumCertificatesInStore(anchors, anchor)) != nullptr) {
    same = anchor->cbCertEncoded == last->cbCertEncoded &&
           std::equal(last->pbCertEncoded, last->pbCertEncoded + last->cbCertEncoded,
                      anchor->pbCertEncoded);
  }
  if (anchor != nullptr) CertFreeCertificateContext(anchor);
  return same;
}

std::string describeChainError(DWORD status) {
  if (status & CERT_TRUST_IS_NOT_TIME_VALID) return "certificate expired or not yet valid";
  if (status & CERT_TRUST_IS_REVOKED) return "certificate revoked";
  if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "bad signature in the chain";
  if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return "certificate not for servers";
  if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN)) {
    return "issuer not trusted";
  }
  char text[48];
  std::snprintf(text, sizeof text, "chain not trusted (0x%08lx)", status);
  return text;
}

}  // namespace

// The decoded form of a name ends at its first NUL, so "mail.example.com\0.x"
// would match as its prefix: the names are read from the encoding, with
// their length.
std::vector<std::string> dnsNamesOf(const CRYPT_DATA_BLOB& extension) {
  std::vector<std::string> names;
  const BYTE* at = extension.pbData;
  const BYTE* end = at + extension.cbData;
  size_t length = 0;
  if (at >= end || *at++ != 0x30 || !derLength(at, end, &length)) return names;
  end = at + length;
  while (at < end) {
    const BYTE tag = *at++;
    if (!derLength(at, end, &length)) break;
    if (tag == 0x82) {  // [2] IA5String dNSName
      std::string name(reinterpret_cast<const char*>(at), length);
      const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return c != 0 && static_cast<unsigned char>(c) < 128;
      });
      names.push_back(plain ? name : std::string());
    }
    at += length;
  }
  return names;
}

HCERTSTORE loadPemCertificates(const std::string& path, std::string& detail) {
  std::string bytes;
  if (!readWholeFile(path, bytes, detail)) return nullptr;
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (store == nullptr) {
    detail = "no certificate store";
    return nullptr;
  }
  static const std::string kBegin = "-----BEGIN CERTIFICATE-----";
  static const std::string kEnd = "-----END CERTIFICATE-----";
  int count = 0;
  for (size_t begin = bytes.find(kBegin); begin != std::string::npos;
       begin = bytes.find(kBegin, begin + kBegin.size())) {
    const size_t end = bytes.find(kEnd, begin + kBegin.size());
    if (end == std::string::npos ||
        !addPemCertificate(store, bytes.substr(begin, end + kEnd.size() - begin))) {
      detail = "damaged certificate in the CA file";
      CertCloseStore(store, 0);
      return nullptr;
    }
    ++count;
  }
  if (count == 0) {
    detail = "no PEM certificate in the CA file";
    CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

TrustVerdict verifyServerCertificate(PCCERT_CONTEXT certificate, const std::string& hostName,
                                     HCERTSTORE extraAnchors, int fetchMilliseconds,
                                     std::string& detail) {
  // What the server sent along, and the extra anchors, as one store the
  // chain engine may take issuers from.
  HCERTSTORE candidates = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (candidates == nullptr) {
    detail = "no certificate store";
    return TrustVerdict::Untrusted;
  }
  if (certificate->hCertStore != nullptr) {
    CertAddStoreToCollection(candidates, certificate->hCertStore, 0, 0);
  }
  if (extraAnchors != nullptr) CertAddStoreToCollection(candidates, extraAnchors, 0, 0);

  static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  char* usages[] = {serverAuth};
  CERT_CHAIN_PARA parameters = {};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  parameters.dwUrlRetrievalTimeout =
      static_cast<DWORD>(fetchMilliseconds > 0 ? fetchMilliseconds : 1);
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  const bool built = CertGetCertificateChain(nullptr, certificate, nullptr, candidates, &parameters,
                                             0, nullptr, &chain) != 0;
  CertCloseStore(candidates, 0);
  if (!built || chain == nullptr || chain->cChain == 0) {
    if (chain != nullptr) CertFreeCertificateChain(chain);
    detail = "no certificate chain";
    return TrustVerdict::Untrusted;
  }

  DWORD status = chain->TrustStatus.dwErrorStatus;
  // Revocation is not asked for; a chain that ends in a certificate of the
  // CA file is trusted though no system root vouches for it. The chain must
  // still reach a self-signed certificate (a CA file holding only an
  // intermediate leaves it partial), as OpenSSL has it on the other platform.
  status &= ~(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (endsInAnchor(*chain->rgpChain[0], extraAnchors)) status &= ~CERT_TRUST_IS_UNTRUSTED_ROOT;
  CertFreeCertificateChain(chain);
  if (status != CERT_TRUST_NO_ERROR) {
    detail = describeChainError(status);
    return TrustVerdict::Untrusted;
  }
  if (!namesHost(certificate, hostName)) {
    detail = "certificate does not name the host";
    return TrustVerdict::WrongName;
  }
  return TrustVerdict::Trusted;
}

bool isAddress(const std::string& host) {
  return !addressBytes(host).empty();
}

bool dnsNameMatches(const std::string& pattern, const std::string& hostName) {
  const std::string wanted = lowerAscii(withoutTrailingDot(pattern));
  const std::string host = lowerAscii(withoutTrailingDot(hostName));
  if (wanted.empty() || host.empty() || host.find('*') != std::string::npos) return false;
  if (wanted.compare(0, 2, "*.") != 0) return wanted == host;
  const std::string parent = wanted.substr(2);
  if (parent.find('.') == std::string::npos || parent.find('*') != std::string::npos) {
    return false;
  }
  const size_t dot = host.find('.');
  return dot != std::string::npos && dot > 0 && host.substr(dot + 1) == parent;
}

}  // namespace veltrum
