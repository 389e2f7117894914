#include "shared_library.h"

#include <dlfcn.h>

namespace qel::plugins {

std::shared_ptr<SharedLibrary> SharedLibrary::Open(const std::filesystem::path& file,
                                                   std::string& error) {
  // RTLD_LOCAL: plug-ins built from the same sources often export the same
  // names, and must not resolve to each other's.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* message = dlerror();
    error = message ? message : "cannot load " + file.string();
    return nullptr;
  }
  return std::make_shared<SharedLibrary>(Key(), handle);
}

SharedLibrary::~SharedLibrary() {
  dlclose(handle_);
}

void* SharedLibrary::Symbol(const char* name) const {
  return dlsym(handle_, name);
}

}  // namespace qel::plugins
