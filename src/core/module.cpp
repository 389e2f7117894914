#include "core/module.h"

#include <dlfcn.h>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "core/sub_objects.h"

namespace qel {

using namespace com;

namespace {

constexpr uint32_t kMiscStatus =
    131473;  // recompose on resize, inside-out, activate when visible...
// The standard proxy/stub class of automation-compatible interfaces.
constexpr const char* kAutomationProxy = "{00020424-0000-0000-C000-000000000046}";

constexpr ClassCreator kCreators[] = {
    {"AudioEditor", &CAudioEditor::CreateInstance},
    {"EditorVisualization", &CEditorVisualization::CreateInstance},
    {"EditorChannels", &CEditorChannels::CreateInstance},
    {"EditorColors", &CEditorColors::CreateInstance},
    {"EditorConvertSampleType", &CEditorConvertSampleType::CreateInstance},
    {"EditorDevice", &CEditorDevice::CreateInstance},
    {"EditorDeviceLine", &CEditorDeviceLine::CreateInstance},
    {"EditorDXTransform", &CEditorDXTransform::CreateInstance},
    {"EditorFileInfo", &CEditorFileInfo::CreateInstance},
    {"EditorMarkers", &CEditorMarkers::CreateInstance},
    {"EditorPlayback", &CEditorPlayback::CreateInstance},
    {"EditorPosition", &CEditorPosition::CreateInstance},
    {"EditorRecorder", &CEditorRecorder::CreateInstance},
    {"EditorScale", &CEditorScale::CreateInstance},
    {"EditorTransform", &CEditorTransform::CreateInstance},
    {"EditorVSTTransform", &CEditorVSTTransform::CreateInstance},
};

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
 public:
  explicit ClassFactory(CreateFn create) : create_(create) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(iid, object);
  }
  HRESULT LockServer(int32_t) override { return S_OK; }

 private:
  CreateFn create_;
};

std::string ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) && info.dli_fname)
    return info.dli_fname;
  return {};
}

std::string ClassKey(const ClassDescription& c) {
  return "HKEY_CLASSES_ROOT\\CLSID\\" + FormatGuid(c.clsid);
}

// The module's classes go into the class table when the module is loaded.
const bool kRegistered = (RegisterControlClasses(), true);

}  // namespace

void RegisterControlClasses() {
  RegisterSurfaceInterfaces();
  RegisterModuleClasses(kSurfaceClasses, kCreators);
}

