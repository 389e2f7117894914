// qel-regsvr: registers a component module in the per-user registration file,
// or removes it with /u, by loading the module and calling its own entry point.
//
//   qel-regsvr [/u] [/s] path/to/module.so
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "com/registry.h"
#include "com/types.h"

using qel::com::HRESULT;

namespace {

constexpr const char* kUsage = "usage: qel-regsvr [/u] [/s] MODULE\n";

void PrintHelp() {
  std::printf(
      "%s\n"
      "Registers a component module (the control's libqelaudioeditor.so, say) in the\n"
      "per-user registration file, so that hosts can create its classes by class\n"
      "identifier or ProgID without linking it: loads MODULE and calls its\n"
      "DllRegisterServer (DllUnregisterServer with /u).\n"
      "\n"
      "  /u, -u       remove the module's entries instead\n"
      "  /s, -s       silent: print nothing on success\n"
      "  -h, --help   show this help\n"
      "\n"
      "The registration file is $QEL_REGISTRY_FILE, else\n"
      "~/.config/qelaudio/registry.reg (now: %s).\n"
      "Exit status: 0 done, 2 usage, 3 MODULE cannot be loaded, 4 it has no entry\n"
      "point, 5 the entry point failed.\n",
      kUsage, qel::com::RegistryFile::DefaultPath().c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  bool silent = false;
  const char* module = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help") ||
        !std::strcmp(argv[i], "/?")) {
      PrintHelp();
      return 0;
    }
    if (!std::strcmp(argv[i], "/u") || !std::strcmp(argv[i], "-u"))
      unregister = true;
    else if (!std::strcmp(argv[i], "/s") || !std::strcmp(argv[i], "-s"))
      silent = true;
    else
      module = argv[i];
  }
  if (!module) {
    std::fprintf(stderr, "%s", kUsage);
    return 2;
  }
  void* handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "qel-regsvr: cannot load %s: %s\n", module, dlerror());
    return 3;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<HRESULT (*)()>(dlsym(handle, entry));
  if (!fn) {
    std::fprintf(stderr, "qel-regsvr: %s has no %s\n", module, entry);
    return 4;
  }
  HRESULT hr = fn();
  if (qel::com::Failed(hr)) {
    std::fprintf(stderr, "qel-regsvr: %s failed with 0x%08X\n", entry, static_cast<unsigned>(hr));
    return 5;
  }
  if (!silent)
    std::printf("%s succeeded for %s (%s)\n", entry, module,
                qel::com::RegistryFile::DefaultPath().c_str());
  return 0;
}
