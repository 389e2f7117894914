// SAFEARRAY: the self-describing array of automation, in one or more dimensions
// with a lower bound per dimension. Elements are stored with the first dimension
// varying fastest, and the array remembers its element type.
#pragma once

#include <vector>

#include "com/variant.h"

namespace qel::com {

struct SAFEARRAYBOUND {
  uint32_t cElements;
  int32_t lLbound;
};

struct SAFEARRAY {
  uint16_t cDims;
  uint16_t fFeatures;
  uint32_t cbElements;
  uint32_t cLocks;
  void* pvData;
  SAFEARRAYBOUND rgsabound[1];  // stored last dimension first, as the classic layout does
};

inline constexpr uint16_t FADF_BSTR = 0x100;
inline constexpr uint16_t FADF_UNKNOWN = 0x200;
inline constexpr uint16_t FADF_DISPATCH = 0x400;
inline constexpr uint16_t FADF_VARIANT = 0x800;
inline constexpr uint16_t FADF_HAVEVARTYPE = 0x80;

// bounds[0] is the first (leftmost) dimension. Element types: VT_I1, VT_UI1, VT_I2,
// VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8, VT_UI8, VT_R4, VT_R8, VT_BOOL,
// VT_BSTR, VT_VARIANT, VT_UNKNOWN, VT_DISPATCH.
SAFEARRAY* SafeArrayCreate(VARTYPE vt, uint32_t dims, const SAFEARRAYBOUND* bounds);
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, int32_t lowerBound, uint32_t count);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayCopy(const SAFEARRAY* array, SAFEARRAY** out);
uint32_t SafeArrayGetDim(const SAFEARRAY* array);
uint32_t SafeArrayGetElemsize(const SAFEARRAY* array);
HRESULT SafeArrayGetVartype(const SAFEARRAY* array, VARTYPE* vt);
// dim is 1-based, 1 being the first (leftmost) dimension.
HRESULT SafeArrayGetLBound(const SAFEARRAY* array, uint32_t dim, int32_t* bound);
HRESULT SafeArrayGetUBound(const SAFEARRAY* array, uint32_t dim, int32_t* bound);
// indices[0] is the index in the first dimension. GetElement copies out (strings
// duplicated, interfaces AddRef'ed); PutElement copies in.
HRESULT SafeArrayGetElement(SAFEARRAY* array, const int32_t* indices, void* value);
HRESULT SafeArrayPutElement(SAFEARRAY* array, const int32_t* indices, const void* value);
HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, const int32_t* indices, void** element);
HRESULT SafeArrayLock(SAFEARRAY* array);
HRESULT SafeArrayUnlock(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
// Total number of elements over all dimensions.
uint64_t SafeArrayElementCount(const SAFEARRAY* array);

// Owns one SAFEARRAY.
class SafeArray {
 public:
  SafeArray() = default;
  explicit SafeArray(SAFEARRAY* array) : array_(array) {}
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;
  SafeArray(SafeArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  SafeArray& operator=(SafeArray&& other) noexcept {
    if (this != &other) {
      SafeArrayDestroy(array_);
      array_ = std::exchange(other.array_, nullptr);
    }
    return *this;
  }
  ~SafeArray() { SafeArrayDestroy(array_); }
  SAFEARRAY* get() const { return array_; }
  SAFEARRAY* Detach() { return std::exchange(array_, nullptr); }
  SAFEARRAY** Out() {
    SafeArrayDestroy(std::exchange(array_, nullptr));
    return &array_;
  }

 private:
  SAFEARRAY* array_ = nullptr;
};

// A one-dimensional VT_I4 array with lower bound 0 holding values, or null when empty.
SAFEARRAY* MakeLongArray(const std::vector<int32_t>& values);

}  // namespace qel::com
