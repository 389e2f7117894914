// Rich error descriptions: an error-information object per failure and one
// current error per thread, as automation clients read them after a failed call.
#pragma once

#include "com/object.h"

namespace qel::com {

HRESULT CreateErrorInfo(ICreateErrorInfo** info);
// Replaces the thread's current error information (null clears it).
HRESULT SetErrorInfo(uint32_t reserved, IErrorInfo* info);
// Hands the thread's current error information to the caller and clears it;
// S_FALSE and null when there is none.
HRESULT GetErrorInfo(uint32_t reserved, IErrorInfo** info);

// Sets the thread's current error to (iid, source, description) and returns hr.
HRESULT SetError(HRESULT hr, REFIID iid, std::u16string_view source,
                 std::u16string_view description);

}  // namespace qel::com
