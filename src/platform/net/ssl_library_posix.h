// OpenSSL, loaded when the first mail asks for TLS. Linked at build time, the
// two libraries cost every start of the program about 4 ms of CPU (their
// loading and relocation), also the many runs that send no mail at all.
#pragma once

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace veltrum {

// Each function of the libraries that the TLS channel calls (and the HTTPS
// client, which adds the CA file to libcurl's store).
#define VELTRUM_SSL_FUNCTIONS(F)      \
  F(TLS_client_method)                \
  F(SSL_CTX_new)                      \
  F(SSL_CTX_free)                     \
  F(SSL_CTX_ctrl)                     \
  F(SSL_CTX_set_default_verify_paths) \
  F(SSL_CTX_load_verify_dir)          \
  F(SSL_CTX_load_verify_file)         \
  F(SSL_CTX_set_verify)               \
  F(SSL_new)                          \
  F(SSL_free)                         \
  F(SSL_set_bio)                      \
  F(SSL_get0_param)                   \
  F(SSL_ctrl)                         \
  F(SSL_connect)                      \
  F(SSL_get_error)                    \
  F(SSL_get_verify_result)            \
  F(SSL_peek)                         \
  F(SSL_read)                         \
  F(SSL_write)                        \
  F(SSL_shutdown)                     \
  F(SSL_CTX_get_cert_store)

#define VELTRUM_CRYPTO_FUNCTIONS(F)  \
  F(ERR_peek_last_error)             \
  F(ERR_reason_error_string)         \
  F(ERR_clear_error)                 \
  F(X509_verify_cert_error_string)   \
  F(BIO_new)                         \
  F(BIO_s_mem)                       \
  F(BIO_free)                        \
  F(BIO_read)                        \
  F(BIO_write)                       \
  F(BIO_ctrl)                        \
  F(BIO_new_file)                    \
  F(PEM_read_bio_X509)               \
  F(X509_free)                       \
  F(X509_VERIFY_PARAM_set_hostflags) \
  F(X509_VERIFY_PARAM_set1_ip_asc)   \
  F(X509_VERIFY_PARAM_set1_host)     \
  F(X509_get_default_cert_dir_env)   \
  F(X509_get_default_cert_dir)       \
  F(X509_get_default_cert_file_env)  \
  F(X509_STORE_add_cert)

struct SslLibrary {
#define VELTRUM_SSL_POINTER(name) decltype(&::name) name = nullptr;
  VELTRUM_SSL_FUNCTIONS(VELTRUM_SSL_POINTER)
  VELTRUM_CRYPTO_FUNCTIONS(VELTRUM_SSL_POINTER)
#undef VELTRUM_SSL_POINTER
};

// The loaded functions, or nullptr when the libraries (OpenSSL 3) are not
// installed or lack one of them. Loads once; later calls give the same.
const SslLibrary* sslLibrary();

}  // namespace veltrum
