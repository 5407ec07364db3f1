#include "platform/TlsCalls.h"

#include <dlfcn.h>

#include <optional>

namespace {

// The soname of OpenSSL 3, whose libcrypto comes in as its dependency.
constexpr char kLibraryName[] = "libssl.so.3";

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

bool resolveAll(void* library, TlsCalls& calls) {
  return resolve(library, "TLS_client_method", calls.clientMethod) &&
         resolve(library, "SSL_CTX_new", calls.contextNew) &&
         resolve(library, "SSL_CTX_free", calls.contextFree) &&
         resolve(library, "SSL_CTX_ctrl", calls.contextControl) &&
         resolve(library, "SSL_CTX_set_options", calls.contextSetOptions) &&
         resolve(library, "SSL_CTX_set_verify", calls.contextSetVerify) &&
         resolve(library, "SSL_CTX_set_default_verify_paths", calls.contextSetDefaultVerifyPaths) &&
         resolve(library, "SSL_new", calls.sessionNew) && resolve(library, "SSL_free", calls.sessionFree) &&
         resolve(library, "SSL_set_fd", calls.setDescriptor) && resolve(library, "SSL_ctrl", calls.control) &&
         resolve(library, "SSL_set1_host", calls.setHost) &&
         resolve(library, "SSL_get0_param", calls.verifyParameters) &&
         resolve(library, "X509_VERIFY_PARAM_set1_ip_asc", calls.setAddress) &&
         resolve(library, "SSL_connect", calls.connect) && resolve(library, "SSL_read", calls.read) &&
         resolve(library, "SSL_write", calls.write) && resolve(library, "SSL_get_error", calls.error) &&
         resolve(library, "SSL_shutdown", calls.shutdown) &&
         resolve(library, "SSL_get_verify_result", calls.verifyResult) &&
         resolve(library, "SSL_has_pending", calls.hasPending) &&
         resolve(library, "X509_verify_cert_error_string", calls.verifyErrorText) &&
         resolve(library, "ERR_get_error", calls.nextError) &&
         resolve(library, "ERR_clear_error", calls.clearErrors) &&
         resolve(library, "ERR_error_string_n", calls.errorText);
}

std::optional<TlsCalls> openTls() {
  void* library = ::dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  TlsCalls calls;
  if (resolveAll(library, calls)) return calls;
  ::dlclose(library);
  return std::nullopt;
}

}  // namespace

const TlsCalls* tlsCalls() {
  // Set once, by whichever thread connects first, and never changed after.
  static const std::optional<TlsCalls> calls = openTls();
  return calls ? &*calls : nullptr;
}
