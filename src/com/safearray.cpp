#include "com/safearray.h"

#include <cstdlib>
#include <cstring>

#include "com/interfaces.h"

namespace qel::com {

namespace {

// One allocation holds a hidden element-type prefix, then the descriptor with its
// bounds. The data block is a second allocation.
struct Prefix {
  VARTYPE vt;
  uint16_t pad[7];
};
static_assert(sizeof(Prefix) == 16);

uint32_t ElementSize(VARTYPE vt) {
  switch (vt) {
    case VT_I1:
    case VT_UI1:
      return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
      return 2;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_R4:
    case VT_ERROR:
      return 4;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_DATE:
      return 8;
    case VT_BSTR:
      return sizeof(BSTR);
    case VT_UNKNOWN:
    case VT_DISPATCH:
      return sizeof(void*);
    case VT_VARIANT:
      return sizeof(VARIANT);
    default:
      return 0;
  }
}

Prefix* PrefixOf(const SAFEARRAY* a) {
  return reinterpret_cast<Prefix*>(const_cast<char*>(reinterpret_cast<const char*>(a)) -
                                   sizeof(Prefix));
}

VARTYPE TypeOf(const SAFEARRAY* a) {
  return PrefixOf(a)->vt;
}

// Releases what each element owns, leaving the bytes zeroed.
void ClearElements(SAFEARRAY* a) {
  if (!a->pvData) return;
  uint64_t n = SafeArrayElementCount(a);
  VARTYPE vt = TypeOf(a);
  for (uint64_t i = 0; i < n; ++i) {
    char* p = static_cast<char*>(a->pvData) + i * a->cbElements;
    switch (vt) {
      case VT_BSTR:
        SysFreeString(*reinterpret_cast<BSTR*>(p));
        break;
      case VT_UNKNOWN:
      case VT_DISPATCH: {
        auto* unk = *reinterpret_cast<IUnknown**>(p);
        if (unk) unk->Release();
        break;
      }
      case VT_VARIANT:
        VariantClear(reinterpret_cast<VARIANT*>(p));
        break;
      default:
        break;
    }
  }
  std::memset(a->pvData, 0, n * a->cbElements);
}

// Copies one element from src into dst (owned copy).
HRESULT CopyElement(VARTYPE vt, void* dst, const void* src, uint32_t size) {
  switch (vt) {
    case VT_BSTR: {
      BSTR s = *static_cast<const BSTR*>(src);
      BSTR copy = s ? SysAllocStringLen(s, SysStringLen(s)) : nullptr;
      if (s && !copy) return E_OUTOFMEMORY;
      *static_cast<BSTR*>(dst) = copy;
      return S_OK;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      auto* unk = *static_cast<IUnknown* const*>(src);
      if (unk) unk->AddRef();
      *static_cast<IUnknown**>(dst) = unk;
      return S_OK;
    }
    case VT_VARIANT:
      VariantInit(static_cast<VARIANT*>(dst));
      return VariantCopy(static_cast<VARIANT*>(dst), static_cast<const VARIANT*>(src));
    default:
      std::memcpy(dst, src, size);
      return S_OK;
  }
}

void ReleaseElement(VARTYPE vt, void* p) {
  switch (vt) {
    case VT_BSTR:
      SysFreeString(*static_cast<BSTR*>(p));
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH: {
      auto* unk = *static_cast<IUnknown**>(p);
      if (unk) unk->Release();
      break;
    }
    case VT_VARIANT:
      VariantClear(static_cast<VARIANT*>(p));
      break;
    default:
      break;
  }
}

}  // namespace

uint64_t SafeArrayElementCount(const SAFEARRAY* a) {
  if (!a) return 0;
  uint64_t n = 1;
  for (uint32_t d = 0; d < a->cDims; ++d)
    n *= a->rgsabound[d].cElements;
  return n;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds) {
  uint32_t size = ElementSize(vt);
  if (size == 0 || dims == 0 || dims > 64 || !bounds) return nullptr;
  size_t header = sizeof(Prefix) + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
  auto* block = static_cast<char*>(std::calloc(1, header));
  if (!block) return nullptr;
  reinterpret_cast<Prefix*>(block)->vt = vt;
  auto* a = reinterpret_cast<SAFEARRAY*>(block + sizeof(Prefix));
  a->cDims = static_cast<uint16_t>(dims);
  a->cbElements = size;
  a->fFeatures = FADF_HAVEVARTYPE;
  if (vt == VT_BSTR) a->fFeatures |= FADF_BSTR;
  if (vt == VT_UNKNOWN) a->fFeatures |= FADF_UNKNOWN;
  if (vt == VT_DISPATCH) a->fFeatures |= FADF_DISPATCH;
  if (vt == VT_VARIANT) a->fFeatures |= FADF_VARIANT;
  for (uint32_t d = 0; d < dims; ++d)
    a->rgsabound[dims - 1 - d] = bounds[d];
  uint64_t n = SafeArrayElementCount(a);
  if (n > 0) {
    if (n > (uint64_t{1} << 40) / size) {
      std::free(block);
      return nullptr;
    }
    a->pvData = std::calloc(n, size);
    if (!a->pvData) {
      std::free(block);
      return nullptr;
    }
    if (vt == VT_VARIANT)
      for (uint64_t i = 0; i < n; ++i)
        VariantInit(static_cast<VARIANT*>(a->pvData) + i);
  }
  return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t count) {
  SAFEARRAYBOUND b{count, lowerBound};
  return SafeArrayCreate(vt, 1, &b);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
  if (!a) return S_OK;
  if (a->cLocks > 0) return DISP_E_ARRAYISLOCKED;
  ClearElements(a);
  std::free(a->pvData);
  std::free(reinterpret_cast<char*>(a) - sizeof(Prefix));
  return S_OK;
}

HRESULT SafeArrayCopy(const SAFEARRAY* a, SAFEARRAY** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!a) return S_OK;
  SAFEARRAYBOUND bounds[64];
  for (uint32_t d = 0; d < a->cDims; ++d)
    bounds[d] = a->rgsabound[a->cDims - 1 - d];
  VARTYPE vt = TypeOf(a);
  SAFEARRAY* copy = SafeArrayCreate(vt, a->cDims, bounds);
  if (!copy) return E_OUTOFMEMORY;
  uint64_t n = SafeArrayElementCount(a);
  for (uint64_t i = 0; i < n; ++i) {
    HRESULT hr =
        CopyElement(vt, static_cast<char*>(copy->pvData) + i * a->cbElements,
                    static_cast<const char*>(a->pvData) + i * a->cbElements, a->cbElements);
    if (Failed(hr)) {
      SafeArrayDestroy(copy);
      return hr;
    }
  }
  *out = copy;
  return S_OK;
}

