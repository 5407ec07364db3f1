#include "platform/TlsCalls.h"

#include "platform/LibraryCalls.h"

namespace {

// The soname of OpenSSL 3, whose libcrypto comes in as its dependency.
constexpr char kLibraryName[] = "libssl.so.3";

bool resolveAll(void* library, TlsCalls& calls) {
  return resolveCall(library, "TLS_client_method", calls.clientMethod) &&
         resolveCall(library, "SSL_CTX_new", calls.contextNew) &&
         resolveCall(library, "SSL_CTX_free", calls.contextFree) &&
         resolveCall(library, "SSL_CTX_ctrl", calls.contextControl) &&
         resolveCall(library, "SSL_CTX_set_options", calls.contextSetOptions) &&
         resolveCall(library, "SSL_CTX_set_verify", calls.contextSetVerify) &&
         resolveCall(library, "SSL_CTX_set_default_verify_paths", calls.contextSetDefaultVerifyPaths) &&
         resolveCall(library, "SSL_new", calls.sessionNew) &&
         resolveCall(library, "SSL_free", calls.sessionFree) &&
         resolveCall(library, "SSL_set_fd", calls.setDescriptor) &&
         resolveCall(library, "SSL_ctrl", calls.control) &&
         resolveCall(library, "SSL_set1_host", calls.setHost) &&
         resolveCall(library, "SSL_get0_param", calls.verifyParameters) &&
         resolveCall(library, "X509_VERIFY_PARAM_set1_ip_asc", calls.setAddress) &&
         resolveCall(library, "SSL_connect", calls.connect) && resolveCall(library, "SSL_read", calls.read) &&
         resolveCall(library, "SSL_write", calls.write) &&
         resolveCall(library, "SSL_get_error", calls.error) &&
         resolveCall(library, "SSL_shutdown", calls.shutdown) &&
         resolveCall(library, "SSL_get_verify_result", calls.verifyResult) &&
         resolveCall(library, "SSL_has_pending", calls.hasPending) &&
         resolveCall(library, "X509_verify_cert_error_string", calls.verifyErrorText) &&
         resolveCall(library, "ERR_get_error", calls.nextError) &&
         resolveCall(library, "ERR_clear_error", calls.clearErrors) &&
         resolveCall(library, "ERR_error_string_n", calls.errorText);
}

}  // namespace

const TlsCalls* tlsCalls() {
  // Set once, by whichever thread connects first, and never changed after.
  static const std::optional<TlsCalls> calls = openLibraryCalls<TlsCalls>(kLibraryName, resolveAll);
  return calls ? &*calls : nullptr;
}
