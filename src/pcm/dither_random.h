// Noise generators for dither. All of them draw from the same 32-bit linear
// congruential source seeded with 0xDEADBEEF, so a conversion always sees the
// same noise: converting the same material twice gives identical files.
#pragma once

#include <array>
#include <cstdint>

namespace PCM_CODEC::DITHERNG {

class RandomNumber {
 public:
  static constexpr std::uint32_t kSeed = 0xDEADBEEF;

  RandomNumber() = default;
  virtual ~RandomNumber() = default;
  RandomNumber(const RandomNumber&) = default;
  RandomNumber& operator=(const RandomNumber&) = default;

  virtual double Next() = 0;

 protected:
  // x := x * 0x085DB88D + 1 (mod 2^32), scaled to 0…1 inclusive.
  double Uniform01() {
    seed_ = seed_ * 0x085DB88Du + 1u;
    return static_cast<double>(seed_) / 4294967295.0;
  }

 private:
  std::uint32_t seed_ = kSeed;
};

// Sum of two uniform draws minus one: -1…1, triangular density.
class UniformRandom final : public RandomNumber {
 public:
  double Next() override;
};

// u1 when the second draw is larger, otherwise minus the second draw: -1…1,
// density 1 - |v|.
class TriangleRandom final : public RandomNumber {
 public:
  double Next() override;
};

// Unit-variance normal values by the polar method.
class GaussRandom final : public RandomNumber {
 public:
  double Next() override;
};

// Gaussian noise through a sixth-order IIR whose coefficients depend on the
// sample rate, to colour the dither for that rate.
class ColoredRandom final : public RandomNumber {
 public:
  struct Coefficients {
    std::array<double, 7> b;
    std::array<double, 7> a;  // a[0] = 1
  };

  explicit ColoredRandom(int sampleRate);
  double Next() override;

  static const Coefficients& ForSampleRate(int sampleRate);

 private:
  GaussRandom source_;
  std::array<double, 7> w_{};
  const Coefficients* coefficients_;
};

}  // namespace PCM_CODEC::DITHERNG
