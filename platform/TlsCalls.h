// libssl, opened on the first https connection rather than at every start: a
// program that never leaves plain HTTP does not pay the megabyte that libssl
// and libcrypto take once they are loaded. The headers only lend the types.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

struct TlsCalls {
  decltype(&TLS_client_method) clientMethod = nullptr;
  decltype(&SSL_CTX_new) contextNew = nullptr;
  decltype(&SSL_CTX_free) contextFree = nullptr;
  decltype(&SSL_CTX_ctrl) contextControl = nullptr;
  decltype(&SSL_CTX_set_options) contextSetOptions = nullptr;
  decltype(&SSL_CTX_set_verify) contextSetVerify = nullptr;
  decltype(&SSL_CTX_set_default_verify_paths) contextSetDefaultVerifyPaths = nullptr;
  decltype(&SSL_new) sessionNew = nullptr;
  decltype(&SSL_free) sessionFree = nullptr;
  decltype(&SSL_set_fd) setDescriptor = nullptr;
  decltype(&SSL_ctrl) control = nullptr;
  decltype(&SSL_set1_host) setHost = nullptr;
  decltype(&SSL_get0_param) verifyParameters = nullptr;
  decltype(&X509_VERIFY_PARAM_set1_ip_asc) setAddress = nullptr;
  decltype(&SSL_connect) connect = nullptr;
  decltype(&SSL_read) read = nullptr;
  decltype(&SSL_write) write = nullptr;
  decltype(&SSL_get_error) error = nullptr;
  decltype(&SSL_shutdown) shutdown = nullptr;
  decltype(&SSL_get_verify_result) verifyResult = nullptr;
  decltype(&SSL_has_pending) hasPending = nullptr;
  decltype(&X509_verify_cert_error_string) verifyErrorText = nullptr;
  decltype(&ERR_get_error) nextError = nullptr;
  decltype(&ERR_clear_error) clearErrors = nullptr;
  decltype(&ERR_error_string_n) errorText = nullptr;
};

// The library's functions, opened on the first call and kept for the
// program's life; nullptr when the library cannot be opened.
const TlsCalls* tlsCalls();
