#include "com/errorinfo.h"

namespace qel::com {

namespace {

class ErrorInfo final : public ComObject<ErrorInfo, IErrorInfo, ICreateErrorInfo> {
 public:
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_POINTER;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* out) override { return CopyOut(source_, out); }
  HRESULT GetDescription(BSTR* out) override { return CopyOut(description_, out); }
  HRESULT GetHelpFile(BSTR* out) override { return CopyOut(helpFile_, out); }
  HRESULT GetHelpContext(uint32_t* context) override {
    if (!context) return E_POINTER;
    *context = helpContext_;
    return S_OK;
  }
  HRESULT SetGUID(REFIID guid) override {
    guid_ = guid;
    return S_OK;
  }
  HRESULT SetSource(const OLECHAR* text) override { return Assign(source_, text); }
  HRESULT SetDescription(const OLECHAR* text) override { return Assign(description_, text); }
  HRESULT SetHelpFile(const OLECHAR* text) override { return Assign(helpFile_, text); }
  HRESULT SetHelpContext(uint32_t context) override {
    helpContext_ = context;
    return S_OK;
  }

 private:
  static HRESULT CopyOut(const Bstr& value, BSTR* out) {
    if (!out) return E_POINTER;
    *out = Bstr(value).Detach();
    return S_OK;
  }
  static HRESULT Assign(Bstr& target, const OLECHAR* text) {
    target = text ? Bstr(std::u16string_view(text)) : Bstr();
    return S_OK;
  }

  GUID guid_{};
  Bstr source_, description_, helpFile_;
  uint32_t helpContext_ = 0;
};

// The per-thread current error: automation keeps exactly one per thread.
ComPtr<IErrorInfo>& CurrentError() {
  thread_local ComPtr<IErrorInfo> current;
  return current;
}

}  // namespace

HRESULT CreateErrorInfo(ICreateErrorInfo** info) {
  if (!info) return E_POINTER;
  auto obj = ErrorInfo::Create();
  if (!obj) return E_OUTOFMEMORY;
  *info = static_cast<ICreateErrorInfo*>(obj.Detach());
  return S_OK;
}

HRESULT SetErrorInfo(uint32_t, IErrorInfo* info) {
  CurrentError() = ComPtr<IErrorInfo>(info);
  return S_OK;
}

HRESULT GetErrorInfo(uint32_t, IErrorInfo** info) {
  if (!info) return E_POINTER;
  *info = CurrentError().Detach();
  return *info ? S_OK : S_FALSE;
}

HRESULT SetError(HRESULT hr, REFIID iid, std::u16string_view source,
                 std::u16string_view description) {
  ComPtr<ICreateErrorInfo> create;
  if (Failed(CreateErrorInfo(create.Out()))) return hr;
  create->SetGUID(iid);
  create->SetSource(Bstr(source).get());
  create->SetDescription(Bstr(description).get());
  create->SetHelpFile(nullptr);
  create->SetHelpContext(0);
  auto info = create.As<IErrorInfo>();
  SetErrorInfo(0, info.get());
  return hr;
}

}  // namespace qel::com
