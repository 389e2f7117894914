// BSTR: a length-prefixed UTF-16 string, as automation clients pass strings.
// The 32-bit byte length sits just before the first character and a terminator
// follows the last one, so a BSTR can also be read as a C string.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "com/types.h"

namespace qel::com {

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength);
int SysReAllocString(BSTR* target, const OLECHAR* text);
int SysReAllocStringLen(BSTR* target, const OLECHAR* text, uint32_t length);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);
uint32_t SysStringByteLen(BSTR text);

// UTF-8 <-> UTF-16. Invalid sequences become U+FFFD rather than failing: a name
// the user typed must never make a call throw.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// A BSTR seen as a view (a null BSTR is the empty string).
inline std::u16string_view View(BSTR text) {
  return {text ? text : u"", SysStringLen(text)};
}
inline std::string ToUtf8(BSTR text) {
  return Utf16ToUtf8(View(text));
}

// Owns one BSTR and frees it on destruction.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text)
      : value_(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()))) {}
  static Bstr FromUtf8(std::string_view text) { return Bstr(Utf8ToUtf16(text)); }
  static Bstr Attach(BSTR text) {
    Bstr b;
    b.value_ = text;
    return b;
  }
  Bstr(const Bstr& other)
      : value_(other.value_ ? SysAllocStringLen(other.value_, other.size()) : nullptr) {}
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  ~Bstr() { SysFreeString(value_); }

  BSTR get() const { return value_; }
  BSTR Detach() { return std::exchange(value_, nullptr); }
  BSTR* Out() {
    SysFreeString(std::exchange(value_, nullptr));
    return &value_;
  }
  uint32_t size() const { return SysStringLen(value_); }
  std::u16string_view view() const { return View(value_); }
  std::string utf8() const { return ToUtf8(value_); }

 private:
  BSTR value_ = nullptr;
};

}  // namespace qel::com
