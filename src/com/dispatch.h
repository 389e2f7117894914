// Table-driven late binding. Every dual interface has one table that lists, in
// vtable order, each member's dispatch identifier, name, kind and parameters with
// an invoker generated from the member pointer; GetIDsOfNames, Invoke and the type
// information all read that table, so a late-bound call reaches exactly the
// member in the vtable slot the table names.
#pragma once

#include <array>
#include <cstring>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>

#include "com/errorinfo.h"
#include "com/object.h"

namespace qel::com {

struct tagRECT {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};
using RECT = tagRECT;

enum class MemberKind : uint8_t { Method = 1, PropGet = 2, PropPut = 4, PropPutRef = 8 };
enum class ParamDir : uint8_t { In, Out, Retval, InOut };

struct ParamInfo {
  const char16_t* name = nullptr;
  VARTYPE vt = VT_EMPTY;  // declared type; pointers carry VT_BYREF, arrays VT_ARRAY | element
  ParamDir dir = ParamDir::In;
};

inline constexpr size_t kMaxParams = 14;

struct DispEntry;
using InvokeFn = HRESULT (*)(IDispatch* self, const DispEntry& entry, VARIANT** args,
                             VARIANT* result, int* badArg);

struct DispEntry {
  DISPID id;
  const char16_t* name;
  MemberKind kind;
  int slot;  // vtable slot the table order gives this member (IDispatch takes 0 to 6)
  uint8_t paramCount;
  std::array<ParamInfo, kMaxParams> params;
  InvokeFn invoke;
  int (*abiSlot)();  // the slot the compiler gave the member, for the table walk test

