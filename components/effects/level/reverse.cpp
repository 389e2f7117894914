#include "reverse.h"

#include <algorithm>

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeReverse() {
  return std::make_unique<level::Reverse>();
}

namespace level {

void Reverse::Process(std::span<const double> in, const BlockInfo& /*info*/,
                      std::vector<double>& out) {
  out.resize(in.size());
  std::reverse_copy(in.begin(), in.end(), out.begin());
}

}  // namespace level
}  // namespace qel::effects
