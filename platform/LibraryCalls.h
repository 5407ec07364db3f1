// A library the program opens when it first needs it rather than at start,
// and the table of its functions: opened once, kept for the program's life.
#pragma once

#include <dlfcn.h>

#include <optional>

// Looks up name in library; false when it is not there.
template <typename Function>
bool resolveCall(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

// The library's table of functions, filled by resolveAll; nothing when the
// library cannot be opened or lacks one of them.
template <typename Calls>
std::optional<Calls> openLibraryCalls(const char* soname, bool (*resolveAll)(void* library, Calls& calls)) {
  void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return std::nullopt;
  Calls calls;
  if (resolveAll(library, calls)) return calls;
  ::dlclose(library);
  return std::nullopt;
}
