// The dispatch arguments of an effect row, made from what its dialog's fields
// hold; lists typed as text are parsed here, so that a malformed one is
// answered with a message instead of being sent. No GTK: the table's test
// builds arguments without a display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "com/variant.h"
#include "effect_table.h"

namespace qel::gtkhost {

// What one parameter's field holds when the dialog is answered.
struct FieldValue {
  double number = 0;  // numbers and whole numbers
  bool on = false;    // toggles
  int choice = 0;     // the index of the chosen item
  std::string text;   // text and lists
};

// The values of "0, 500, 1000" (commas, spaces or both between them; empty: none).
// On a value that is not a finite number, an empty result and error saying which.
std::vector<double> ParseNumberList(std::string_view text, std::string& error);

// A row's label without its mnemonic mark, for messages.
std::string PlainLabel(std::string_view label);

// The field a parameter starts with (for a gain matrix: the channels kept as
// they are, for the given channel count).
FieldValue InitialField(const EffectParameter& parameter, int32_t channels);

// The arguments in call order (the first parameter first), or an error naming
// the field when one does not hold what its parameter takes. channels is the
// document's channel count, for a gain matrix.
struct EffectArguments {
  std::vector<com::Variant> values;
  std::string error;
};
EffectArguments BuildArguments(std::span<const EffectParameter> parameters,
                               std::span<const FieldValue> fields, int32_t channels);

// The matrix the control takes has room for this many channels.
inline constexpr int32_t kMatrixChannels = 18;

}  // namespace qel::gtkhost
