// Controls made the way a host makes them, their implementation for checks a
// host cannot make, and late-bound calls by name.
#pragma once

#include <vector>

#include "com/classtable.h"
#include "core/audio_editor.h"

namespace qel::test {

inline com::ComPtr<IAudioEditor> NewControl(com::HRESULT* result = nullptr) {
  com::ComPtr<IAudioEditor> editor;
  const com::HRESULT hr = com::CoCreateInstance(
      CLSID_AudioEditor, nullptr, com::CLSCTX_INPROC_SERVER, IAudioEditor::kIID, editor.OutVoid());
  if (result) *result = hr;
  return editor;
}

inline CAudioEditor& Impl(const com::ComPtr<IAudioEditor>& editor) {
  return *static_cast<CAudioEditor*>(editor.get());
}

// Late-bound call by name; arguments in declaration order.
inline com::HRESULT Call(com::IDispatch* obj, const char16_t* name, uint16_t flags,
                         std::vector<com::Variant> args, com::Variant* result = nullptr,
                         com::EXCEPINFO* excep = nullptr) {
  using namespace com;
  OLECHAR* names[] = {const_cast<OLECHAR*>(name)};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = obj->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
  if (Failed(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPID put = DISPID_PROPERTYPUT;
  const bool isPut = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
  DISPPARAMS p{reversed.data(), isPut ? &put : nullptr, static_cast<uint32_t>(reversed.size()),
               isPut ? 1u : 0u};
  Variant ignored;
  return obj->Invoke(id, GUID_NULL, 0, flags, &p, result ? result : &ignored, excep, nullptr);
}

}  // namespace qel::test
