// The class table: which classes can be created, by class identifier or ProgID,
// and what each one is. It is the only process-wide state of the runtime; modules
// add their classes to it when they are loaded.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "com/dispatch.h"

namespace qel::com {

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

using CreateFn = HRESULT (*)(REFIID iid, void** object);

struct ClassInfo {
  CLSID clsid;
  std::string name;                      // "AudioEditor"
  std::string progId;                    // version-dependent, "Lib.Class.1"
  std::string versionIndependentProgId;  // "Lib.Class"
  std::string description;               // "AudioEditor Class"
  IID defaultInterface;
  IID defaultSource = GUID_NULL;  // outgoing interface, GUID_NULL when none
  bool control = false;
  CreateFn create = nullptr;
};

class ClassTable {
 public:
  static ClassTable& Instance();

  void Register(ClassInfo info);
  void Unregister(REFCLSID clsid);
  std::optional<ClassInfo> Find(REFCLSID clsid) const;
  // Find, and when the class is unknown, load the modules that may serve it
  // first: the server the registration file names for it, then every module in
  // the component folders ($QEL_COMPONENT_PATH, colon separated, else the
  // "qel-components" folder beside this runtime). A loaded module adds its
  // classes to the table; one that only exports DllGetClassObject is asked
  // through it.
  std::optional<ClassInfo> FindOrLoad(REFCLSID clsid);
  // The DllGetClassObject of a loaded module that serves clsid without
  // registering it, or null.
  void* FactoryEntryFor(REFCLSID clsid) const;
  // The folders FindOrLoad searches.
  std::vector<std::string> ComponentFolders() const;
  // Either spelling of a ProgID, compared without regard to case.
  std::optional<CLSID> FromProgId(std::string_view progId) const;
  std::vector<ClassInfo> All() const;

  // Dispatch tables by interface identifier, so that a client can describe an
  // interface it only knows by identifier (an event interface, say).
  void RegisterInterface(const DispTable& table);
  const DispTable* FindInterface(REFIID iid) const;

 private:
  ClassTable() = default;
  bool LoadModule(const std::string& path, REFCLSID wanted);

  mutable std::mutex mutex_;
  std::vector<ClassInfo> classes_;
  std::vector<std::string> loadedModules_;  // modules stay loaded for the process's life
  std::vector<std::pair<CLSID, void*>> moduleFactories_;
  std::vector<const DispTable*> interfaces_;
};

// How a module creates each of its classes, by class name.
struct ClassCreator {
  std::string_view name;
  CreateFn create;
};
// Adds a module's classes to the class table: each description with the
// creator of the same name (a class without one is listed but not creatable).
void RegisterModuleClasses(std::span<const ClassDescription> classes,
                           std::span<const ClassCreator> creators);

// The usual creator: a new T, asked for iid.
template <class T>
HRESULT CreateComObject(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto obj = T::Create();
  if (!obj) return E_OUTOFMEMORY;
  return obj->QueryInterface(iid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, uint32_t context, REFIID iid,
                         void** object);
HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid);
// "{...}" to a class identifier.
HRESULT CLSIDFromString(const OLECHAR* text, CLSID* clsid);
// The version-dependent ProgID of a class.
HRESULT ProgIDFromCLSID(REFCLSID clsid, BSTR* progId);
// Type information of an interface known to the class table.
HRESULT GetInterfaceTypeInfo(REFIID iid, ITypeInfo** info);

}  // namespace qel::com
