#include "platform/net/ssl_library_posix.h"

#include <dlfcn.h>

namespace veltrum {

namespace {

// The file names carry the major version: another one has another ABI.
constexpr const char* kSslFile = "libssl.so.3";
constexpr const char* kCryptoFile = "libcrypto.so.3";

template <typename Pointer>
bool resolve(void* library, const char* name, Pointer& pointer) {
  pointer = reinterpret_cast<Pointer>(dlsym(library, name));
  return pointer != nullptr;
}

bool load(SslLibrary& functions) {
  // Kept loaded for the rest of the run: its state outlives each channel.
  void* ssl = dlopen(kSslFile, RTLD_NOW | RTLD_LOCAL);
  void* crypto = dlopen(kCryptoFile, RTLD_NOW | RTLD_LOCAL);
  if (ssl == nullptr || crypto == nullptr) return false;
  bool complete = true;
#define VELTRUM_SSL_RESOLVE(name) complete = resolve(ssl, #name, functions.name) && complete;
#define VELTRUM_CRYPTO_RESOLVE(name) complete = resolve(crypto, #name, functions.name) && complete;
  VELTRUM_SSL_FUNCTIONS(VELTRUM_SSL_RESOLVE)
  VELTRUM_CRYPTO_FUNCTIONS(VELTRUM_CRYPTO_RESOLVE)
#undef VELTRUM_SSL_RESOLVE
#undef VELTRUM_CRYPTO_RESOLVE
  return complete;
}

}  // namespace

const SslLibrary* sslLibrary() {
  static SslLibrary functions;
  static const bool loaded = load(functions);
  return loaded ? &functions : nullptr;
}

}  // namespace veltrum
