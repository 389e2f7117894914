#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "com/interfaces.h"
#include "com/safearray.h"

namespace qel::com {

void VariantInit(VARIANT* v) {
  v->vt = VT_EMPTY;
  v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
  v->record = {nullptr, nullptr};
}

HRESULT VariantClear(VARIANT* v) {
  if (!v) return E_POINTER;
  if (!(v->vt & VT_BYREF)) {
    if (v->vt & VT_ARRAY) {
      SafeArrayDestroy(v->parray);
    } else {
      switch (v->vt) {
        case VT_BSTR:
          SysFreeString(v->bstrVal);
          break;
        case VT_UNKNOWN:
          if (v->punkVal) v->punkVal->Release();
          break;
        case VT_DISPATCH:
          if (v->pdispVal) v->pdispVal->Release();
          break;
        default:
          break;
      }
    }
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_POINTER;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt & VT_ARRAY) {
      copy.parray = nullptr;
      if (src->parray) {
        HRESULT hr = SafeArrayCopy(src->parray, &copy.parray);
        if (Failed(hr)) return hr;
      }
    } else if (src->vt == VT_BSTR && src->bstrVal) {
      copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
      if (!copy.bstrVal) return E_OUTOFMEMORY;
    } else if (src->vt == VT_UNKNOWN && src->punkVal) {
      src->punkVal->AddRef();
    } else if (src->vt == VT_DISPATCH && src->pdispVal) {
      src->pdispVal->AddRef();
    }
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

namespace {

// Reads a by-reference variant through to the value it points at (no ownership).
HRESULT Dereference(const VARIANT* src, VARIANT* out) {
  if (!(src->vt & VT_BYREF)) {
    *out = *src;
    return S_OK;
  }
  VARTYPE base = src->vt & ~VT_BYREF;
  VariantInit(out);
  if (!src->byref) return E_POINTER;
  if (base & VT_ARRAY) {
    out->vt = base;
    out->parray = *src->pparray;
    return S_OK;
  }
  out->vt = base;
  switch (base) {
    case VT_I1:
      out->cVal = *static_cast<int8_t*>(src->byref);
      break;
    case VT_UI1:
      out->bVal = *src->pbVal;
      break;
    case VT_I2:
      out->iVal = *src->piVal;
      break;
    case VT_UI2:
      out->uiVal = *static_cast<uint16_t*>(src->byref);
      break;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      out->lVal = *src->plVal;
      break;
    case VT_UI4:
    case VT_UINT:
      out->ulVal = *static_cast<uint32_t*>(src->byref);
      break;
    case VT_I8:
      out->llVal = *src->pllVal;
      break;
    case VT_UI8:
      out->ullVal = *static_cast<uint64_t*>(src->byref);
      break;
    case VT_R4:
      out->fltVal = *src->pfltVal;
      break;
    case VT_R8:
    case VT_DATE:
      out->dblVal = *src->pdblVal;
      break;
    case VT_BOOL:
      out->boolVal = *src->pboolVal;
      break;
    case VT_BSTR:
      out->bstrVal = *src->pbstrVal;
      break;
    case VT_UNKNOWN:
      out->punkVal = *src->ppunkVal;
      break;
    case VT_DISPATCH:
      out->pdispVal = *src->ppdispVal;
      break;
    case VT_VARIANT:
      return Dereference(src->pvarVal, out);
    default:
      return DISP_E_BADVARTYPE;
  }
  return S_OK;
}

bool IsInteger(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_I8:
    case VT_UI8:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
      return true;
    default:
      return false;
  }
}

// A number held in the widest form that keeps it exact.
struct Number {
  enum Kind { kSigned, kUnsigned, kReal } kind = kSigned;
  int64_t s = 0;
  uint64_t u = 0;
  double r = 0;
};

HRESULT ParseNumber(std::u16string_view text, Number* n) {
  std::string s = Utf16ToUtf8(text);
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t");
  if (b == std::string::npos) return DISP_E_TYPEMISMATCH;
  s = s.substr(b, e - b + 1);
  if (s == "True" || s == "true" || s == "TRUE") {
    n->kind = Number::kSigned;
    n->s = -1;
    return S_OK;
  }
  if (s == "False" || s == "false" || s == "FALSE") {
    n->kind = Number::kSigned;
    n->s = 0;
    return S_OK;
  }
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (*first == '+') ++first;
  int64_t iv = 0;
  auto ri = std::from_chars(first, last, iv);
  if (ri.ec == std::errc() && ri.ptr == last) {
    n->kind = Number::kSigned;
    n->s = iv;
    return S_OK;
  }
  if (ri.ec == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  char* end = nullptr;
  errno = 0;
  double dv = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || end == s.c_str()) return DISP_E_TYPEMISMATCH;
  if (errno == ERANGE && std::isinf(dv)) return DISP_E_OVERFLOW;
  n->kind = Number::kReal;
  n->r = dv;
  return S_OK;
}

HRESULT ToNumber(const VARIANT& v, Number* n) {
  switch (v.vt) {
    case VT_EMPTY:
      n->kind = Number::kSigned;
      n->s = 0;
      return S_OK;
    case VT_I1:
      n->kind = Number::kSigned;
      n->s = v.cVal;
      return S_OK;
    case VT_UI1:
      n->kind = Number::kSigned;
      n->s = v.bVal;
      return S_OK;
    case VT_I2:
      n->kind = Number::kSigned;
      n->s = v.iVal;
      return S_OK;
    case VT_UI2:
      n->kind = Number::kSigned;
      n->s = v.uiVal;
      return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
      n->kind = Number::kSigned;
      n->s = v.lVal;
      return S_OK;
    case VT_UI4:
    case VT_UINT:
      n->kind = Number::kSigned;
      n->s = v.ulVal;
      return S_OK;
    case VT_I8:
      n->kind = Number::kSigned;
      n->s = v.llVal;
      return S_OK;
    case VT_UI8:
      n->kind = Number::kUnsigned;
      n->u = v.ullVal;
      return S_OK;
    case VT_BOOL:
      n->kind = Number::kSigned;
      n->s = v.boolVal;
      return S_OK;
    case VT_R4:
      n->kind = Number::kReal;
      n->r = v.fltVal;
      return S_OK;
    case VT_R8:
    case VT_DATE:
      n->kind = Number::kReal;
      n->r = v.dblVal;
      return S_OK;
    case VT_BSTR:
      return ParseNumber(View(v.bstrVal), n);
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

// Rounds a real the way automation does: half to even.
HRESULT RealToInteger(double r, Number* n) {
  if (!std::isfinite(r)) return DISP_E_OVERFLOW;
  double rounded = std::nearbyint(r);  // default rounding mode: to nearest, ties to even
  if (rounded >= 9223372036854775808.0 || rounded < -9223372036854775808.0) return DISP_E_OVERFLOW;
  n->kind = Number::kSigned;
  n->s = static_cast<int64_t>(rounded);
  return S_OK;
}

template <class T>
HRESULT FitInteger(const Number& n, T* out) {
  if (n.kind == Number::kUnsigned) {
    if (n.u > static_cast<uint64_t>(std::numeric_limits<T>::max())) return DISP_E_OVERFLOW;
    *out = static_cast<T>(n.u);
    return S_OK;
  }
  if constexpr (std::is_signed_v<T>) {
    if (n.s < std::numeric_limits<T>::min() || n.s > std::numeric_limits<T>::max())
      return DISP_E_OVERFLOW;
  } else {
    if (n.s < 0 || static_cast<uint64_t>(n.s) > std::numeric_limits<T>::max())
      return DISP_E_OVERFLOW;
  }
  *out = static_cast<T>(n.s);
  return S_OK;
}

double AsReal(const Number& n) {
  switch (n.kind) {
    case Number::kSigned:
      return static_cast<double>(n.s);
    case Number::kUnsigned:
      return static_cast<double>(n.u);
    default:
      return n.r;
  }
}

std::u16string FormatNumber(const VARIANT& v) {
  char buf[64];
  switch (v.vt) {
    case VT_R4:
      std::snprintf(buf, sizeof buf, "%.7g", static_cast<double>(v.fltVal));
      break;
    case VT_R8:
    case VT_DATE:
      std::snprintf(buf, sizeof buf, "%.15g", v.dblVal);
      break;
    case VT_UI8:
      std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v.ullVal));
      break;
    default: {
      Number n;
      ToNumber(v, &n);
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(n.s));
    }
  }
  return Utf8ToUtf16(buf);
}

}  // namespace

