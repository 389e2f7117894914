#include "com/classtable.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "com/registry.h"

namespace qel::com {

namespace {

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

ClassTable& ClassTable::Instance() {
  static ClassTable table;
  return table;
}

void ClassTable::Register(ClassInfo info) {
  std::lock_guard lock(mutex_);
  for (ClassInfo& c : classes_) {
    if (c.clsid == info.clsid) {
      c = std::move(info);
      return;
    }
  }
  classes_.push_back(std::move(info));
}

void ClassTable::Unregister(REFCLSID clsid) {
  std::lock_guard lock(mutex_);
  std::erase_if(classes_, [&](const ClassInfo& c) { return c.clsid == clsid; });
}

std::optional<ClassInfo> ClassTable::Find(REFCLSID clsid) const {
  std::lock_guard lock(mutex_);
  for (const ClassInfo& c : classes_)
    if (c.clsid == clsid) return c;
  return std::nullopt;
}

std::optional<CLSID> ClassTable::FromProgId(std::string_view progId) const {
  std::lock_guard lock(mutex_);
  for (const ClassInfo& c : classes_)
    if (SameText(c.progId, progId) || SameText(c.versionIndependentProgId, progId)) return c.clsid;
  return std::nullopt;
}

void* ClassTable::FactoryEntryFor(REFCLSID clsid) const {
  std::lock_guard lock(mutex_);
  for (const auto& [c, entry] : moduleFactories_)
    if (c == clsid) return entry;
  return nullptr;
}

std::vector<ClassInfo> ClassTable::All() const {
  std::lock_guard lock(mutex_);
  return classes_;
}

void ClassTable::RegisterInterface(const DispTable& table) {
  std::lock_guard lock(mutex_);
  for (const DispTable*& t : interfaces_) {
    if (t->iid == table.iid) {
      t = &table;
      return;
    }
  }
  interfaces_.push_back(&table);
}

const DispTable* ClassTable::FindInterface(REFIID iid) const {
  std::lock_guard lock(mutex_);
  for (const DispTable* t : interfaces_)
    if (t->iid == iid) return t;
  return nullptr;
}

void RegisterModuleClasses(std::span<const ClassDescription> classes,
                           std::span<const ClassCreator> creators) {
  for (const ClassDescription& c : classes) {
    CreateFn create = nullptr;
    for (const ClassCreator& creator : creators)
      if (creator.name == c.name) create = creator.create;
    ClassTable::Instance().Register(ClassInfo{
        .clsid = c.clsid,
        .name = c.name,
        .progId = c.progId,
        .versionIndependentProgId = c.independentProgId,
        .description = c.description,
        .defaultInterface = c.defaultInterface,
        .defaultSource = c.defaultSource,
        .control = c.control,
        .create = create,
    });
  }
}

std::vector<std::string> ClassTable::ComponentFolders() const {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("QEL_COMPONENT_PATH"); path && *path) {
    std::string all = path;
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(':', start);
      if (end == std::string::npos) end = all.size();
      if (end > start) folders.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    return folders;
  }
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CoCreateInstance), &info) && info.dli_fname)
    folders.push_back(
        (std::filesystem::path(info.dli_fname).parent_path() / "qel-components").string());
  return folders;
}

namespace {
using GetClassObjectFn = HRESULT (*)(const CLSID*, const IID*, void**);

// Creation through a module's class factory, for modules that do not register
// their classes themselves.
HRESULT CreateThroughFactory(void* entry, REFCLSID clsid, REFIID iid, void** object) {
  ComPtr<IClassFactory> factory;
  HRESULT hr =
      reinterpret_cast<GetClassObjectFn>(entry)(&clsid, &IClassFactory::kIID, factory.OutVoid());
  if (Failed(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}
}  // namespace

bool ClassTable::LoadModule(const std::string& path, REFCLSID wanted) {
  {
    std::lock_guard lock(mutex_);
    if (std::find(loadedModules_.begin(), loadedModules_.end(), path) != loadedModules_.end())
      return false;
    loadedModules_.push_back(path);
  }
  // Loading runs the module's initialisers, which register into this table:
  // the lock must not be held here.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  if (Find(wanted)) return true;
  if (void* entry = dlsym(handle, "DllGetClassObject")) {
    ComPtr<IClassFactory> factory;
    if (Succeeded(reinterpret_cast<GetClassObjectFn>(entry)(&wanted, &IClassFactory::kIID,
                                                            factory.OutVoid()))) {
      std::lock_guard lock(mutex_);
      moduleFactories_.emplace_back(wanted, entry);
      return true;
    }
  }
  return false;
}

std::optional<ClassInfo> ClassTable::FindOrLoad(REFCLSID clsid) {
  if (auto found = Find(clsid)) return found;
  RegistryFile registry(RegistryFile::DefaultPath());
  if (registry.Load()) {
    auto server = registry.GetValue(
        "HKEY_CLASSES_ROOT\\CLSID\\" + FormatGuid(clsid) + "\\InprocServer32", "");
    if (server && !server->empty()) LoadModule(*server, clsid);
  }
  if (auto found = Find(clsid)) return found;
  for (const std::string& folder : ComponentFolders()) {
    std::error_code ec;
    std::vector<std::string> modules;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
      if (entry.path().extension() == ".so") modules.push_back(entry.path().string());
    std::sort(modules.begin(), modules.end());
    for (const std::string& module : modules) {
      LoadModule(module, clsid);
      if (auto found = Find(clsid)) return found;
    }
  }
  return Find(clsid);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  auto& table = ClassTable::Instance();
  auto info = table.FindOrLoad(clsid);
  if (!info) {
    if (void* entry = table.FactoryEntryFor(clsid))
      return CreateThroughFactory(entry, clsid, iid, object);
  }
  if (!info) return REGDB_E_CLASSNOTREG;
  if (!info->create) return CLASS_E_CLASSNOTAVAILABLE;
  return info->create(iid, object);
}

HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid) {
  if (!text || !clsid) return E_POINTER;
  auto g = ParseGuid(Utf16ToUtf8(text));
  if (!g) return CO_E_CLASSSTRING;
  *clsid = *g;
  return S_OK;
}

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid) {
  if (!progId || !clsid) return E_POINTER;
  const std::string name = Utf16ToUtf8(progId);
  auto found = ClassTable::Instance().FromProgId(name);
  if (!found) {
    // A ProgID of a component not loaded yet: the registration file names its class.
    RegistryFile registry(RegistryFile::DefaultPath());
    if (registry.Load()) {
      if (auto text = registry.GetValue("HKEY_CLASSES_ROOT\\" + name + "\\CLSID", ""))
        if (auto g = ParseGuid(*text)) found = *g;
    }
  }
  if (!found) return CO_E_CLASSSTRING;
  *clsid = *found;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, BSTR* progId) {
  if (!progId) return E_POINTER;
  *progId = nullptr;
  auto info = ClassTable::Instance().Find(clsid);
  if (!info) return REGDB_E_CLASSNOTREG;
  *progId = Bstr::FromUtf8(info->progId).Detach();
  return S_OK;
}

HRESULT GetInterfaceTypeInfo(REFIID iid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  const DispTable* table = ClassTable::Instance().FindInterface(iid);
  if (!table) return TYPE_E_ELEMENTNOTFOUND;
  return TableTypeInfo(*table, info);
}

}  // namespace qel::com
