// The DTMF alphabet and the keypad's frequencies, shared by the generator and
// the recogniser. Symbols are numbered by their place in kAlphabet.
#pragma once

#include <array>
#include <string_view>

namespace qel::dtmf {

// Symbol i of the generator's custom pairs and of the recogniser's reports.
inline constexpr std::string_view kAlphabet = "0123456789*#abcd";
inline constexpr int kSymbols = 16;

// Low group (rows) and high group (columns) of the keypad, in Hz:
//   1 2 3 A / 4 5 6 B / 7 8 9 C / * 0 # D.
inline constexpr std::array<double, 4> kRowHz = {697, 770, 852, 941};
inline constexpr std::array<double, 4> kColumnHz = {1209, 1336, 1477, 1633};

struct KeyPlace {
  int row;
  int column;
};

// Where each symbol of kAlphabet sits on the keypad.
inline constexpr std::array<KeyPlace, kSymbols> kKeyPlaces = {{
    {3, 1},  // 0
    {0, 0},  // 1
    {0, 1},  // 2
    {0, 2},  // 3
    {1, 0},  // 4
    {1, 1},  // 5
    {1, 2},  // 6
    {2, 0},  // 7
    {2, 1},  // 8
    {2, 2},  // 9
    {3, 0},  // *
    {3, 2},  // #
    {0, 3},  // a
    {1, 3},  // b
    {2, 3},  // c
    {3, 3},  // d
}};

// The symbol a key on the keypad stands for, the inverse of kKeyPlaces.
inline constexpr int SymbolAt(int row, int column) {
  for (int i = 0; i < kSymbols; ++i) {
    if (kKeyPlaces[static_cast<size_t>(i)].row == row &&
        kKeyPlaces[static_cast<size_t>(i)].column == column) {
      return i;
    }
  }
  return -1;
}

// The index in kAlphabet of a dial-string character (A–D in either case), −1
// for anything else.
inline constexpr int SymbolIndex(char32_t c) {
  if (c >= U'A' && c <= U'D') c = c - U'A' + U'a';
  for (size_t i = 0; i < kAlphabet.size(); ++i) {
    if (static_cast<char32_t>(kAlphabet[i]) == c) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace qel::dtmf
