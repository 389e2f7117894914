#include "lv2_host.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <tuple>

#include "channel_groups.h"
#include "lv2_world.h"

namespace qel::plugins {

namespace {

// What the host gives or tolerates: the URID map and unmap it passes, and
// properties that ask nothing of it (this host runs plug-ins off any
// real-time thread, gives separate buffers when asked, and runs every block).
constexpr std::array<std::string_view, 5> kSupportedFeatures = {
    LV2_URID__map, LV2_URID__unmap, LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken,
    LV2_CORE__isLive};

// Room for the events a plug-in writes to an atom output in one run; this
// host sends no events and reads none back.
constexpr size_t kAtomBufferBytes = 8192;

struct LilvStateFree {
  void operator()(LilvState* state) const { lilv_state_free(state); }
};

std::string AsText(const LilvNode* node) {
  return node && lilv_node_as_string(node) ? lilv_node_as_string(node) : std::string();
}

bool AsNumber(const LilvNode* node, double& out) {
  if (!node || !(lilv_node_is_float(node) || lilv_node_is_int(node))) return false;
  // lilv gives numbers as floats; the literal itself keeps 0.7 as 0.7.
  const std::string_view text = lilv_node_as_string(node);
  if (std::from_chars(text.data(), text.data() + text.size(), out).ec != std::errc()) {
    out = lilv_node_as_float(node);
  }
  return true;
}

// The unit's symbol from the units extension ("dB", "Hz", "ms"), whether the
// unit is one of the extension's or a plug-in's own with a units:symbol.
std::string UnitOf(const Lv2World& world, const LilvPlugin* plugin, const LilvPort* port) {
  const Lv2Node unit(lilv_port_get(plugin, port, world.Known().unit.get()));
  if (!unit) return {};
  const Lv2Node symbol(
      lilv_world_get(world.Get(), unit.get(), world.Known().unitSymbol.get(), nullptr));
  if (symbol) return AsText(symbol.get());
  // An unknown unit without a symbol: the last part of its URI.
  if (!lilv_node_is_uri(unit.get())) return {};
  const std::string uri = lilv_node_as_uri(unit.get());
  return uri.substr(uri.find_last_of("#/") + 1);
}

ParamInfo ParamOfPort(const Lv2World& world, const LilvPlugin* plugin, const LilvPort* port,
                      double sampleRate) {
  const auto& known = world.Known();
  ParamInfo param;
  param.key = AsText(lilv_port_get_symbol(plugin, port));
  const Lv2Node name(lilv_port_get_name(plugin, port));
  param.name = name ? AsText(name.get()) : param.key;
  param.unit = UnitOf(world, plugin, port);
  param.toggled = lilv_port_has_property(plugin, port, known.toggled.get());
  param.integer = !param.toggled && lilv_port_has_property(plugin, port, known.integer.get());
  param.logarithmic =
      !param.toggled && lilv_port_has_property(plugin, port, known.logarithmic.get());

  LilvNode* defaultNode = nullptr;
  LilvNode* minimumNode = nullptr;
  LilvNode* maximumNode = nullptr;
  lilv_port_get_range(plugin, port, &defaultNode, &minimumNode, &maximumNode);
  const Lv2Node defaultOwned(defaultNode), minimumOwned(minimumNode), maximumOwned(maximumNode);
  double lower = 0.0, upper = 1.0, fallback = 0.0;
  param.boundedBelow = AsNumber(minimumNode, lower);
  param.boundedAbove = AsNumber(maximumNode, upper);
  const bool hasDefault = AsNumber(defaultNode, fallback);
  if (param.toggled) {
    param.minimum = 0.0;
    param.maximum = 1.0;
    param.boundedBelow = param.boundedAbove = true;
    param.defaultValue = hasDefault && fallback > 0.0 ? 1.0 : 0.0;
    return param;
  }
  // Bounds given as multiples of the sample rate. The default is scaled as
  // well: written in the same terms as its bounds, it would otherwise fall
  // outside them.
  if (lilv_port_has_property(plugin, port, known.sampleRate.get())) {
    lower *= sampleRate;
    upper *= sampleRate;
    fallback *= sampleRate;
  }
  CompleteRange(param, lower, upper, hasDefault ? fallback : 0.0);
  param.defaultValue = ClampParam(param, hasDefault ? fallback : param.minimum);
  return param;
}

std::vector<Host::Preset> PresetsOf(const Lv2World& world, const LilvPlugin* plugin) {
  std::vector<Host::Preset> presets;
  const Lv2Nodes related(lilv_plugin_get_related(plugin, world.Known().preset.get()));
  if (!related) return presets;
  LILV_FOREACH(nodes, it, related.get()) {
    const LilvNode* preset = lilv_nodes_get(related.get(), it);
    // Presets live in files of their own that the plug-in's data only points
    // to; their labels are read from there.
    lilv_world_load_resource(world.Get(), preset);
    const Lv2Node label(lilv_world_get(world.Get(), preset, world.Known().label.get(), nullptr));
    const std::string id = lilv_node_as_uri(preset);
    presets.push_back({id, label ? AsText(label.get()) : id});
  }
  // lilv's order differs from one world to the next; a preset's index must not.
  std::sort(presets.begin(), presets.end(), [](const Host::Preset& a, const Host::Preset& b) {
    return std::tie(a.name, a.id) < std::tie(b.name, b.id);
  });
  return presets;
}

// How an instance connects each port.
enum class PortUse { kControl, kAudio, kCv, kAtomInput, kAtomOutput, kUnconnected };

// One started plug-in instance: activated once its ports are connected,
// deactivated and freed when dropped.
class Lv2Handle {
 public:
  explicit Lv2Handle(LilvInstance* instance) : instance_(instance) {}
  ~Lv2Handle() {
    if (active_) lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
  Lv2Handle(const Lv2Handle&) = delete;
  Lv2Handle& operator=(const Lv2Handle&) = delete;

  void Connect(uint32_t port, void* location) {
    lilv_instance_connect_port(instance_, port, location);
  }
  void Activate() {
    lilv_instance_activate(instance_);
    active_ = true;
  }
  void Run(size_t frames) { lilv_instance_run(instance_, static_cast<uint32_t>(frames)); }

 private:
  LilvInstance* instance_;
  bool active_ = false;
};

struct Layout {
  std::vector<PortUse> ports;
  std::vector<uint32_t> paramPorts;
  std::vector<uint32_t> audioInputs;
  std::vector<uint32_t> audioOutputs;
  std::optional<uint32_t> latencyPort;
  bool inPlace = true;
};

class Lv2Instance final : public GroupedInstance {
 public:
  Lv2Instance(std::shared_ptr<Lv2World> world, const LilvPlugin* plugin, const std::string& name,
              Layout layout, std::shared_ptr<const ParamValues> values, double sampleRate,
              size_t channels)
      : GroupedInstance(channels, layout.audioInputs.size(), layout.audioOutputs.size(),
                        layout.inPlace),
        world_(std::move(world)),
        layout_(std::move(layout)),
        values_(std::move(values)),
        sequenceType_(world_->Urids().Map(LV2_ATOM__Sequence)),
        chunkType_(world_->Urids().Map(LV2_ATOM__Chunk)) {
    const size_t portCount = layout_.ports.size();
    for (size_t g = 0; g < GroupCount(); ++g) {
      LilvInstance* raw = lilv_plugin_instantiate(plugin, sampleRate, world_->Urids().Features());
      if (!raw) {
        throw PluginError(name + ": the plug-in refused to start (lilv could not instantiate it)");
      }
      handles_.push_back(std::make_unique<Lv2Handle>(raw));
      Lv2Handle& handle = *handles_.back();
      Buffers& buffers = buffers_.emplace_back();
      buffers.controls.assign(portCount, 0.0f);
      for (uint32_t port = 0; port < portCount; ++port) {
        switch (layout_.ports[port]) {
          case PortUse::kControl:
            handle.Connect(port, &buffers.controls[port]);
            break;
          case PortUse::kCv:
            handle.Connect(port, buffers.cv.emplace_back(kChunkFrames, 0.0f).data());
            break;
          case PortUse::kAtomInput:
          case PortUse::kAtomOutput: {
            // uint64_t elements: atoms are 64-bit aligned.
            auto& atom = buffers.atoms.emplace_back();
            atom.port = port;
            atom.input = layout_.ports[port] == PortUse::kAtomInput;
            atom.storage.assign(kAtomBufferBytes / sizeof(uint64_t), 0);
            handle.Connect(port, atom.storage.data());
            break;
          }
          case PortUse::kAudio:
          case PortUse::kUnconnected:
            handle.Connect(port, nullptr);
            break;
        }
      }
      for (size_t i = 0; i < layout_.audioInputs.size(); ++i) {
        handle.Connect(layout_.audioInputs[i], InputBuffer(g, i));
      }
      for (size_t o = 0; o < layout_.audioOutputs.size(); ++o) {
        handle.Connect(layout_.audioOutputs[o], OutputBuffer(g, o));
      }
    }
    UpdateControls();
    for (auto& handle : handles_)
      handle->Activate();
  }

