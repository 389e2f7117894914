// Reference-counted objects and smart pointers. ComObject gives a class its
// IUnknown (reference count, QueryInterface over the interfaces it lists and
// their bases); ComPtr holds one reference.
#pragma once

#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "com/interfaces.h"

namespace qel::com {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U> other) : p_(other.Detach()) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }

  // Adopts a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  T** Out() {
    Reset();
    return &p_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  // A reference to this object for an out-parameter.
  T* CopyOut() const {
    if (p_) p_->AddRef();
    return p_;
  }
  template <class U>
  ComPtr<U> As() const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(U::kIID, out.OutVoid());
    return out;
  }

 private:
  T* p_ = nullptr;
};

namespace detail {

template <class I>
concept HasBase = requires {
  typename I::Base;
};

// Whether iid names I or one of the interfaces it derives from.
template <class I>
bool MatchesInterface(REFIID iid) {
  if (iid == I::kIID) return true;
  if constexpr (HasBase<I>) return MatchesInterface<typename I::Base>(iid);
  return false;
}

template <class Self, class First, class... Rest>
void* FindInterface(Self* self, REFIID iid) {
  if (MatchesInterface<First>(iid)) return static_cast<First*>(self);
  if constexpr (sizeof...(Rest) > 0)
    return FindInterface<Self, Rest...>(self, iid);
  else
    return nullptr;
}

}  // namespace detail

// Base of every reference-counted object. Interfaces lists the interfaces the
// object implements; the first one answers IUnknown. An interface that derives
// from another names it as `using Base = ...;` so that the base is found too
// (IUnknown and IDispatch are always recognised).
template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    void* found = nullptr;
    if (iid == IUnknown::kIID)
      found = static_cast<FirstInterface*>(this);
    else
      found = detail::FindInterface<ComObject, Interfaces...>(this, iid);
    if (!found) found = static_cast<Derived*>(this)->QueryExtraInterface(iid);
    *object = found;
    if (!found) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // Creates an object with one reference held by the returned pointer.
  template <class... Args>
  static ComPtr<Derived> Create(Args&&... args) {
    auto* raw = new (std::nothrow) Derived(std::forward<Args>(args)...);
    return ComPtr<Derived>(raw);
  }

  // Hook for interfaces answered by a member object (tear-offs); none by default.
  void* QueryExtraInterface(REFIID) { return nullptr; }

  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 protected:
  virtual ~ComObject() = default;
  IUnknown* Unknown() { return static_cast<FirstInterface*>(this); }

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  std::atomic<ULONG> refs_{0};
};

}  // namespace qel::com
