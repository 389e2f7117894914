// The first failed result of a run of components, with its error description,
// kept from whatever thread the failing call ran on (the block loop runs
// channels on several), until the member that started the run hands exactly
// that to the host.
#pragma once

#include <mutex>

#include "com/errorinfo.h"
#include "com/object.h"

namespace qel {

class ComponentFailure {
 public:
  // True when hr succeeded; a failure is kept unless one is kept already.
  bool Keep(com::HRESULT hr) {
    if (com::Succeeded(hr)) return true;
    std::lock_guard<std::mutex> guard(lock_);
    if (com::Succeeded(hr_)) {
      hr_ = hr;
      com::GetErrorInfo(0, info_.Out());
    }
    return false;
  }
  // What was kept (S_OK when nothing), its description made this thread's
  // error information again; the failure is forgotten.
  com::HRESULT Take() {
    std::lock_guard<std::mutex> guard(lock_);
    const com::HRESULT hr = hr_;
    if (com::Failed(hr)) com::SetErrorInfo(0, info_.get());
    hr_ = com::S_OK;
    info_.Reset();
    return hr;
  }

 private:
  std::mutex lock_;
  com::HRESULT hr_ = com::S_OK;
  com::ComPtr<com::IErrorInfo> info_;
};

}  // namespace qel