  double LatencyFrames() const override {
    return layout_.latencyPort && !buffers_.empty()
               ? buffers_.front().controls[*layout_.latencyPort]
               : 0.0;
  }

 private:
  struct AtomBuffer {
    uint32_t port = 0;
    bool input = true;
    std::vector<uint64_t> storage;
  };
  // One plug-in copy's port memory; never resized after connecting.
  struct Buffers {
    std::vector<float> controls;  // indexed by port
    std::vector<std::vector<float>> cv;
    std::vector<AtomBuffer> atoms;
  };

  void UpdateControls() override {
    for (auto& buffers : buffers_) {
      for (size_t i = 0; i < layout_.paramPorts.size(); ++i) {
        buffers.controls[layout_.paramPorts[i]] = static_cast<float>(values_->Get(i));
      }
    }
  }

  void RunGroup(size_t group, size_t frames) override {
    // Atom inputs carry an empty sequence; outputs offer their whole space.
    for (auto& atom : buffers_[group].atoms) {
      auto* header = reinterpret_cast<LV2_Atom_Sequence*>(atom.storage.data());
      if (atom.input) {
        header->atom.size = sizeof(LV2_Atom_Sequence_Body);
        header->atom.type = sequenceType_;
        header->body.unit = 0;
        header->body.pad = 0;
      } else {
        header->atom.size = static_cast<uint32_t>(kAtomBufferBytes - sizeof(LV2_Atom));
        header->atom.type = chunkType_;
      }
    }
    handles_[group]->Run(frames);
  }

