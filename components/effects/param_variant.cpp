#include "param_variant.h"

#include <cstring>

#include "com/bstr.h"
#include "com/safearray.h"

namespace qel::effects::detail {

using namespace com;

HRESULT Fail(HRESULT hr, std::u16string_view message) {
  return SetError(hr, IID_IAudioEffect, u"QelAudioTransform.AudioEffect.1", message);
}

// A parameter from its variant: numbers of any kind, arrays of numbers (in
// storage order, whatever their dimensions), or text.
bool ToParam(const VARIANT& value, ParamValue* param) {
  const VARIANT* v = &value;
  if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
  if (v->vt & VT_ARRAY) {
    SAFEARRAY* array = (v->vt & VT_BYREF) ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    std::vector<double> numbers;
    if (!array) {
      *param = std::move(numbers);
      return true;
    }
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(array, &type);
    const uint64_t count = SafeArrayElementCount(array);
    void* data = nullptr;
    if (Failed(SafeArrayAccessData(array, &data))) return false;
    numbers.resize(static_cast<size_t>(count));
    bool ok = true;
    for (uint64_t i = 0; i < count && ok; ++i) {
      const auto* at = static_cast<const uint8_t*>(data) + i * array->cbElements;
      switch (type) {
        case VT_R8:
          std::memcpy(&numbers[i], at, 8);
          break;
        case VT_R4: {
          float f;
          std::memcpy(&f, at, 4);
          numbers[i] = f;
          break;
        }
        case VT_I4:
        case VT_INT: {
          int32_t n;
          std::memcpy(&n, at, 4);
          numbers[i] = n;
          break;
        }
        case VT_I2: {
          int16_t n;
          std::memcpy(&n, at, 2);
          numbers[i] = n;
          break;
        }
        case VT_VARIANT: {
          Variant d;
          ok = Succeeded(VariantChangeType(
              &d, static_cast<const VARIANT*>(static_cast<const void*>(at)), 0, VT_R8));
          numbers[i] = d.dblVal;
          break;
        }
        default:
          ok = false;
      }
    }
    SafeArrayUnaccessData(array);
    if (!ok) return false;
    *param = std::move(numbers);
    return true;
  }
  if (v->vt == VT_BSTR) {
    *param = std::u16string(v->bstrVal ? v->bstrVal : u"", SysStringLen(v->bstrVal));
    return true;
  }
  Variant number;
  if (Failed(VariantChangeType(&number, v, 0, VT_R8))) return false;
  *param = number.dblVal;
  return true;
}

std::u16string ParamRefused(int32_t index, std::string_view reason) {
  std::string text = "Invalid parameter P" + std::to_string(index) + " for this effect.";
  if (!reason.empty()) text += " " + std::string(reason);
  return Utf8ToUtf16(text);
}

void KeepParam(std::vector<Variant>& params, int32_t index, const VARIANT& value) {
  if (params.size() < static_cast<size_t>(index)) params.resize(static_cast<size_t>(index));
  VariantCopy(&params[static_cast<size_t>(index - 1)], &value);
}

HRESULT KeptParam(const std::vector<Variant>& params, int32_t index, VARIANT* value) {
  if (!value) return E_POINTER;
  VariantInit(value);
  if (index < 1 || static_cast<size_t>(index) > params.size()) return S_OK;
  return VariantCopy(value, &params[static_cast<size_t>(index - 1)]);
}

}  // namespace qel::effects::detail
