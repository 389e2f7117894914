#include "invert.h"

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeInvert() {
  return std::make_unique<level::Invert>();
}

namespace level {

void Invert::Process(std::span<const double> in, const BlockInfo& /*info*/,
                     std::vector<double>& out) {
  out.resize(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    out[i] = -in[i];
  }
}

}  // namespace level
}  // namespace qel::effects
