// VARIANT: the tagged value of late binding, and the coercions that late-bound
// clients rely on (numbers, booleans and strings into one another, by-reference
// values read through).
#pragma once

#include <string>
#include <utility>

#include "com/bstr.h"
#include "com/types.h"

namespace qel::com {

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_CY = 6,
  VT_DATE = 7,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_DECIMAL = 14,
  VT_I1 = 16,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
  VT_VOID = 24,
  VT_HRESULT = 25,
  VT_PTR = 26,
  VT_SAFEARRAY = 27,
  VT_USERDEFINED = 29,
  VT_RECORD = 36,
  VT_ARRAY = 0x2000,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

struct VARIANT {
  VARTYPE vt;
  uint16_t wReserved1;
  uint16_t wReserved2;
  uint16_t wReserved3;
  union {
    int64_t llVal;
    int32_t lVal;
    uint8_t bVal;
    int16_t iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    double date;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    SAFEARRAY* parray;
    uint8_t* pbVal;
    int16_t* piVal;
    int32_t* plVal;
    int64_t* pllVal;
    float* pfltVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    SAFEARRAY** pparray;
    VARIANT* pvarVal;
    void* byref;
    int8_t cVal;
    uint16_t uiVal;
    uint32_t ulVal;
    uint64_t ullVal;
    int32_t intVal;
    uint32_t uintVal;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } record;
  };
};
static_assert(sizeof(VARIANT) == 24);
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Releases what the variant owns (string, interface, array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: strings and arrays are duplicated, interfaces AddRef'ed.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Copy that reads a by-reference source through to its value.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src);
// Converts src into the type vt (dest may be src). Fails with DISP_E_TYPEMISMATCH
// or DISP_E_OVERFLOW and leaves dest untouched on failure.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

// Owns one VARIANT.
class Variant : public VARIANT {
 public:
  Variant() { VariantInit(this); }
  Variant(const Variant& other) : Variant() { VariantCopy(this, &other); }
  Variant(Variant&& other) noexcept : VARIANT(other) { VariantInit(&other); }
  Variant& operator=(Variant other) noexcept {
    std::swap(static_cast<VARIANT&>(*this), static_cast<VARIANT&>(other));
    return *this;
  }
  ~Variant() { VariantClear(this); }

  static Variant I4(int32_t value) {
    Variant v;
    v.vt = VT_I4;
    v.lVal = value;
    return v;
  }
  static Variant I8(int64_t value) {
    Variant v;
    v.vt = VT_I8;
    v.llVal = value;
    return v;
  }
  static Variant R8(double value) {
    Variant v;
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Str(std::u16string_view text) {
    Variant v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    return v;
  }
  // Takes ownership of what raw holds.
  static Variant Attach(VARIANT raw) {
    Variant v;
    static_cast<VARIANT&>(v) = raw;
    return v;
  }
  VARIANT Detach() {
    VARIANT raw = *this;
    VariantInit(this);
    return raw;
  }
};

}  // namespace qel::com
