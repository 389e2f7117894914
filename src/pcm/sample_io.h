// Reading and writing one interleaved PCM sample. 8-bit samples are unsigned
// around 128, the others signed little-endian. "Natural" values keep each size's
// own range (8-bit -128…127, 24-bit -8 388 608…8 388 607); the "wide" reading
// puts a 24-bit sample in the upper bytes of a 32-bit value, which is how the
// mixer and the band-limited resampler treat it.
#pragma once

#include <cstdint>
#include <cstring>

namespace PCM_CODEC {

template <int Bits>
struct Pcm;

template <>
struct Pcm<8> {
  static constexpr int kBytes = 1;
  static constexpr std::int32_t kMax = 127;
  static std::int32_t Read(const std::uint8_t* p) { return static_cast<std::int32_t>(p[0]) - 128; }
  static std::int32_t ReadWide(const std::uint8_t* p) { return Read(p); }
  static void Write(std::uint8_t* p, std::int32_t v) { p[0] = static_cast<std::uint8_t>(v + 128); }
};

template <>
struct Pcm<16> {
  static constexpr int kBytes = 2;
  static constexpr std::int32_t kMax = 32767;
  static std::int32_t Read(const std::uint8_t* p) {
    std::int16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  static std::int32_t ReadWide(const std::uint8_t* p) { return Read(p); }
  static void Write(std::uint8_t* p, std::int32_t v) {
    const auto s = static_cast<std::int16_t>(v);
    std::memcpy(p, &s, 2);
  }
};

template <>
struct Pcm<24> {
  static constexpr int kBytes = 3;
  static constexpr std::int32_t kMax = 8388607;
  static std::int32_t ReadWide(const std::uint8_t* p) {
    const std::uint32_t u = (static_cast<std::uint32_t>(p[0]) << 8) |
                            (static_cast<std::uint32_t>(p[1]) << 16) |
                            (static_cast<std::uint32_t>(p[2]) << 24);
    return static_cast<std::int32_t>(u);
  }
  static std::int32_t Read(const std::uint8_t* p) { return ReadWide(p) >> 8; }
  static void Write(std::uint8_t* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    p[0] = static_cast<std::uint8_t>(u);
    p[1] = static_cast<std::uint8_t>(u >> 8);
    p[2] = static_cast<std::uint8_t>(u >> 16);
  }
  // A 32-bit-scale value: its upper three bytes.
  static void WriteWide(std::uint8_t* p, std::int32_t v) { Write(p, v >> 8); }
};

template <>
struct Pcm<32> {
  static constexpr int kBytes = 4;
  static constexpr std::int32_t kMax = 2147483647;
  static std::int32_t Read(const std::uint8_t* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  static std::int32_t ReadWide(const std::uint8_t* p) { return Read(p); }
  static void Write(std::uint8_t* p, std::int32_t v) { std::memcpy(p, &v, 4); }
};

// Calls f.template operator()<Bits>() for a supported sample size; false otherwise.
template <class F>
bool DispatchBits(int bits, F&& f) {
  switch (bits) {
    case 8:
      f.template operator()<8>();
      return true;
    case 16:
      f.template operator()<16>();
      return true;
    case 24:
      f.template operator()<24>();
      return true;
    case 32:
      f.template operator()<32>();
      return true;
    default:
      return false;
  }
}

// One sample of a size known only at run time, in its natural range.
inline std::int32_t ReadSample(const std::uint8_t* p, int bits) {
  switch (bits) {
    case 8:
      return Pcm<8>::Read(p);
    case 16:
      return Pcm<16>::Read(p);
    case 24:
      return Pcm<24>::Read(p);
    default:
      return Pcm<32>::Read(p);
  }
}

inline void WriteSample(std::uint8_t* p, int bits, std::int32_t v) {
  switch (bits) {
    case 8:
      return Pcm<8>::Write(p, v);
    case 16:
      return Pcm<16>::Write(p, v);
    case 24:
      return Pcm<24>::Write(p, v);
    default:
      return Pcm<32>::Write(p, v);
  }
}

inline bool IsSupportedBits(int bits) {
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// One sample of a size known only at run time, in the wide scale: 8-bit as
// byte - 128, 16-bit signed, 24-bit in the upper bytes of 32, 32-bit signed.
// The scale in which the peaks of a document are kept and drawn; 0 for a size
// that is not supported.
inline std::int32_t ReadWideSample(const std::uint8_t* p, int bits) {
  switch (bits) {
    case 8:
      return Pcm<8>::ReadWide(p);
    case 16:
      return Pcm<16>::ReadWide(p);
    case 24:
      return Pcm<24>::ReadWide(p);
    case 32:
      return Pcm<32>::ReadWide(p);
    default:
      return 0;
  }
}

}  // namespace PCM_CODEC
