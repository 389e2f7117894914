// The control's module: the exported entry points a component loader and the
// registration tool call, and the registry entries the module writes.
#pragma once

#include <string>

#include "com/registry.h"
#include "com/types.h"

namespace qel {

// Writes (or removes) every registration entry of the module's classes, the
// application identifier and the type library into registry, naming
// modulePath as the server.
void WriteRegistration(com::RegistryFile& registry, const std::string& modulePath);
void RemoveRegistration(com::RegistryFile& registry);

}  // namespace qel

extern "C" {
qel::com::HRESULT DllGetClassObject(const qel::com::CLSID* clsid, const qel::com::IID* iid,
                                    void** object);
qel::com::HRESULT DllCanUnloadNow();
qel::com::HRESULT DllRegisterServer();
qel::com::HRESULT DllUnregisterServer();
}
