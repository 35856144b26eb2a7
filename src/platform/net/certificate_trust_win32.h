// Whether a server certificate may be trusted on Windows: its chain ends in
// a root of the system's store or in a certificate of a PEM file, and it
// names the host. For the Windows TLS code only (Schannel, WinHTTP), which
// take verification into their own hands.
#pragma once

#include <windows.h>
//
#include <wincrypt.h>

#include <string>
#include <vector>

namespace veltrum {

// The certificates of a PEM file in a memory store, or nullptr when the file
// cannot be read or holds no certificate; `detail` says why then. The caller
// closes the store (CertCloseStore).
HCERTSTORE loadPemCertificates(const std::string& path, std::string& detail);

enum class TrustVerdict {
  Trusted,
  Untrusted,  // no chain to a trusted certificate: unknown issuer, expired,
              // bad signature, not for servers
  WrongName,  // trusted, but the certificate does not name the host
};

// Checks `certificate` (its store holds what the server sent along) for
// `hostName`, a DNS name or an IPv4/IPv6 address. `extraAnchors` (may be
// nullptr) holds certificates trusted besides the system's roots; a chain
// that ends in one of them counts as trusted. `detail` gets a short ASCII
// reason for a verdict other than Trusted. Windows fetches roots it does not
// hold yet (and issuers a server left out) over the network while it builds
// the chain; that takes at most `fetchMilliseconds`.
TrustVerdict verifyServerCertificate(PCCERT_CONTEXT certificate, const std::string& hostName,
                                     HCERTSTORE extraAnchors, int fetchMilliseconds,
                                     std::string& detail);

// True when `host` is an IPv4 or IPv6 address (brackets allowed), not a name.
bool isAddress(const std::string& host);

// The dNSName entries of an encoded subject alternative name extension, in
// their order; a name holding a NUL or a letter other than ASCII is given
// empty, so it never matches. Damaged encoding ends the list.
std::vector<std::string> dnsNamesOf(const CRYPT_DATA_BLOB& extension);

// RFC 6125 matching of one DNS name of a certificate against the host name
// asked for: letter case ignored, a trailing dot ignored, "*" only as the
// whole left-most label and never above a name of two labels.
bool dnsNameMatches(const std::string& pattern, const std::string& hostName);

}  // namespace veltrum