void WriteRegistration(RegistryFile& reg, const std::string& modulePath) {
  const std::string appId = FormatGuid(APPID_QelAudioEditor4Lib);
  const std::string libId = FormatGuid(LIBID_QelAudioEditor4Lib);
  reg.SetValue("HKEY_CLASSES_ROOT\\AppID\\" + appId, "", kSurfaceAppIdName);
  reg.SetValue("HKEY_CLASSES_ROOT\\AppID\\QelAudioEditor4.DLL", "AppID", appId);

  for (const ClassDescription& c : kSurfaceClasses) {
    const std::string clsid = FormatGuid(c.clsid);
    const std::string progId = std::string(c.progId);
    const std::string independent = std::string(c.independentProgId);
    reg.SetValue("HKEY_CLASSES_ROOT\\" + progId, "", c.description);
    reg.SetValue("HKEY_CLASSES_ROOT\\" + progId + "\\CLSID", "", clsid);
    reg.SetValue("HKEY_CLASSES_ROOT\\" + independent, "", c.description);
    reg.SetValue("HKEY_CLASSES_ROOT\\" + independent + "\\CLSID", "", clsid);
    reg.SetValue("HKEY_CLASSES_ROOT\\" + independent + "\\CurVer", "", progId);
    const std::string key = ClassKey(c);
    reg.SetValue(key, "", c.description);
    reg.SetValue(key, "AppID", appId);
    reg.SetValue(key + "\\ProgID", "", progId);
    reg.SetValue(key + "\\VersionIndependentProgID", "", independent);
    reg.SetValue(key + "\\Programmable", "", "");
    reg.SetValue(key + "\\InprocServer32", "", modulePath);
    reg.SetValue(key + "\\InprocServer32", "ThreadingModel", "Apartment");
    reg.SetValue(key + "\\TypeLib", "", libId);
    if (c.control) {
      reg.SetValue(key + "\\Control", "", "");
      reg.SetValue(key + "\\ToolboxBitmap32", "", modulePath + ", 102");
      reg.SetValue(key + "\\MiscStatus", "", "0");
      reg.SetValue(key + "\\MiscStatus\\1", "", std::to_string(kMiscStatus));
      reg.SetValue(key + "\\Version", "", "1.0");
    }
  }

  // The type library and the interfaces it describes.
  const std::string libKey = "HKEY_CLASSES_ROOT\\TypeLib\\" + libId + "\\" + kSurfaceLibraryVersion;
  reg.SetValue(libKey, "", kSurfaceLibraryHelp);
  reg.SetValue(libKey + "\\0\\linux64", "", modulePath);
  reg.SetValue(libKey + "\\FLAGS", "", "0");
  for (const DispTable* table : SurfaceTables()) {
    const std::string key = "HKEY_CLASSES_ROOT\\Interface\\" + FormatGuid(table->iid);
    reg.SetValue(key, "", Utf16ToUtf8(table->name));
    reg.SetValue(key + "\\ProxyStubClsid32", "", kAutomationProxy);
    reg.SetValue(key + "\\TypeLib", "", libId);
    reg.SetValue(key + "\\TypeLib", "Version", kSurfaceLibraryVersion);
  }
}

void RemoveRegistration(RegistryFile& reg) {
  reg.DeleteTree("HKEY_CLASSES_ROOT\\AppID\\" + FormatGuid(APPID_QelAudioEditor4Lib));
  reg.DeleteTree("HKEY_CLASSES_ROOT\\AppID\\QelAudioEditor4.DLL");
  for (const ClassDescription& c : kSurfaceClasses) {
    reg.DeleteTree("HKEY_CLASSES_ROOT\\" + std::string(c.progId));
    reg.DeleteTree("HKEY_CLASSES_ROOT\\" + std::string(c.independentProgId));
    reg.DeleteTree(ClassKey(c));
  }
  reg.DeleteTree("HKEY_CLASSES_ROOT\\TypeLib\\" + FormatGuid(LIBID_QelAudioEditor4Lib));
  for (const std::string& key : reg.Keys()) {
    // Interface keys that name our type library.
    if (key.rfind("HKEY_CLASSES_ROOT\\Interface\\", 0) == 0 &&
        reg.GetValue(key + "\\TypeLib", "") == FormatGuid(LIBID_QelAudioEditor4Lib))
      reg.DeleteTree(key);
  }
}

}  // namespace qel

using namespace qel::com;

extern "C" {

HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid, void** object) {
  if (!clsid || !iid || !object) return E_POINTER;
  *object = nullptr;
  (void)qel::kRegistered;
  auto info = ClassTable::Instance().Find(*clsid);
  if (!info || !info->create) return CLASS_E_CLASSNOTAVAILABLE;
  auto factory = qel::ClassFactory::Create(info->create);
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(*iid, object);
}

HRESULT DllCanUnloadNow() {
  return S_FALSE;
}

HRESULT DllRegisterServer() {
  RegistryFile reg(RegistryFile::DefaultPath());
  if (!reg.Load()) return SELFREG_E_CLASS;
  qel::WriteRegistration(reg, qel::ModulePath());
  return reg.Save() ? S_OK : SELFREG_E_CLASS;
}

HRESULT DllUnregisterServer() {
  RegistryFile reg(RegistryFile::DefaultPath());
  if (!reg.Load()) return SELFREG_E_CLASS;
  qel::RemoveRegistration(reg);
  return reg.Save() ? S_OK : SELFREG_E_CLASS;
}
}