  // Declared first: the plug-ins' code and data belong to the world.
  std::shared_ptr<Lv2World> world_;
  Layout layout_;
  std::shared_ptr<const ParamValues> values_;
  LV2_URID sequenceType_;
  LV2_URID chunkType_;
  std::vector<Buffers> buffers_;
  std::vector<std::unique_ptr<Lv2Handle>> handles_;
};

}  // namespace

struct Lv2Host::Entry {
  const LilvPlugin* plugin = nullptr;
};

Lv2Host::Lv2Host() : world_(std::make_shared<Lv2World>(extra_)) {}

Lv2Host::~Lv2Host() = default;

void Lv2Host::AddDirectories(const std::vector<std::filesystem::path>& directories) {
  std::vector<std::filesystem::path> extra = extra_;
  extra.insert(extra.end(), directories.begin(), directories.end());
  auto world = std::make_shared<Lv2World>(extra);
  // The list points into the old world.
  Clear();
  entries_.clear();
  extra_ = std::move(extra);
  world_ = std::move(world);
}

void Lv2Host::Enumerate(const Offer& offer) {
  entries_.clear();
  const auto& known = world_->Known();
  // By URI, whatever order lilv keeps them in.
  std::vector<std::pair<std::string, const LilvPlugin*>> found;
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world_->Get());
  LILV_FOREACH(plugins, it, plugins) {
    const LilvPlugin* plugin = lilv_plugins_get(plugins, it);
    found.emplace_back(lilv_node_as_uri(lilv_plugin_get_uri(plugin)), plugin);
  }
  std::sort(found.begin(), found.end());
  for (const auto& [uri, plugin] : found) {
    PluginInfo info;
    info.id = uri;
    const Lv2Node name(lilv_plugin_get_name(plugin));
    info.name = name ? AsText(name.get()) : info.id;
    const Lv2Node author(lilv_plugin_get_author_name(plugin));
    info.maker = AsText(author.get());
    const uint32_t portCount = lilv_plugin_get_num_ports(plugin);
    for (uint32_t index = 0; index < portCount; ++index) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
      const bool input = lilv_port_is_a(plugin, port, known.inputPort.get());
      if (lilv_port_is_a(plugin, port, known.audioPort.get())) {
        ++(input ? info.audioInputs : info.audioOutputs);
      } else if (input && lilv_port_is_a(plugin, port, known.controlPort.get())) {
        info.params.push_back(ParamOfPort(*world_, plugin, port, SampleRate()));
      }
    }
    info.presets = PresetsOf(*world_, plugin);
    if (offer(std::move(info))) entries_.push_back({plugin});
  }
}

