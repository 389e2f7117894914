#include "view/cursors.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/window.h"

namespace qel::view {

int ClampMousePointer(int value) {
  if (value == 99) return 99;
  if (value < 0) return 0;
  if (value > 15) return value > 99 ? 99 : 15;
  return value;
}

int PointerCursorId(int mousePointer) {
  using platform::Cursor;
  auto stock = [](Cursor c) { return static_cast<int>(c); };
  switch (ClampMousePointer(mousePointer)) {
    case 0:
    case 1:
      return stock(Cursor::Arrow);
    case 2:
      return stock(Cursor::Cross);
    case 3:
      return stock(Cursor::IBeam);
    case 5:
    case 15:  // the old four-headed size cursor is the size-all shape today
      return stock(Cursor::SizeAll);
    case 7:
      return stock(Cursor::SizeNS);
    case 9:
      return stock(Cursor::SizeWE);
    case 11:
      return stock(Cursor::Wait);
    case 99:
      return kCustomFileCursor;
    default:  // icon, diagonal sizes, up arrow, no, arrow with hourglass, help
      return kPointerCursorBase + ClampMousePointer(mousePointer);
  }
}

namespace {

constexpr uint32_t kMagic = 0x72756358;  // "Xcur"
constexpr uint32_t kImageType = 0xFFFD0002;
constexpr uint32_t kMaxSide = 0x7FFF;

uint32_t Read32(const std::vector<uint8_t>& d, size_t at) {
  uint32_t v = 0;
  if (at + 4 <= d.size())
    v = d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t{d[at + 3]} << 24);
  return v;
}

}  // namespace

std::optional<CursorImage> LoadCursorFile(const std::string& path, int size) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (d.size() < 16 || Read32(d, 0) != kMagic) return std::nullopt;
  const uint32_t headerSize = Read32(d, 4);
  const uint32_t count = Read32(d, 12);
  if (headerSize < 16 || count == 0 || count > 4096 || headerSize + uint64_t{count} * 12 > d.size())
    return std::nullopt;
  // The image entry whose nominal size is closest to the one asked for.
  int64_t bestPosition = -1;
  int64_t bestDistance = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = headerSize + size_t{i} * 12;
    if (Read32(d, entry) != kImageType) continue;
    const int64_t distance = std::llabs(int64_t{Read32(d, entry + 4)} - size);
    if (bestPosition < 0 || distance < bestDistance) {
      bestPosition = Read32(d, entry + 8);
      bestDistance = distance;
    }
  }
  if (bestPosition < 0) return std::nullopt;
  const size_t at = static_cast<size_t>(bestPosition);
  // Chunk: header size, type, subtype, version, width, height, hot x, hot y, delay.
  if (at + 36 > d.size() || Read32(d, at + 4) != kImageType) return std::nullopt;
  const uint32_t chunkHeader = Read32(d, at);
  const uint32_t w = Read32(d, at + 16), h = Read32(d, at + 20);
  const uint32_t hx = Read32(d, at + 24), hy = Read32(d, at + 28);
  if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide || hx > w || hy > h) return std::nullopt;
  const size_t pixels = static_cast<size_t>(w) * h;
  if (chunkHeader < 36 || at + chunkHeader + pixels * 4 > d.size()) return std::nullopt;
  CursorImage image;
  image.width = static_cast<int>(w);
  image.height = static_cast<int>(h);
  image.hotX = static_cast<int>(hx);
  image.hotY = static_cast<int>(hy);
  image.pixels.resize(pixels);
  for (size_t i = 0; i < pixels; ++i)
    image.pixels[i] = Read32(d, at + chunkHeader + i * 4);
  return image;
}

}  // namespace qel::view
