#include "com/bstr.h"

#include <cstdlib>
#include <cstring>

namespace qel::com {

namespace {

// Layout of one allocation: [uint32 byte length][characters][terminator].
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocBytes(const void* bytes, uint32_t byteLength) {
  auto* block = static_cast<char*>(std::malloc(kPrefix + byteLength + sizeof(OLECHAR)));
  if (!block) return nullptr;
  std::memcpy(block, &byteLength, kPrefix);
  char* data = block + kPrefix;
  if (bytes)
    std::memcpy(data, bytes, byteLength);
  else
    std::memset(data, 0, byteLength);
  std::memset(data + byteLength, 0, sizeof(OLECHAR));
  return reinterpret_cast<BSTR>(data);
}

uint32_t LengthOf(const OLECHAR* text) {
  uint32_t n = 0;
  while (text[n])
    ++n;
  return n;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, LengthOf(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
  return AllocBytes(text, length * static_cast<uint32_t>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength) {
  return AllocBytes(bytes, byteLength);
}

int SysReAllocString(BSTR* target, const OLECHAR* text) {
  if (!target) return 0;
  return SysReAllocStringLen(target, text, text ? LengthOf(text) : 0);
}

int SysReAllocStringLen(BSTR* target, const OLECHAR* text, uint32_t length) {
  if (!target) return 0;
  BSTR fresh = SysAllocStringLen(text, length);
  if (!fresh) return 0;
  SysFreeString(*target);
  *target = fresh;
  return 1;
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - kPrefix);
}

uint32_t SysStringByteLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - kPrefix, kPrefix);
  return bytes;
}

uint32_t SysStringLen(BSTR text) {
  return SysStringByteLen(text) / static_cast<uint32_t>(sizeof(OLECHAR));
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    auto c = static_cast<unsigned char>(text[i]);
    char32_t cp = 0xFFFD;
    size_t extra = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      extra = 1;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      extra = 2;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      extra = 3;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (i + extra >= text.size()) {  // sequence cut short by the end of the text
      out.push_back(0xFFFD);
      break;
    }
    bool ok = true;
    for (size_t k = 1; k <= extra; ++k) {
      auto cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace qel::com
