#include "silence.h"

#include "processors.h"

namespace qel::effects {

std::unique_ptr<Processor> MakeSilence() {
  return std::make_unique<level::Silence>();
}

namespace level {

void Silence::Process(std::span<const double> in, const BlockInfo& /*info*/,
                      std::vector<double>& out) {
  out.assign(in.size(), 0.0);
}

}  // namespace level
}  // namespace qel::effects