  std::span<const ParamInfo> Params() const { return {params.data(), paramCount}; }
};

struct DispTable {
  IID iid;
  const char16_t* name;
  std::span<const DispEntry> entries;
  bool outgoing = false;  // an event interface: implemented by sinks, not by us
};

// A class as a module describes it: identity, names and interfaces.
struct ClassDescription {
  CLSID clsid;
  const char* name;
  const char* description;
  IID defaultInterface;
  IID defaultSource;  // GUID_NULL when the class has no events
  bool control;
  const char* progId;             // version-dependent
  const char* independentProgId;  // version-independent
};

// Case-insensitive comparison of member names (ASCII, as the names are).
bool NamesEqual(std::u16string_view a, std::u16string_view b);

// The pieces of IDispatch that only need the table.
HRESULT TableGetIDsOfNames(const DispTable& table, OLECHAR** names, uint32_t count, DISPID* ids);
HRESULT TableInvoke(const DispTable& table, IDispatch* self, DISPID id, uint16_t flags,
                    DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo, uint32_t* argErr);
// Type information describing the table (functions, names, parameter counts).
HRESULT TableTypeInfo(const DispTable& table, ITypeInfo** info);

// Vtable slot of a pointer to a virtual member (Itanium C++ ABI: the pointer
// holds 1 + the byte offset of the slot).
template <class M>
int VtableSlotOf(M member) {
  static_assert(sizeof(M) == 2 * sizeof(void*));
  uintptr_t raw[2];
  std::memcpy(raw, &member, sizeof raw);
  if ((raw[0] & 1) == 0) return -1;  // not virtual
  return static_cast<int>((raw[0] - 1) / sizeof(void*));
}

// ---- argument conversion -------------------------------------------------

namespace detail {

template <class T>
struct MemberTraits;
template <class I, class... A>
struct MemberTraits<HRESULT (I::*)(A...)> {
  using Interface = I;
  static constexpr size_t kArity = sizeof...(A);
};

HRESULT Coerce(const VARIANT* src, VARTYPE vt, Variant* out);
HRESULT CoerceArray(const VARIANT* src, VARTYPE elementVt, SafeArray* owned, SAFEARRAY** out);
// Hands value (owned) to the caller: through the by-reference argument when one
// was passed, else as the call's result.
HRESULT DeliverOut(Variant&& value, VARIANT* byrefArg, VARIANT* result);

template <class T>
inline constexpr bool kIsInterfacePtr =
    std::is_pointer_v<T>&& std::is_base_of_v<IUnknown, std::remove_pointer_t<T>>;

// In-parameter passed by value.
template <class T, class = void>
struct Arg;

template <class T>
struct ScalarArg {
  T value{};
  HRESULT Load(const VARIANT* src, const ParamInfo& p) {
    Variant v;
    HRESULT hr = Coerce(src, p.vt, &v);
    if (Failed(hr)) return hr;
    std::memcpy(&value, &v.llVal, sizeof(T));
    return S_OK;
  }
  T Get() { return value; }
  HRESULT Finish(VARIANT*, VARIANT*, const ParamInfo&) { return S_OK; }
};

template <>
struct Arg<int32_t> : ScalarArg<int32_t> {};
template <>
struct Arg<int64_t> : ScalarArg<int64_t> {};
template <>
struct Arg<double> : ScalarArg<double> {};
template <>
struct Arg<int16_t> : ScalarArg<int16_t> {};
template <>
struct Arg<uint32_t> : ScalarArg<uint32_t> {};

template <>
struct Arg<BSTR> {
  Variant holder;
  HRESULT Load(const VARIANT* src, const ParamInfo&) { return Coerce(src, VT_BSTR, &holder); }
  BSTR Get() { return holder.bstrVal; }
  HRESULT Finish(VARIANT*, VARIANT*, const ParamInfo&) { return S_OK; }
};

template <>
struct Arg<VARIANT> {
  Variant holder;
  HRESULT Load(const VARIANT* src, const ParamInfo&) { return VariantCopyInd(&holder, src); }
  VARIANT Get() { return holder; }
  HRESULT Finish(VARIANT*, VARIANT*, const ParamInfo&) { return S_OK; }
};

template <class T>
struct Arg<T*, std::enable_if_t<std::is_base_of_v<IUnknown, T>>> {
  ComPtr<T> holder;
  HRESULT Load(const VARIANT* src, const ParamInfo&) {
    Variant v;
    HRESULT hr = Coerce(src, VT_UNKNOWN, &v);
    if (Failed(hr)) return hr;
    if (!v.punkVal) return S_OK;
    if constexpr (std::is_same_v<T, IUnknown>) {
      holder = ComPtr<IUnknown>(v.punkVal);
      return S_OK;
    } else {
      return Succeeded(v.punkVal->QueryInterface(T::kIID, holder.OutVoid())) ? S_OK
                                                                             : DISP_E_TYPEMISMATCH;
    }
  }
  T* Get() { return holder.get(); }
  HRESULT Finish(VARIANT*, VARIANT*, const ParamInfo&) { return S_OK; }
};

// Raw byte pointer handed over by the host (a bitmap it keeps alive).
template <>
struct Arg<uint8_t*> {
  uint8_t* value = nullptr;
  HRESULT Load(const VARIANT* src, const ParamInfo&) {
    // Left out (the parameter is a pointer, so a script may omit it): no picture.
    if (!src || src->vt == VT_EMPTY || src->vt == VT_NULL || src->vt == VT_ERROR) return S_OK;
    if (src->vt == (VT_BYREF | VT_UI1)) {
      value = src->pbVal;
      return S_OK;
    }
    Variant v;
    HRESULT hr = Coerce(src, VT_I8, &v);
    if (Failed(hr)) return hr;
    value = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(v.llVal));
    return S_OK;
  }
  uint8_t* Get() { return value; }
  HRESULT Finish(VARIANT*, VARIANT*, const ParamInfo&) { return S_OK; }
};

// Variant for a value that leaves the call.
template <class S>
Variant ToVariant(S&& value, VARTYPE vt) {
  Variant v;
  using T = std::decay_t<S>;
  if constexpr (std::is_same_v<T, BSTR>) {
    v.vt = VT_BSTR;
    v.bstrVal = std::exchange(value, nullptr);
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    static_cast<VARIANT&>(v) = value;
    VariantInit(&value);
  } else if constexpr (std::is_same_v<T, SAFEARRAY*>) {
    VARTYPE element = vt & VT_TYPEMASK;
    if (value) SafeArrayGetVartype(value, &element);
    v.vt = VT_ARRAY | element;
    v.parray = std::exchange(value, nullptr);
  } else if constexpr (kIsInterfacePtr<T>) {
    if constexpr (std::is_base_of_v<IDispatch, std::remove_pointer_t<T>>) {
      v.vt = VT_DISPATCH;
      v.pdispVal = std::exchange(value, nullptr);
    } else {
      v.vt = VT_UNKNOWN;
      v.punkVal = std::exchange(value, nullptr);
    }
  } else {
    v.vt = vt & VT_TYPEMASK;
    std::memcpy(&v.llVal, &value, sizeof(T));
  }
  return v;
}

template <class S>
void ReleaseOwned(S& value) {
  using T = std::decay_t<S>;
  if constexpr (std::is_same_v<T, BSTR>) {
    SysFreeString(std::exchange(value, nullptr));
  } else if constexpr (std::is_same_v<T, VARIANT>) {
    VariantClear(&value);
  } else if constexpr (std::is_same_v<T, SAFEARRAY*>) {
    SafeArrayDestroy(std::exchange(value, nullptr));
  } else if constexpr (kIsInterfacePtr<T>) {
    if (value) std::exchange(value, nullptr)->Release();
  }
}

// Pointer parameter: an out value, a retval, or a value passed by reference.
template <class S>
struct Arg<S*, std::enable_if_t<!std::is_base_of_v<IUnknown, S> && !std::is_same_v<S, uint8_t> &&
                                !std::is_same_v<S, tagRECT> && !std::is_same_v<S, SAFEARRAY*>>> {
  S storage{};
  Arg() {
    if constexpr (std::is_same_v<S, VARIANT>) VariantInit(&storage);
  }
  ~Arg() { ReleaseOwned(storage); }
  HRESULT Load(const VARIANT* src, const ParamInfo& p) {
    if (!src || p.dir == ParamDir::Out || p.dir == ParamDir::Retval) return S_OK;
    if constexpr (std::is_same_v<S, VARIANT>) {
      return VariantCopyInd(&storage, src);
    } else if constexpr (std::is_same_v<S, BSTR>) {
      Variant v;
      HRESULT hr = Coerce(src, VT_BSTR, &v);
      if (Succeeded(hr)) storage = std::exchange(v.bstrVal, nullptr);
      return hr;
    } else if constexpr (kIsInterfacePtr<S>) {
      return S_OK;  // interfaces only travel outwards here
    } else {
      Variant v;
      HRESULT hr = Coerce(src, p.vt & VT_TYPEMASK, &v);
      if (Succeeded(hr)) std::memcpy(&storage, &v.llVal, sizeof(S));
      return hr;
    }
  }
  S* Get() { return &storage; }
  HRESULT Finish(VARIANT* src, VARIANT* result, const ParamInfo& p) {
    if (p.dir == ParamDir::In && !(src && (src->vt & VT_BYREF))) return S_OK;
    return DeliverOut(ToVariant(storage, p.vt), src, result);
  }
};

// SAFEARRAY**: an array going in (an array argument) or coming out (a result).
template <>
struct Arg<SAFEARRAY**> {
  SafeArray owned;
  SAFEARRAY* array = nullptr;
  bool out = false;
  HRESULT Load(const VARIANT* src, const ParamInfo& p) {
    out = p.dir == ParamDir::Out || p.dir == ParamDir::Retval;
    if (out || !src) return S_OK;
    return CoerceArray(src, p.vt & VT_TYPEMASK, &owned, &array);
  }
  SAFEARRAY** Get() { return &array; }
  HRESULT Finish(VARIANT* src, VARIANT* result, const ParamInfo& p) {
    if (!out) {
      // The callee may have replaced an array it was handed; keep ours freed.
      if (array != owned.get() && owned.get()) owned = SafeArray();
      return S_OK;
    }
    return DeliverOut(ToVariant(array, p.vt), src, result);
  }
  ~Arg() {
    if (out) SafeArrayDestroy(array);
  }
};

// A rectangle passed in and out: four 32-bit values in an array
// {left, top, right, bottom}; a missing argument passes null.
template <>
struct Arg<tagRECT*> {
  tagRECT rect{};
  bool present = false;
  HRESULT Load(const VARIANT* src, const ParamInfo&) {
    if (!src || src->vt == VT_EMPTY || src->vt == VT_NULL || src->vt == VT_ERROR) return S_OK;
    SafeArray owned;
    SAFEARRAY* a = nullptr;
    HRESULT hr = CoerceArray(src, VT_I4, &owned, &a);
    if (Failed(hr)) return hr;
    if (!a || SafeArrayElementCount(a) != 4) return DISP_E_TYPEMISMATCH;
    std::memcpy(&rect, a->pvData, sizeof rect);
    present = true;
    return S_OK;
  }
  tagRECT* Get() { return present ? &rect : nullptr; }
  HRESULT Finish(VARIANT* src, VARIANT*, const ParamInfo&) {
    if (!present || !src || !(src->vt & VT_BYREF) || !(src->vt & VT_ARRAY)) return S_OK;
    SAFEARRAY* a = *src->pparray;
    if (a && SafeArrayElementCount(a) == 4 && a->cbElements == 4)
      std::memcpy(a->pvData, &rect, sizeof rect);
    return S_OK;
  }
};

template <auto M, size_t... Is>
HRESULT InvokeWith(IDispatch* self, const DispEntry& e, VARIANT** args, VARIANT* result,
                   int* badArg, std::index_sequence<Is...>) {
  using Traits = MemberTraits<decltype(M)>;
  using I = typename Traits::Interface;
  auto call = [&]<class... A>(HRESULT (I::*)(A...)) -> HRESULT {
    std::tuple<Arg<A>...> holders;
    HRESULT hr = S_OK;
    [[maybe_unused]] auto load = [&](auto& holder, size_t i) {
      if (Failed(hr)) return;
      hr = holder.Load(args[i], e.params[i]);
      if (Failed(hr)) *badArg = static_cast<int>(i);
    };
    (load(std::get<Is>(holders), Is), ...);
    if (Failed(hr)) return hr;
    hr = (static_cast<I*>(self)->*M)(std::get<Is>(holders).Get()...);
    if (Failed(hr)) return hr;
    HRESULT delivered = S_OK;
    [[maybe_unused]] auto finish = [&](auto& holder, size_t i) {
      HRESULT r = holder.Finish(args[i], result, e.params[i]);
      if (Failed(r) && Succeeded(delivered)) delivered = r;
    };
    (finish(std::get<Is>(holders), Is), ...);
    return Failed(delivered) ? delivered : hr;
  };
  return call(M);
}

}  // namespace detail

template <auto M>
HRESULT InvokeMember(IDispatch* self, const DispEntry& e, VARIANT** args, VARIANT* result,
                     int* badArg) {
  using Traits = detail::MemberTraits<decltype(M)>;
  return detail::InvokeWith<M>(self, e, args, result, badArg,
                               std::make_index_sequence<Traits::kArity>{});
}

template <auto M>
int AbiSlot() {
  return VtableSlotOf(M);
}

// IDispatch for an object whose automation interface is I (I::DispatchTable()
// describes it). Derived lists the further interfaces it implements.
template <class Derived, class I, class... Others>
class DispatchObject : public ComObject<Derived, I, Others...> {
 public:
  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return TableTypeInfo(I::DispatchTable(), info);
  }
  HRESULT GetIDsOfNames(REFIID, OLECHAR** names, uint32_t count, LCID, DISPID* ids) override {
    return TableGetIDsOfNames(I::DispatchTable(), names, count, ids);
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, uint32_t* argErr) override {
    return TableInvoke(I::DispatchTable(), static_cast<I*>(this), id, flags, params, result,
                       excepInfo, argErr);
  }
};

}  // namespace qel::com