std::vector<std::pair<std::string, double>> Lv2Host::ReadPreset(size_t plugin, size_t preset) {
  const Lv2Node uri = world_->Uri(PresetId(plugin, preset).c_str());
  const std::unique_ptr<LilvState, LilvStateFree> state(
      lilv_state_new_from_world(world_->Get(), world_->Urids().MapFeatureData(), uri.get()));
  if (!state) {
    throw PluginError(Name(plugin) + ": the preset \"" + PresetName(plugin, preset) +
                      "\" cannot be read");
  }
  struct Reader {
    UridMap& urids;
    std::vector<std::pair<std::string, double>> values;
  } reader{world_->Urids(), {}};
  // Without an instance, restoring only reports the port values.
  lilv_state_restore(
      state.get(), nullptr,
      [](const char* symbol, void* data, const void* value, uint32_t size, uint32_t type) {
        auto& reader = *static_cast<Reader*>(data);
        const char* typeUri = reader.urids.Unmap(type);
        const std::string_view kind = typeUri ? typeUri : "";
        double number;
        if (kind == LV2_ATOM__Float && size == sizeof(float)) {
          number = *static_cast<const float*>(value);
        } else if (kind == LV2_ATOM__Double && size == sizeof(double)) {
          number = *static_cast<const double*>(value);
        } else if ((kind == LV2_ATOM__Int || kind == LV2_ATOM__Bool) && size == sizeof(int32_t)) {
          number = *static_cast<const int32_t*>(value);
        } else if (kind == LV2_ATOM__Long && size == sizeof(int64_t)) {
          number = static_cast<double>(*static_cast<const int64_t*>(value));
        } else {
          return;  // not a number: no control port takes it
        }
        reader.values.emplace_back(symbol, number);
      },
      &reader, 0, nullptr);
  return std::move(reader.values);
}

std::unique_ptr<Instance> Lv2Host::Instantiate(size_t plugin, double sampleRate, size_t channels) {
  CheckProcessable(plugin, channels);
  if (!(sampleRate >= 1.0)) {
    throw PluginError(Name(plugin) + ": cannot start at a sample rate of " +
                      std::to_string(sampleRate));
  }
  const LilvPlugin* lilvPlugin = entries_[plugin].plugin;
  const auto& known = world_->Known();

  const Lv2Nodes required(lilv_plugin_get_required_features(lilvPlugin));
  LILV_FOREACH(nodes, it, required.get()) {
    const std::string feature = AsText(lilv_nodes_get(required.get(), it));
    bool supported = false;
    for (const auto uri : kSupportedFeatures)
      supported = supported || uri == feature;
    if (!supported) {
      throw PluginError(Name(plugin) + ": needs the LV2 feature <" + feature +
                        ">, which this host does not provide");
    }
  }

  Layout layout;
  layout.inPlace = !lilv_plugin_has_feature(lilvPlugin, known.inPlaceBroken.get());
  if (lilv_plugin_has_latency(lilvPlugin)) {
    layout.latencyPort = lilv_plugin_get_latency_port_index(lilvPlugin);
  }
  const uint32_t portCount = lilv_plugin_get_num_ports(lilvPlugin);
  for (uint32_t index = 0; index < portCount; ++index) {
    const LilvPort* port = lilv_plugin_get_port_by_index(lilvPlugin, index);
    const bool input = lilv_port_is_a(lilvPlugin, port, known.inputPort.get());
    PortUse use;
    if (lilv_port_is_a(lilvPlugin, port, known.audioPort.get())) {
      use = PortUse::kAudio;
      (input ? layout.audioInputs : layout.audioOutputs).push_back(index);
    } else if (lilv_port_is_a(lilvPlugin, port, known.controlPort.get())) {
      use = PortUse::kControl;
      if (input) layout.paramPorts.push_back(index);
    } else if (lilv_port_is_a(lilvPlugin, port, known.cvPort.get())) {
      use = PortUse::kCv;
    } else if (lilv_port_is_a(lilvPlugin, port, known.atomPort.get())) {
      use = input ? PortUse::kAtomInput : PortUse::kAtomOutput;
    } else if (lilv_port_has_property(lilvPlugin, port, known.connectionOptional.get())) {
      use = PortUse::kUnconnected;
    } else {
      throw PluginError(Name(plugin) + ": its port \"" +
                        AsText(lilv_port_get_symbol(lilvPlugin, port)) +
                        "\" is of a kind this host cannot connect");
    }
    layout.ports.push_back(use);
  }
  return std::make_unique<Lv2Instance>(world_, lilvPlugin, Name(plugin), std::move(layout),
                                       Values(plugin), sampleRate, channels);
}

}  // namespace qel::plugins