uint32_t SafeArrayGetDim(const SAFEARRAY* a) {
  return a ? a->cDims : 0;
}
uint32_t SafeArrayGetElemsize(const SAFEARRAY* a) {
  return a ? a->cbElements : 0;
}

HRESULT SafeArrayGetVartype(const SAFEARRAY* a, VARTYPE* vt) {
  if (!a || !vt) return E_INVALIDARG;
  *vt = TypeOf(a);
  return S_OK;
}

HRESULT SafeArrayGetLBound(const SAFEARRAY* a, uint32_t dim, int32_t* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  *bound = a->rgsabound[a->cDims - dim].lLbound;
  return S_OK;
}

HRESULT SafeArrayGetUBound(const SAFEARRAY* a, uint32_t dim, int32_t* bound) {
  if (!a || !bound) return E_INVALIDARG;
  if (dim < 1 || dim > a->cDims) return DISP_E_BADINDEX;
  const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - dim];
  *bound = static_cast<int32_t>(int64_t{b.lLbound} + b.cElements - 1);
  return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* a, const int32_t* indices, void** element) {
  if (!a || !indices || !element) return E_INVALIDARG;
  uint64_t offset = 0;
  uint64_t stride = 1;
  for (uint32_t d = 0; d < a->cDims; ++d) {
    const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - 1 - d];
    int64_t i = int64_t{indices[d]} - b.lLbound;
    if (i < 0 || i >= int64_t{b.cElements}) return DISP_E_BADINDEX;
    offset += static_cast<uint64_t>(i) * stride;
    stride *= b.cElements;
  }
  *element = static_cast<char*>(a->pvData) + offset * a->cbElements;
  return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* a, const int32_t* indices, void* value) {
  if (!value) return E_INVALIDARG;
  void* p = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(a, indices, &p);
  if (Failed(hr)) return hr;
  return CopyElement(TypeOf(a), value, p, a->cbElements);
}

HRESULT SafeArrayPutElement(SAFEARRAY* a, const int32_t* indices, const void* value) {
  if (!value) return E_INVALIDARG;
  void* p = nullptr;
  HRESULT hr = SafeArrayPtrOfIndex(a, indices, &p);
  if (Failed(hr)) return hr;
  VARTYPE vt = TypeOf(a);
  if (vt == VT_BSTR) {
    // A BSTR element takes a copy of the string passed by pointer value.
    BSTR s = const_cast<BSTR>(static_cast<const OLECHAR*>(value));
    BSTR copy = SysAllocStringLen(s, SysStringLen(s));
    if (!copy) return E_OUTOFMEMORY;
    ReleaseElement(vt, p);
    *static_cast<BSTR*>(p) = copy;
    return S_OK;
  }
  if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
    auto* unk = static_cast<IUnknown*>(const_cast<void*>(value));
    if (unk) unk->AddRef();
    ReleaseElement(vt, p);
    *static_cast<IUnknown**>(p) = unk;
    return S_OK;
  }
  if (vt == VT_VARIANT)
    return VariantCopy(static_cast<VARIANT*>(p), static_cast<const VARIANT*>(value));
  std::memcpy(p, value, a->cbElements);
  return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* a) {
  if (!a) return E_INVALIDARG;
  ++a->cLocks;
  return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* a) {
  if (!a || a->cLocks == 0) return E_UNEXPECTED;
  --a->cLocks;
  return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
  if (!a || !data) return E_INVALIDARG;
  ++a->cLocks;
  *data = a->pvData;
  return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) {
  return SafeArrayUnlock(a);
}

SAFEARRAY* MakeLongArray(const std::vector<int32_t>& values) {
  if (values.empty()) return nullptr;
  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, static_cast<uint32_t>(values.size()));
  if (a) std::memcpy(a->pvData, values.data(), values.size() * sizeof(int32_t));
  return a;
}

}  // namespace qel::com
