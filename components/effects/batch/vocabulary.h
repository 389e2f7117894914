// The effects a batch may chain, as XML elements: each element names a kind
// of processor, the attributes its parameters, with their ranges.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "processor.h"

namespace qel::effects::batch {

// One attribute: the parameter it sets and the values it takes.
struct Attribute {
  std::string_view name;
  int index;         // P-index of the kind
  double low, high;  // inclusive range (of every element of a list)
  bool required;
  bool list = false;  // a list of numbers separated by spaces or commas
  bool flag = false;  // "true"/"false" (or 1/0), sent as −1/0
};

// A fixed parameter an element sends before its attributes (the filter type).
struct Fixed {
  int index;
  double value;
};

struct Element {
  std::string_view name;
  std::unique_ptr<Processor> (*make)();
  std::span<const Fixed> fixed;
  std::span<const Attribute> attributes;
  // Which samples the kind expects: 24-bit ones divided by 256 (level-dependent
  // kinds) or 24/32-bit ones by 65536 (pitch and time).
  double scale24 = 1.0;
  double scale32 = 1.0;
};

std::span<const Element> Elements();
const Element* FindElement(std::string_view name);

}  // namespace qel::effects::batch
