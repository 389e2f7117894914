#include "ladspa_host.h"

#include <ladspa.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "channel_groups.h"
#include "shared_library.h"

namespace qel::plugins {

namespace {

// Debian installs the SDK's plug-ins in the first, packages built for the
// architecture in the last.
const char* const kDebianDirectories[] = {"/usr/lib/ladspa", "/usr/local/lib/ladspa",
                                          "/usr/lib/x86_64-linux-gnu/ladspa"};

bool IsControlInput(LADSPA_PortDescriptor port) {
  return LADSPA_IS_PORT_CONTROL(port) && LADSPA_IS_PORT_INPUT(port);
}

// A default from the hints, on the working range. LADSPA places the low,
// middle and high defaults on a logarithmic scale for logarithmic ports.
double DefaultFromHints(LADSPA_PortRangeHintDescriptor hints, const ParamInfo& param) {
  const double lo = param.minimum;
  const double hi = param.maximum;
  const auto between = [&](double weightOfHigh) {
    if (param.logarithmic && hi > 0.0) {
      const double floor = LogFloor(param);
      return std::exp(std::log(floor) * (1.0 - weightOfHigh) + std::log(hi) * weightOfHigh);
    }
    return lo * (1.0 - weightOfHigh) + hi * weightOfHigh;
  };
  switch (hints & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_MINIMUM:
      return lo;
    case LADSPA_HINT_DEFAULT_LOW:
      return between(0.25);
    case LADSPA_HINT_DEFAULT_MIDDLE:
      return between(0.5);
    case LADSPA_HINT_DEFAULT_HIGH:
      return between(0.75);
    case LADSPA_HINT_DEFAULT_MAXIMUM:
      return hi;
    case LADSPA_HINT_DEFAULT_0:
      return 0.0;
    case LADSPA_HINT_DEFAULT_1:
      return 1.0;
    case LADSPA_HINT_DEFAULT_100:
      return 100.0;
    case LADSPA_HINT_DEFAULT_440:
      return 440.0;
    default:
      // None given: the lower bound, or zero on a range that is open below.
      return param.boundedBelow ? lo : std::min(0.0, hi);
  }
}

// The default when it does not depend on the range, else 0.
double FixedDefault(LADSPA_PortRangeHintDescriptor hints) {
  switch (hints & LADSPA_HINT_DEFAULT_MASK) {
    case LADSPA_HINT_DEFAULT_1:
      return 1.0;
    case LADSPA_HINT_DEFAULT_100:
      return 100.0;
    case LADSPA_HINT_DEFAULT_440:
      return 440.0;
    default:
      return 0.0;
  }
}

ParamInfo ParamFromHints(const LADSPA_PortRangeHint& range, const char* name, size_t port,
                         double sampleRate) {
  const LADSPA_PortRangeHintDescriptor hints = range.HintDescriptor;
  ParamInfo param;
  param.key = std::to_string(port);
  param.name = name ? name : "";
  param.toggled = LADSPA_IS_HINT_TOGGLED(hints);
  param.logarithmic = LADSPA_IS_HINT_LOGARITHMIC(hints) && !param.toggled;
  param.integer = LADSPA_IS_HINT_INTEGER(hints) && !param.toggled;
  if (param.toggled) {
    param.minimum = 0.0;
    param.maximum = 1.0;
    param.defaultValue = (hints & LADSPA_HINT_DEFAULT_MASK) == LADSPA_HINT_DEFAULT_1 ? 1.0 : 0.0;
    return param;
  }
  const double scale = LADSPA_IS_HINT_SAMPLE_RATE(hints) ? sampleRate : 1.0;
  param.boundedBelow = LADSPA_IS_HINT_BOUNDED_BELOW(hints);
  param.boundedAbove = LADSPA_IS_HINT_BOUNDED_ABOVE(hints);
  CompleteRange(param, range.LowerBound * scale, range.UpperBound * scale, FixedDefault(hints));
  param.defaultValue = ClampParam(param, DefaultFromHints(hints, param));
  return param;
}

bool IsLatencyPort(const char* name) {
  if (!name) return false;
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == "latency" || lower == "_latency";
}

}  // namespace

std::vector<std::filesystem::path> LadspaSearchPath(const char* ladspaPath) {
  std::vector<std::filesystem::path> directories;
  if (ladspaPath) {
    std::string_view rest(ladspaPath);
    while (!rest.empty()) {
      const size_t colon = rest.find(':');
      const std::string_view part = rest.substr(0, colon);
      if (!part.empty()) directories.emplace_back(part);
      rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
  }
  if (directories.empty()) {
    directories.assign(std::begin(kDebianDirectories), std::end(kDebianDirectories));
  }
  return directories;
}

std::vector<std::filesystem::path> LadspaSearchPath() {
  return LadspaSearchPath(std::getenv("LADSPA_PATH"));
}

struct LadspaHost::Entry {
  std::shared_ptr<SharedLibrary> library;
  const LADSPA_Descriptor* descriptor = nullptr;
  std::vector<size_t> paramPorts;  // the port of each parameter
  std::vector<size_t> audioInputs;
  std::vector<size_t> audioOutputs;
};

namespace {

// One started plug-in handle: activated once its ports are connected,
// deactivated and cleaned up when dropped.
class LadspaHandle {
 public:
  LadspaHandle(const LADSPA_Descriptor* descriptor, LADSPA_Handle handle)
      : descriptor_(descriptor), handle_(handle) {}
  ~LadspaHandle() {
    if (active_ && descriptor_->deactivate) descriptor_->deactivate(handle_);
    if (descriptor_->cleanup) descriptor_->cleanup(handle_);
  }
  LadspaHandle(const LadspaHandle&) = delete;
  LadspaHandle& operator=(const LadspaHandle&) = delete;

  void Connect(size_t port, LADSPA_Data* location) {
    descriptor_->connect_port(handle_, static_cast<unsigned long>(port), location);
  }
  void Activate() {
    if (descriptor_->activate) descriptor_->activate(handle_);
    active_ = true;
  }
  void Run(size_t frames) { descriptor_->run(handle_, static_cast<unsigned long>(frames)); }

 private:
  const LADSPA_Descriptor* descriptor_;
  LADSPA_Handle handle_;
  bool active_ = false;
};

class LadspaInstance final : public GroupedInstance {
 public:
  LadspaInstance(std::shared_ptr<SharedLibrary> library, const LADSPA_Descriptor* descriptor,
                 std::vector<size_t> paramPorts, const std::vector<size_t>& audioInputs,
                 const std::vector<size_t>& audioOutputs, std::shared_ptr<const ParamValues> values,
                 double sampleRate, size_t channels)
      : GroupedInstance(channels, audioInputs.size(), audioOutputs.size(),
                        !LADSPA_IS_INPLACE_BROKEN(descriptor->Properties)),
        library_(std::move(library)),
        paramPorts_(std::move(paramPorts)),
        values_(std::move(values)) {
    const size_t portCount = descriptor->PortCount;
    for (size_t port = 0; port < portCount; ++port) {
      const LADSPA_PortDescriptor kind = descriptor->PortDescriptors[port];
      if (LADSPA_IS_PORT_CONTROL(kind) && LADSPA_IS_PORT_OUTPUT(kind) &&
          IsLatencyPort(descriptor->PortNames[port])) {
        latencyPort_ = port;
      }
    }
    for (size_t g = 0; g < GroupCount(); ++g) {
      const LADSPA_Handle raw =
          descriptor->instantiate(descriptor, static_cast<unsigned long>(sampleRate));
      if (!raw) {
        throw PluginError(std::string(descriptor->Name) + ": the plug-in refused to start at " +
                          std::to_string(static_cast<unsigned long>(sampleRate)) + " Hz");
      }
      handles_.push_back(std::make_unique<LadspaHandle>(descriptor, raw));
      controls_.emplace_back(portCount, 0.0f);
      LadspaHandle& handle = *handles_.back();
      for (size_t port = 0; port < portCount; ++port) {
        if (LADSPA_IS_PORT_CONTROL(descriptor->PortDescriptors[port])) {
          handle.Connect(port, &controls_.back()[port]);
        }
      }
      for (size_t i = 0; i < audioInputs.size(); ++i) {
        handle.Connect(audioInputs[i], InputBuffer(g, i));
      }
      for (size_t o = 0; o < audioOutputs.size(); ++o) {
        handle.Connect(audioOutputs[o], OutputBuffer(g, o));
      }
    }
    UpdateControls();
    for (auto& handle : handles_)
      handle->Activate();
  }

  double LatencyFrames() const override {
    return latencyPort_ && !controls_.empty() ? controls_.front()[*latencyPort_] : 0.0;
  }

 private:
  void UpdateControls() override {
    for (auto& ports : controls_) {
      for (size_t i = 0; i < paramPorts_.size(); ++i) {
        ports[paramPorts_[i]] = static_cast<LADSPA_Data>(values_->Get(i));
      }
    }
  }
  void RunGroup(size_t group, size_t frames) override { handles_[group]->Run(frames); }

  // Declared first: the handles run code of the library, which must stay
  // loaded until they are gone.
  std::shared_ptr<SharedLibrary> library_;
  std::vector<size_t> paramPorts_;
  std::shared_ptr<const ParamValues> values_;
  std::optional<size_t> latencyPort_;
  // Per group: a value for each port (the control ports are connected here;
  // the vectors are never resized after connecting).
  std::vector<std::vector<LADSPA_Data>> controls_;
  std::vector<std::unique_ptr<LadspaHandle>> handles_;
};

}  // namespace

LadspaHost::LadspaHost(std::vector<std::filesystem::path> directories)
    : directories_(std::move(directories)) {}

LadspaHost::~LadspaHost() = default;

bool LadspaHost::InPlaceBroken(size_t plugin) const {
  Name(plugin);
  return LADSPA_IS_INPLACE_BROKEN(entries_[plugin].descriptor->Properties);
}

void LadspaHost::Enumerate(const Offer& offer) {
  entries_.clear();
  std::set<std::filesystem::path> seenFiles;
  std::set<unsigned long> seenIds;
  for (const auto& directory : directories_) {
    std::error_code error;
    std::vector<std::filesystem::path> files;
    // A folder that is missing or unreadable is passed over, not an error.
    for (std::filesystem::directory_iterator item(directory, error), end; !error && item != end;
         item.increment(error)) {
      std::error_code ignored;
      if (item->path().extension() == ".so" && item->is_regular_file(ignored)) {
        files.push_back(item->path());
      }
    }
    // Directory order is arbitrary; the list must not be.
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      // The same file reached through two directories (a link) counts once.
      std::error_code ignored;
      if (!seenFiles.insert(std::filesystem::weakly_canonical(file, ignored)).second) continue;
      std::string problem;
      const auto library = SharedLibrary::Open(file, problem);
      if (!library) continue;
      const auto describe =
          reinterpret_cast<LADSPA_Descriptor_Function>(library->Symbol("ladspa_descriptor"));
      if (!describe) continue;
      for (unsigned long index = 0;; ++index) {
        const LADSPA_Descriptor* descriptor = describe(index);
        if (!descriptor) break;
        // A unique ID found again further along the path is shadowed, as
        // LADSPA_PATH order intends.
        if (!seenIds.insert(descriptor->UniqueID).second) continue;
        Entry entry;
        entry.library = library;
        entry.descriptor = descriptor;
        PluginInfo info;
        info.id = std::to_string(descriptor->UniqueID);
        info.name = descriptor->Name ? descriptor->Name : descriptor->Label;
        info.maker = descriptor->Maker ? descriptor->Maker : "";
        for (size_t port = 0; port < descriptor->PortCount; ++port) {
          const LADSPA_PortDescriptor kind = descriptor->PortDescriptors[port];
          if (IsControlInput(kind)) {
            entry.paramPorts.push_back(port);
            info.params.push_back(ParamFromHints(descriptor->PortRangeHints[port],
                                                 descriptor->PortNames[port], port, SampleRate()));
          } else if (LADSPA_IS_PORT_AUDIO(kind)) {
            (LADSPA_IS_PORT_INPUT(kind) ? entry.audioInputs : entry.audioOutputs).push_back(port);
          }
        }
        info.audioInputs = entry.audioInputs.size();
        info.audioOutputs = entry.audioOutputs.size();
        if (offer(std::move(info))) entries_.push_back(std::move(entry));
      }
    }
  }
}

std::vector<std::pair<std::string, double>> LadspaHost::ReadPreset(size_t, size_t) {
  return {};
}

std::unique_ptr<Instance> LadspaHost::Instantiate(size_t plugin, double sampleRate,
                                                  size_t channels) {
  CheckProcessable(plugin, channels);
  const Entry& entry = entries_[plugin];
  if (!entry.descriptor->run) {
    throw PluginError(Name(plugin) + ": the plug-in has no run function");
  }
  if (!(sampleRate >= 1.0)) {
    throw PluginError(Name(plugin) + ": cannot start at a sample rate of " +
                      std::to_string(sampleRate));
  }
  return std::make_unique<LadspaInstance>(entry.library, entry.descriptor, entry.paramPorts,
                                          entry.audioInputs, entry.audioOutputs, Values(plugin),
                                          sampleRate, channels);
}

}  // namespace qel::plugins
