// Base of the control's automation objects: IDispatch from the interface's
// table, IUnknown, and ISupportErrorInfo for the interface it implements.
#pragma once

#include "com/dispatch.h"

namespace qel {

template <class Derived, class Interface, class... Others>
class AutomationObject
    : public com::DispatchObject<Derived, Interface, com::ISupportErrorInfo, Others...> {
 public:
  com::HRESULT InterfaceSupportsErrorInfo(com::REFIID iid) override {
    return iid == Interface::kIID ? com::S_OK : com::S_FALSE;
  }
};

}  // namespace qel
