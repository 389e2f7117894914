#include "effect_arguments.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "com/bstr.h"
#include "com/safearray.h"

namespace qel::gtkhost {

namespace {

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string Format(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

com::Variant ArrayVariant(com::SAFEARRAY* array, com::VARTYPE element) {
  com::Variant v;
  if (!array) return v;
  v.vt = com::VT_ARRAY | element;
  v.parray = array;
  return v;
}

template <class T>
com::Variant Vector(const std::vector<double>& values, com::VARTYPE element) {
  com::SAFEARRAY* array =
      com::SafeArrayCreateVector(element, 0, static_cast<uint32_t>(values.size()));
  if (array)
    for (size_t k = 0; k < values.size(); ++k)
      static_cast<T*>(array->pvData)[k] = static_cast<T>(values[k]);
  return ArrayVariant(array, element);
}

// The control's 18 × 18 gains: element (output o, input i) at o × 18 + i of
// the data; the channels the document lacks stay 0.
com::Variant Matrix(const std::vector<double>& values, int32_t channels) {
  const com::SAFEARRAYBOUND bounds[2] = {{kMatrixChannels, 0}, {kMatrixChannels, 0}};
  com::SAFEARRAY* array = com::SafeArrayCreate(com::VT_R8, 2, bounds);
  if (array) {
    auto* data = static_cast<double*>(array->pvData);
    for (int32_t o = 0; o < channels; ++o)
      for (int32_t i = 0; i < channels; ++i)
        data[o * kMatrixChannels + i] = values[static_cast<size_t>(o * channels + i)];
  }
  return ArrayVariant(array, com::VT_R8);
}

bool IsList(ParameterKind kind) {
  return kind == ParameterKind::kNumberList || kind == ParameterKind::kWholeList ||
         kind == ParameterKind::kGainMatrix;
}

}  // namespace

std::vector<double> ParseNumberList(std::string_view text, std::string& error) {
  std::vector<double> values;
  error.clear();
  bool separated = true;  // a comma may follow only a value
  size_t at = 0;
  while (at < text.size()) {
    const char c = text[at];
    if (IsSpace(c)) {
      ++at;
      continue;
    }
    if (c == ',') {
      if (separated) {
        error = "a value is missing before a comma";
        return {};
      }
      separated = true;
      ++at;
      continue;
    }
    size_t end = at;
    while (end < text.size() && !IsSpace(text[end]) && text[end] != ',')
      ++end;
    const std::string_view token = text.substr(at, end - at);
    // from_chars reads no leading plus sign, and is independent of the locale.
    const std::string_view digits = token.front() == '+' ? token.substr(1) : token;
    double value = 0;
    const auto [stop, failure] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || failure != std::errc() || stop != digits.data() + digits.size() ||
        !std::isfinite(value)) {
      error = Quoted(token) + " is not a number";
      return {};
    }
    values.push_back(value);
    separated = false;
    at = end;
  }
  if (separated && !values.empty()) {
    error = "a value is missing after the last comma";
    return {};
  }
  return values;
}

std::string PlainLabel(std::string_view label) {
  std::string plain;
  for (char c : label)
    if (c != '_') plain += c;
  return plain;
}

FieldValue InitialField(const EffectParameter& parameter, int32_t channels) {
  FieldValue field;
  field.number = parameter.initial;
  field.on = parameter.initial != 0;
  for (size_t k = 0; k < parameter.choices.size(); ++k)
    if (parameter.choices[k].value == static_cast<int32_t>(parameter.initial))
      field.choice = static_cast<int>(k);
  field.text = std::string(parameter.text);
  if (parameter.kind == ParameterKind::kGainMatrix) {
    // Each output channel takes its own input whole.
    for (int32_t o = 0; o < channels; ++o)
      for (int32_t i = 0; i < channels; ++i)
        field.text += std::string(field.text.empty() ? "" : ", ") + (o == i ? "100" : "0");
  }
  return field;
}

EffectArguments BuildArguments(std::span<const EffectParameter> parameters,
                               std::span<const FieldValue> fields, int32_t channels) {
  EffectArguments out;
  if (fields.size() != parameters.size()) {
    out.error = "The dialog does not hold the effect's parameters.";
    return out;
  }
  // The lists are read first, since one may have to match another's length.
  std::vector<std::vector<double>> lists(parameters.size());
  for (size_t k = 0; k < parameters.size(); ++k) {
    const EffectParameter& p = parameters[k];
    if (!IsList(p.kind)) continue;
    const std::string name = PlainLabel(p.label);
    std::string error;
    lists[k] = ParseNumberList(fields[k].text, error);
    if (!error.empty()) {
      out.error = name + ": " + error + ".";
      return out;
    }
    for (double value : lists[k]) {
      if (p.kind == ParameterKind::kWholeList && value != std::trunc(value)) {
        out.error = name + ": " + Format(value) + " is not a whole number.";
        return out;
      }
      if (p.minimum < p.maximum && (value < p.minimum || value > p.maximum)) {
        out.error = name + ": " + Format(value) + " lies outside " + Format(p.minimum) + " to " +
                    Format(p.maximum) + ".";
        return out;
      }
    }
    if (p.kind == ParameterKind::kGainMatrix) {
      const size_t wanted = static_cast<size_t>(channels) * static_cast<size_t>(channels);
      if (channels < 1 || channels > kMatrixChannels || lists[k].size() != wanted) {
        out.error = name + ": " + std::to_string(channels) + " channels take " +
                    std::to_string(wanted) + " values (a row of " + std::to_string(channels) +
                    " inputs for each output), not " + std::to_string(lists[k].size()) + ".";
        return out;
      }
    }
  }
  for (size_t k = 0; k < parameters.size(); ++k) {
    const int other = parameters[k].sameCountAs;
    if (other < 0 || static_cast<size_t>(other) >= parameters.size()) continue;
    if (lists[k].size() != lists[static_cast<size_t>(other)].size()) {
      out.error = PlainLabel(parameters[k].label) + " needs as many values as " +
                  PlainLabel(parameters[static_cast<size_t>(other)].label) + " (" +
                  std::to_string(lists[static_cast<size_t>(other)].size()) + "), not " +
                  std::to_string(lists[k].size()) + ".";
      return out;
    }
  }

  for (size_t k = 0; k < parameters.size(); ++k) {
    const EffectParameter& p = parameters[k];
    const FieldValue& field = fields[k];
    switch (p.kind) {
      case ParameterKind::kNumber:
        out.values.push_back(com::Variant::R8(field.number));
        break;
      case ParameterKind::kWhole:
        out.values.push_back(com::Variant::I4(static_cast<int32_t>(std::lround(field.number))));
        break;
      case ParameterKind::kToggle:
        out.values.push_back(com::Variant::Bool(field.on));
        break;
      case ParameterKind::kChoice: {
        const bool listed =
            field.choice >= 0 && static_cast<size_t>(field.choice) < p.choices.size();
        out.values.push_back(com::Variant::I4(
            listed ? p.choices[static_cast<size_t>(field.choice)].value : p.choices.front().value));
        break;
      }
      case ParameterKind::kText:
        // The entries hold UTF-8; the dial string and the file name travel as UTF-16.
        out.values.push_back(com::Variant::Str(com::Utf8ToUtf16(field.text)));
        break;
      case ParameterKind::kNumberList:
        out.values.push_back(Vector<double>(lists[k], com::VT_R8));
        break;
      case ParameterKind::kWholeList:
        out.values.push_back(Vector<int32_t>(lists[k], com::VT_INT));
        break;
      case ParameterKind::kGainMatrix:
        out.values.push_back(Matrix(lists[k], channels));
        break;
      case ParameterKind::kFixed:
        out.values.push_back(com::Variant::I4(static_cast<int32_t>(p.initial)));
        break;
      case ParameterKind::kFixedNumber:
        out.values.push_back(com::Variant::R8(p.initial));
        break;
    }
  }
  return out;
}

}  // namespace qel::gtkhost
