// What the automation side of every effect component shares: parameters read
// from variants, and failures raised with a description.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "com/variant.h"
#include "external/effects.h"
#include "processor.h"

namespace qel::effects::detail {

com::HRESULT Fail(com::HRESULT hr, std::u16string_view message);
// A parameter from its variant: numbers of any kind, arrays of numbers (in
// storage order, whatever their dimensions), or text. False for anything else.
bool ToParam(const com::VARIANT& value, ParamValue* param);
// "Invalid parameter P<index> for this effect." and the reason, when there is one.
std::u16string ParamRefused(int32_t index, std::string_view reason);
// The parameters as last put, for their getters.
void KeepParam(std::vector<com::Variant>& params, int32_t index, const com::VARIANT& value);
com::HRESULT KeptParam(const std::vector<com::Variant>& params, int32_t index, com::VARIANT* value);

}  // namespace qel::effects::detail