HRESULT VariantCopyInd(VARIANT* dest, const VARIANT* src) {
  if (!dest || !src) return E_POINTER;
  VARIANT value;
  HRESULT hr = Dereference(src, &value);
  if (Failed(hr)) return hr;
  return VariantCopy(dest, &value);
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t /*flags*/, VARTYPE vt) {
  if (!dest || !src) return E_POINTER;
  VARIANT value;
  HRESULT hr = Dereference(src, &value);
  if (Failed(hr)) return hr;

  Variant result;
  if (vt == value.vt || vt == VT_VARIANT) {
    hr = VariantCopy(&result, &value);
  } else if (vt & (VT_ARRAY | VT_BYREF)) {
    hr = DISP_E_TYPEMISMATCH;
  } else if (vt == VT_EMPTY) {
    hr = S_OK;
  } else if (vt == VT_NULL) {
    result.vt = VT_NULL;
  } else if (vt == VT_BSTR) {
    if (value.vt == VT_BOOL) {
      result = Variant::Str(value.boolVal ? u"True" : u"False");
    } else if (value.vt == VT_EMPTY) {
      result = Variant::Str(u"");
    } else if (IsInteger(value.vt) || value.vt == VT_R4 || value.vt == VT_R8 ||
               value.vt == VT_DATE) {
      result = Variant::Str(FormatNumber(value));
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
  } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    IUnknown* unk = value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH ? value.punkVal : nullptr;
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) {
      result.vt = vt;
      result.punkVal = nullptr;
    } else if (!unk && (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH)) {
      result.vt = vt;
      result.punkVal = nullptr;
    } else if (unk) {
      void* p = nullptr;
      hr = unk->QueryInterface(vt == VT_DISPATCH ? IDispatch::kIID : IUnknown::kIID, &p);
      if (Succeeded(hr)) {
        result.vt = vt;
        result.byref = p;
      } else {
        hr = DISP_E_TYPEMISMATCH;
      }
    } else {
      hr = DISP_E_TYPEMISMATCH;
    }
  } else {
    Number n;
    hr = ToNumber(value, &n);
    if (Succeeded(hr)) {
      result.vt = vt;
      switch (vt) {
        case VT_BOOL:
          result.boolVal = AsReal(n) != 0 ? VARIANT_TRUE : VARIANT_FALSE;
          break;
        case VT_R4: {
          double r = AsReal(n);
          if (std::isfinite(r) && std::fabs(r) > std::numeric_limits<float>::max())
            hr = DISP_E_OVERFLOW;
          result.fltVal = static_cast<float>(r);
          break;
        }
        case VT_R8:
          result.dblVal = AsReal(n);
          break;
        case VT_DATE:
          result.date = AsReal(n);
          break;
        default:
          if (n.kind == Number::kReal) hr = RealToInteger(n.r, &n);
          if (Failed(hr)) break;
          switch (vt) {
            case VT_I1:
              hr = FitInteger(n, &result.cVal);
              break;
            case VT_UI1:
              hr = FitInteger(n, &result.bVal);
              break;
            case VT_I2:
              hr = FitInteger(n, &result.iVal);
              break;
            case VT_UI2:
              hr = FitInteger(n, &result.uiVal);
              break;
            case VT_I4:
            case VT_INT:
            case VT_ERROR:
              hr = FitInteger(n, &result.lVal);
              break;
            case VT_UI4:
            case VT_UINT:
              hr = FitInteger(n, &result.ulVal);
              break;
            case VT_I8:
              hr = FitInteger(n, &result.llVal);
              break;
            case VT_UI8:
              hr = FitInteger(n, &result.ullVal);
              break;
            default:
              hr = DISP_E_TYPEMISMATCH;
              break;
          }
      }
      if (Failed(hr)) result.vt = VT_EMPTY;
    }
  }
  if (Failed(hr)) return hr;
  // dest may be src: the value was read out above, so clearing it now is safe.
  VariantClear(dest);
  *dest = result.Detach();
  return S_OK;
}

}  // namespace qel::com
