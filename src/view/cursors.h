// The default mouse pointer of the view. `MousePointer` picks a stock shape or,
// with 99, a cursor loaded from the file named by `MouseCustom`. The window's
// cursor hook takes a number: the shapes the platform names (arrow, cross,
// I-beam, sizes, wait) use its numbers, the others use the view's own numbers
// from kPointerCursorBase up, and a loaded file cursor is kCustomFileCursor; a
// desktop host reads the loaded picture from the visualisation object.
//
// Cursor files are read in the X cursor format (the format of the cursor
// themes under /usr/share/icons): a small table of contents of images at
// nominal sizes, each 32-bit premultiplied ARGB with a hot spot. The parser is
// our own; the format is small and fixed, and it spares a library dependency.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qel::view {

inline constexpr int kPointerCursorBase = 200;
inline constexpr int kCustomFileCursor = kPointerCursorBase + 99;

// The clamped `MousePointer` value: 0 ... 15 or 99.
int ClampMousePointer(int value);
// The window cursor number for a `MousePointer` value (99 gives kCustomFileCursor).
int PointerCursorId(int mousePointer);

struct CursorImage {
  int width = 0;
  int height = 0;
  int hotX = 0;
  int hotY = 0;
  std::vector<uint32_t> pixels;  // premultiplied ARGB, row by row
};

// Reads an X cursor file and returns the image whose nominal size is closest to
// `size`; none when the file cannot be read or is not a cursor file.
std::optional<CursorImage> LoadCursorFile(const std::string& path, int size = 32);

}  // namespace qel::view
