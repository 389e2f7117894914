#include "chain.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "pcm/channel_samples.h"
#include "vocabulary.h"

namespace qel::effects {
namespace {

using batch::Attribute;
using batch::Element;

struct Step {
  const Element* element;
  std::vector<std::pair<int, ParamValue>> params;  // fixed ones first, in order
};

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Joins pieces of a message (appending rather than chaining operator+, which
// some compilers misjudge at high optimisation).
std::string Words(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces)
    out.append(piece);
  return out;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Tag(std::string_view name) {
  return Words({"<", name, ">"});
}

bool ParseNumber(std::string_view text, double* value) {
  while (!text.empty() && text.front() == ' ')
    text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ')
    text.remove_suffix(1);
  if (text.empty()) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size() && std::isfinite(*value);
}

// Reads one attribute's value; an empty string when it is fine, else why not.
std::string ReadValue(const Attribute& a, std::string_view text, ParamValue* value) {
  const std::string where = Words({"attribute '", a.name, "'"});
  if (a.flag) {
    if (text == "true" || text == "1")
      *value = -1.0;
    else if (text == "false" || text == "0")
      *value = 0.0;
    else
      return where + " takes true or false";
    return {};
  }
  auto inRange = [&](double v) { return v >= a.low && v <= a.high; };
  const std::string range = Words({" must lie between ", Number(a.low), " and ", Number(a.high)});
  if (a.list) {
    std::vector<double> numbers;
    size_t from = 0;
    while (from <= text.size()) {
      size_t to = text.find_first_of(" ,", from);
      if (to == std::string_view::npos) to = text.size();
      if (to > from) {
        double v = 0;
        if (!ParseNumber(text.substr(from, to - from), &v))
          return where + " is not a list of numbers";
        if (!inRange(v)) return "every value of " + where + range;
        numbers.push_back(v);
      }
      from = to + 1;
    }
    if (numbers.empty()) return where + " is empty";
    *value = std::move(numbers);
    return {};
  }
  double v = 0;
  if (!ParseNumber(text, &v)) return where + " is not a number";
  if (!inRange(v)) return where + range;
  *value = v;
  return {};
}

class BatchChain final : public FrameProcessor {
 public:
  bool SetParam(int index, const ParamValue& value) override {
    const auto* text = std::get_if<std::u16string>(&value);
    if (index != 1 || !text) {
      problem_ = "the batch takes its effects as XML text in P1";
      return false;
    }
    std::vector<Step> steps;
    problem_ = Parse(Utf8(*text), &steps);
    if (!problem_.empty()) return false;
    steps_ = std::move(steps);
    return true;
  }

  std::string Problem() const override { return problem_; }

  void Start(const PcmFormat& format) override {
    format_ = format;
    channels_.clear();
    channels_.resize(static_cast<size_t>(format.channels));
    for (Channel& channel : channels_)
      for (const Step& step : steps_) {
        std::unique_ptr<Processor> p = step.element->make();
        for (const auto& [index, value] : step.params)
          p->SetParam(index, value);
        const double scale = Scale(*step.element);
        const int fullBits = format.bitsPerSample >= 24 ? 31 : format.bitsPerSample - 1;
        const double full = std::ldexp(1.0, fullBits) / scale;
        p->Start({format.sampleRate, format.bitsPerSample, full});
        channel.stages.push_back({std::move(p), scale, 0});
      }
  }

  void Process(std::span<const uint8_t> in, bool last, std::vector<uint8_t>& out) override {
    const int32_t align = format_.BlockAlign();
    const int64_t frames = static_cast<int64_t>(in.size()) / align;
    int64_t produced = -1;
    for (size_t c = 0; c < channels_.size(); ++c) {
      Channel& channel = channels_[c];
      // The samples travel between stages in the 32-bit scale of the size
      // (8- and 16-bit in their own); each stage gets them in the scale its
      // kind expects.
      PCM_CODEC::SampleLayout layout{format_.bitsPerSample, format_.channels, 0.0};
      channel.buffer.resize(static_cast<size_t>(frames));
      PCM_CODEC::ChannelToDoubles(in.data(), frames, static_cast<int32_t>(c), layout,
                                  channel.buffer.data());
      for (Stage& stage : channel.stages) {
        if (stage.scale != 1.0)
          for (double& v : channel.buffer)
            v /= stage.scale;
        channel.next.clear();
        stage.processor->Process(channel.buffer, {stage.position, 0, last}, channel.next);
        stage.position += static_cast<int64_t>(channel.buffer.size());
        channel.buffer.swap(channel.next);
        if (stage.scale != 1.0)
          for (double& v : channel.buffer)
            v *= stage.scale;
      }
      // Every channel runs the same chain on blocks of the same length, so
      // all give the same number of frames.
      produced = produced < 0 ? static_cast<int64_t>(channel.buffer.size())
                              : std::min(produced, static_cast<int64_t>(channel.buffer.size()));
    }
    if (produced <= 0) return;
    out.assign(static_cast<size_t>(produced * align), 0);
    PCM_CODEC::SampleLayout layout{format_.bitsPerSample, format_.channels, 0.0};
    for (size_t c = 0; c < channels_.size(); ++c)
      PCM_CODEC::DoublesToChannel(channels_[c].buffer.data(), produced, static_cast<int32_t>(c),
                                  layout, out.data());
  }

 private:
  struct Stage {
    std::unique_ptr<Processor> processor;
    double scale;
    int64_t position;
  };
  struct Channel {
    std::vector<Stage> stages;
    std::vector<double> buffer, next;
  };

  // The divisor of the samples (in the 32-bit scale for 24- and 32-bit
  // documents) that gives a stage the scale its kind expects.
  double Scale(const Element& e) const {
    if (format_.bitsPerSample == 24) return e.scale24;
    if (format_.bitsPerSample == 32) return e.scale32;
    return 1.0;
  }

  static std::string Parse(const std::string& xml, std::vector<Step>* steps) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_string(xml.c_str());
    if (!parsed) return std::string("the XML is not well formed: ") + parsed.description();
    const pugi::xml_node root = document.document_element();
    if (std::string_view(root.name()) != "effects") return "the root element must be <effects>";
    for (const pugi::xml_node node : root.children()) {
      if (node.type() != pugi::node_element) continue;
      const Element* element = batch::FindElement(node.name());
      const std::string tag = Tag(node.name());
      if (!element) return Words({"unknown effect ", tag});
      Step step{element, {}};
      for (const batch::Fixed& f : element->fixed)
        step.params.emplace_back(f.index, f.value);
      for (const pugi::xml_attribute attribute : node.attributes()) {
        bool known = false;
        for (const Attribute& a : element->attributes)
          known = known || a.name == attribute.name();
        if (!known) return Words({tag, " has no attribute '", attribute.name(), "'"});
      }
      for (const Attribute& a : element->attributes) {
        const pugi::xml_attribute attribute = node.attribute(std::string(a.name).c_str());
        if (!attribute) {
          if (a.required) return Words({tag, " needs attribute '", a.name, "'"});
          continue;
        }
        ParamValue value;
        if (std::string why = ReadValue(a, attribute.value(), &value); !why.empty())
          return Words({tag, ": ", why});
        step.params.emplace_back(a.index, std::move(value));
      }
      // The processor itself has the last word on its parameters.
      std::unique_ptr<Processor> probe = element->make();
      for (const auto& [index, value] : step.params)
        if (!probe->SetParam(index, value))
          return Words({tag, " refuses the value of parameter ", std::to_string(index)});
      steps->push_back(std::move(step));
    }
    if (steps->empty()) return "the batch names no effect";
    return {};
  }

  std::vector<Step> steps_;
  std::string problem_;
  PcmFormat format_;
  std::vector<Channel> channels_;
};

}  // namespace

std::unique_ptr<FrameProcessor> MakeBatch() {
  return std::make_unique<BatchChain>();
}

}  // namespace qel::effects
