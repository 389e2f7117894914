// A sink for outgoing dispatch interfaces that records every call it receives
// (identifier and arguments in declaration order) and can answer a by-reference
// 16-bit argument, as a host's handler would write Cancel.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "com/dispatch.h"

namespace qel::test {

struct RecordedCall {
  com::DISPID id;
  std::vector<com::Variant> args;  // declaration order, by-reference values read through
};

class RecordingSink final : public com::ComObject<RecordingSink, com::IDispatch> {
 public:
  std::vector<RecordedCall> calls;
  // When set, called for every event before it is recorded; may write through
  // by-reference arguments.
  std::function<void(com::DISPID, com::DISPPARAMS*)> onCall;
  // Shared log of several sinks: each appends its tag when called.
  std::vector<std::string>* order = nullptr;
  std::string tag;

  com::HRESULT GetTypeInfoCount(uint32_t* count) override {
    *count = 0;
    return com::S_OK;
  }
  com::HRESULT GetTypeInfo(uint32_t, com::LCID, com::ITypeInfo**) override {
    return com::E_NOTIMPL;
  }
  com::HRESULT GetIDsOfNames(com::REFIID, com::OLECHAR**, uint32_t, com::LCID,
                             com::DISPID*) override {
    return com::E_NOTIMPL;
  }
  com::HRESULT Invoke(com::DISPID id, com::REFIID, com::LCID, uint16_t, com::DISPPARAMS* params,
                      com::VARIANT*, com::EXCEPINFO*, uint32_t*) override {
    if (onCall) onCall(id, params);
    RecordedCall call{id, {}};
    for (uint32_t i = params->cArgs; i-- > 0;) {
      com::Variant v;
      com::VariantCopyInd(&v, &params->rgvarg[i]);
      call.args.push_back(std::move(v));
    }
    calls.push_back(std::move(call));
    if (order) order->push_back(tag);
    return com::S_OK;
  }
};

}  // namespace qel::test
