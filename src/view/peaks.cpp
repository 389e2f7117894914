#include "view/peaks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "view/spline.h"

namespace qel::view {

void ColumnData::Reset(int channelCount, int columns) {
  width = columns;
  channels.resize(static_cast<size_t>(std::max(channelCount, 0)));
  const size_t n = static_cast<size_t>(std::max(columns, 0)) + 1;
  for (ChannelColumns& c : channels) {
    c.maximum.assign(n, kEmptyColumn);
    c.minimum.assign(n, kEmptyColumn);
    c.curve.assign(n, 0);
  }
}

int32_t DecodeSample(const uint8_t* p, int sampleSize) {
  switch (sampleSize) {
    case 8:
      return static_cast<int32_t>(p[0]) - 128;
    case 16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    case 24:
      return static_cast<int32_t>((uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) |
                                  (uint32_t{p[2]} << 24));
    case 32: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    default:
      return 0;
  }
}

namespace {

// DecodeSample for a width known at compile time, for the scanning loops.
template <int Bits>
inline int32_t Decode(const uint8_t* p) {
  if constexpr (Bits == 8) {
    return static_cast<int32_t>(p[0]) - 128;
  } else if constexpr (Bits == 16) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
  } else if constexpr (Bits == 24) {
    return static_cast<int32_t>((uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) |
                                (uint32_t{p[2]} << 24));
  } else {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
}

bool SameSign(int32_t a, int32_t b) {
  return (a > 0 && b > 0) || (a < 0 && b < 0);
}

int32_t Halfway(int32_t a, int32_t b) {
  return static_cast<int32_t>((int64_t{a} + b) / 2);
}

}  // namespace

void AddToMaximum(int32_t& m, int32_t v) {
  if (m == kEmptyColumn)
    m = v;
  else if (v > m)
    m = SameSign(m, v) ? Halfway(m, v) : v;
}

void AddToMinimum(int32_t& m, int32_t v) {
  if (m == kEmptyColumn)
    m = v;
  else if (v < m)
    m = SameSign(m, v) ? Halfway(m, v) : v;
}

int DetailLevel(int64_t viewBytes, int width, int channels, int sampleRate) {
  if (width <= 0 || channels <= 0) return 0;
  const double x = static_cast<double>(viewBytes) / width / channels;
  const double t = sampleRate < 8000 ? 12 : sampleRate > 23000 ? 40 : 25;
  if (x > 0.3 && x < t) return 1;
  if (x > 0.1 && x <= 0.3) return 2;
  if (x > 0.02 && x <= 0.1) return 3;
  if (x > 0 && x <= 0.02) return 4;
  return 0;
}

int64_t FrameStep(double framesPerColumn) {
  return std::max<int64_t>(1, static_cast<int64_t>(std::floor(framesPerColumn / 500.0)));
}

// ---- peaks from samples ----

SamplePeakScanner::SamplePeakScanner(ColumnData& data, const DocumentState& doc, int64_t vs,
                                     int64_t ve)
    : data_(data),
      channels_(std::min<int>(doc.channels, static_cast<int>(data.channels.size()))),
      sampleSize_(doc.sampleSize),
      align_(std::max(doc.BlockAlign(), 1)),
      vs_(vs),
      span_(std::max<int64_t>(ve - vs, 1)) {
  const double frames = static_cast<double>(span_) / align_;
  step_ = FrameStep(data.width > 0 ? frames / data.width : frames);
  next_ = vs_;
  boundary_ = Boundary(0);
}

int64_t SamplePeakScanner::Boundary(int column) const {
  // The first byte position whose column, trunc((p - vs) * W / span + 0.5), is
  // beyond `column`.
  const int64_t w = std::max(data_.width, 1);
  const int64_t num = span_ * (2 * int64_t{column} + 1);
  return vs_ + (num + 2 * w - 1) / (2 * w);
}

template <int Bits>
void SamplePeakScanner::FeedAs(const uint8_t* data, size_t bytes, int64_t position) {
  constexpr int kBytes = Bits / 8;
  const int64_t end = position + static_cast<int64_t>(bytes) - align_;
  const int64_t advance = step_ * align_;
  int64_t p = next_;
  while (p <= end) {
    while (p >= boundary_)
      boundary_ = Boundary(++column_);
    if (column_ > data_.width) break;
    const uint8_t* frame = data + (p - position);
    for (int c = 0; c < channels_; ++c) {
      const int32_t v = Decode<Bits>(frame + c * kBytes);
      ChannelColumns& cc = data_.channels[c];
      AddToMaximum(cc.maximum[column_], v);
      AddToMinimum(cc.minimum[column_], v);
    }
    p += advance;
  }
  next_ = p;
}

void SamplePeakScanner::Feed(const uint8_t* data, size_t bytes, int64_t position) {
  switch (sampleSize_) {
    case 8:
      return FeedAs<8>(data, bytes, position);
    case 16:
      return FeedAs<16>(data, bytes, position);
    case 24:
      return FeedAs<24>(data, bytes, position);
    case 32:
      return FeedAs<32>(data, bytes, position);
  }
}

bool PeaksFromSamples(SampleReader& reader, const DocumentState& doc, int64_t vs, int64_t ve,
                      ColumnData& data) {
  const int64_t align = doc.BlockAlign();
  if (align <= 0 || ve <= vs) return true;
  SamplePeakScanner scanner(data, doc, vs, ve);
  // The frame at the view end belongs to the last column.
  const int64_t stop = std::min(ve + align, std::max(doc.lengthBytes, ve));
  int64_t block = std::min<int64_t>(int64_t{doc.sampleRate} * align, stop - vs);
  block = std::max(block / align * align, align);
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(block));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int64_t p = vs; p < stop;) {
    const size_t want = static_cast<size_t>(std::min(block, stop - p));
    const size_t got = reader.ReadAt(p, buffer.data(), want);
    const size_t whole = got / align * align;
    if (whole > 0) scanner.Feed(buffer.data(), whole, p);
    if (whole < want) return p + static_cast<int64_t>(whole) >= ve;
    p += static_cast<int64_t>(whole);
  }
  return true;
}

// ---- peaks from the overview ----

OverviewSpan MapViewToOverview(int64_t count, int64_t documentFrames, int64_t vs, int64_t ve) {
  OverviewSpan s;
  if (documentFrames <= 0 || count <= 0) return s;
  const double ratio = static_cast<double>(count) / static_cast<double>(documentFrames);
  s.start = std::max<int64_t>(0, static_cast<int64_t>(std::floor(vs * ratio)));
  s.end = std::min<int64_t>(count, static_cast<int64_t>(std::ceil(ve * ratio)));
  return s;
}

void PeaksFromOverview(std::span<const document::OverviewChannel> overview, OverviewSpan span,
                       ColumnData& data) {
  const int64_t n = span.end - span.start;
  if (n <= 0) return;
  const int64_t w = data.width;
  const size_t channels = std::min(overview.size(), data.channels.size());
  for (size_t c = 0; c < channels; ++c) {
    const document::OverviewChannel& o = overview[c];
    ChannelColumns& cc = data.channels[c];
    const int64_t end = std::min<int64_t>(span.end, static_cast<int64_t>(o.maximum.size()));
    for (int64_t i = span.start; i < end; ++i) {
      const int64_t column = (i - span.start) * w / n;
      const int32_t hi = o.maximum[i];
      const int32_t lo = o.minimum[i];
      if (hi != kEmptyColumn && (cc.maximum[column] == kEmptyColumn || hi > cc.maximum[column]))
        cc.maximum[column] = hi;
      if (lo != kEmptyColumn && (cc.minimum[column] == kEmptyColumn || lo < cc.minimum[column]))
        cc.minimum[column] = lo;
    }
  }
}

// ---- the overview ----

int64_t OverviewBuilder::EntryCount(int64_t frames, int width) {
  const int64_t k = std::max<int64_t>(1, (frames + kOverviewThreshold - 1) / kOverviewThreshold);
  return int64_t{std::max(width, 1)} * k;
}

OverviewBuilder::OverviewBuilder(const DocumentState& doc, int64_t frames, int width)
    : channelCount_(std::clamp(doc.channels, 1, kMaxChannels)),
      sampleSize_(doc.sampleSize),
      align_(std::max(doc.BlockAlign(), 1)),
      frames_(std::max<int64_t>(frames, 1)),
      count_(EntryCount(frames, width)) {
  channels_.resize(static_cast<size_t>(channelCount_));
  for (document::OverviewChannel& c : channels_) {
    c.minimum.assign(static_cast<size_t>(count_), kEmptyColumn);
    c.maximum.assign(static_cast<size_t>(count_), kEmptyColumn);
  }
  step_ = FrameStep(static_cast<double>(frames_) / static_cast<double>(count_));
  boundary_ = (frames_ + count_ - 1) / count_;
}

namespace {

#if defined(__SSE2__)
// 16-bit samples with vectors. The examined samples repeat with a period of
// lcm(stride, 16) bytes, so one pair of accumulators per 16-byte position of
// the period gathers the extremes lane by lane; lanes holding frames that are
// not examined are read along but never reported. Covers whole periods that
// lie inside the block and returns the examined frames it covered.
template <int Vectors>
int64_t ScanPeriods16(const uint8_t* frame, int64_t periods, int64_t stride, int channels,
                      int32_t* top, int32_t* bottom) {
  __m128i hi[Vectors], lo[Vectors];
  for (int v = 0; v < Vectors; ++v) {
    hi[v] = _mm_set1_epi16(INT16_MIN);
    lo[v] = _mm_set1_epi16(INT16_MAX);
  }
  for (int64_t i = 0; i < periods; ++i, frame += 16 * Vectors) {
    for (int v = 0; v < Vectors; ++v) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + 16 * v));
      hi[v] = _mm_max_epi16(hi[v], x);
      lo[v] = _mm_min_epi16(lo[v], x);
    }
  }
  for (int v = 0; v < Vectors; ++v) {
    int16_t a[8], b[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a), hi[v]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b), lo[v]);
    for (int lane = 0; lane < 8; ++lane) {
      const int64_t offset = (16 * v + 2 * lane) % stride;
      if (offset >= 2 * channels) continue;  // a frame that is skipped
      const int c = static_cast<int>(offset / 2);
      top[c] = std::max<int32_t>(top[c], a[lane]);
      bottom[c] = std::min<int32_t>(bottom[c], b[lane]);
    }
  }
  return periods * (16 * Vectors / stride);
}

int64_t ScanVectors16(const uint8_t* frame, int64_t count, int64_t stride, int channels,
                      int64_t available, int32_t* top, int32_t* bottom) {
  const int64_t period = std::lcm(stride, int64_t{16});
  if (period > 128) return 0;  // sparse grids read less one sample at a time
  const int64_t perPeriod = period / stride;
  const int64_t periods = std::min(count / perPeriod, available / period);
  if (periods <= 0) return 0;
  switch (period / 16) {
    case 1:
      return ScanPeriods16<1>(frame, periods, stride, channels, top, bottom);
    case 2:
      return ScanPeriods16<2>(frame, periods, stride, channels, top, bottom);
    case 3:
      return ScanPeriods16<3>(frame, periods, stride, channels, top, bottom);
    case 4:
      return ScanPeriods16<4>(frame, periods, stride, channels, top, bottom);
    case 5:
      return ScanPeriods16<5>(frame, periods, stride, channels, top, bottom);
    case 6:
      return ScanPeriods16<6>(frame, periods, stride, channels, top, bottom);
    case 7:
      return ScanPeriods16<7>(frame, periods, stride, channels, top, bottom);
    case 8:
      return ScanPeriods16<8>(frame, periods, stride, channels, top, bottom);
  }
  return 0;
}
#endif

// The extremes of `count` frames on a grid of strideBytes into one entry, for
// `channels` channels (a compile-time count when known, 0 otherwise).
// `available`: the bytes from frame to the end of the block.
template <int Bits, int Channels>
void ScanEntry(const uint8_t* frame, int64_t count, int64_t strideBytes, int channels,
               int64_t available, int32_t* const* hi, int32_t* const* lo) {
  constexpr int kBytes = Bits / 8;
  const int n = Channels > 0 ? Channels : channels;
  int32_t top[kMaxChannels], bottom[kMaxChannels];
  for (int c = 0; c < n; ++c) {
    if (*hi[c] == kEmptyColumn || *lo[c] == kEmptyColumn) {
      top[c] = bottom[c] = Decode<Bits>(frame + c * kBytes);
    } else {
      top[c] = *hi[c];
      bottom[c] = *lo[c];
    }
  }
#if defined(__SSE2__)
  if constexpr (Bits == 16) {
    const int64_t done = ScanVectors16(frame, count, strideBytes, n, available, top, bottom);
    frame += done * strideBytes;
    count -= done;
  }
#else
  (void)available;
#endif
  for (int64_t i = 0; i < count; ++i, frame += strideBytes) {
    for (int c = 0; c < n; ++c) {
      const int32_t v = Decode<Bits>(frame + c * kBytes);
      top[c] = std::max(top[c], v);
      bottom[c] = std::min(bottom[c], v);
    }
  }
  for (int c = 0; c < n; ++c) {
    *hi[c] = top[c];
    *lo[c] = bottom[c];
  }
}

}  // namespace

template <int Bits>
void OverviewBuilder::FeedAs(const uint8_t* data, size_t bytes) {
  const int64_t first = frame_;
  const int64_t last = frame_ + static_cast<int64_t>(bytes) / align_;  // one past
  int64_t f = nextFrame_;
  int32_t* hi[kMaxChannels];
  int32_t* lo[kMaxChannels];
  while (f < last) {
    while (f >= boundary_ && entry_ + 1 < count_) {
      ++entry_;
      boundary_ = ((entry_ + 1) * frames_ + count_ - 1) / count_;
    }
    // The examined frames of this entry that lie in this block.
    const int64_t stop = entry_ + 1 < count_ ? std::min(boundary_, last) : last;
    const int64_t count = (stop - f + step_ - 1) / step_;
    for (int c = 0; c < channelCount_; ++c) {
      hi[c] = &channels_[c].maximum[entry_];
      lo[c] = &channels_[c].minimum[entry_];
    }
    const uint8_t* frame = data + (f - first) * align_;
    const int64_t stride = step_ * align_;
    const int64_t available = static_cast<int64_t>(bytes) - (f - first) * align_;
    if (channelCount_ == 2)
      ScanEntry<Bits, 2>(frame, count, stride, 2, available, hi, lo);
    else if (channelCount_ == 1)
      ScanEntry<Bits, 1>(frame, count, stride, 1, available, hi, lo);
    else
      ScanEntry<Bits, 0>(frame, count, stride, channelCount_, available, hi, lo);
    f += count * step_;
  }
  nextFrame_ = f;
  frame_ = last;
}

void OverviewBuilder::Feed(const uint8_t* data, size_t bytes) {
  switch (sampleSize_) {
    case 8:
      return FeedAs<8>(data, bytes);
    case 16:
      return FeedAs<16>(data, bytes);
    case 24:
      return FeedAs<24>(data, bytes);
    case 32:
      return FeedAs<32>(data, bytes);
  }
}

std::vector<document::OverviewChannel> OverviewBuilder::Finish() {
  return std::move(channels_);
}

bool BuildOverview(SampleReader& reader, const DocumentState& doc, int width,
                   std::vector<document::OverviewChannel>* out) {
  const int64_t align = doc.BlockAlign();
  if (align <= 0) return false;
  OverviewBuilder builder(doc, doc.Frames(), width);
  const int64_t total = doc.Frames() * align;
  const int64_t block =
      std::max<int64_t>(int64_t{1} << 22, int64_t{doc.sampleRate}) / align * align;
  // Scanning the data where it lies costs about one plain read of the file;
  // reading it into a buffer first would add a copy of every byte.
  const std::span<const uint8_t> mapped = reader.MapData();
  if (static_cast<int64_t>(mapped.size()) >= total) {
    for (int64_t p = 0; p < total; p += block)
      builder.Feed(mapped.data() + p, static_cast<size_t>(std::min(block, total - p)));
    *out = builder.Finish();
    return true;
  }
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(block));
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int64_t p = 0; p < total;) {
    const size_t want = static_cast<size_t>(std::min(block, total - p));
    const size_t whole = reader.ReadAt(p, buffer.data(), want) / align * align;
    builder.Feed(buffer.data(), whole);
    if (whole < want) return false;
    p += static_cast<int64_t>(whole);
  }
  *out = builder.Finish();
  return true;
}

// ---- the curve ----

double Quadratic(double x0, double y0, double x1, double y1, double x2, double y2, double x) {
  const double l0 = (x - x1) * (x - x2) / ((x0 - x1) * (x0 - x2));
  const double l1 = (x - x0) * (x - x2) / ((x1 - x0) * (x1 - x2));
  const double l2 = (x - x0) * (x - x1) / ((x2 - x0) * (x2 - x1));
  return y0 * l0 + y1 * l1 + y2 * l2;
}

namespace {

constexpr size_t kMaxCurvePoints = 2000;

int32_t ClampTo(double v, double lo, double hi) {
  return static_cast<int32_t>(std::clamp(v, lo, hi));
}

void BuildCurve(ChannelColumns& cc, int width, double full, int mode) {
  std::vector<double> x, y;
  x.reserve(std::min<size_t>(static_cast<size_t>(width) + 1, kMaxCurvePoints));
  y.reserve(x.capacity());
  for (int c = 0; c <= width && x.size() < kMaxCurvePoints; ++c) {
    const int32_t hi = cc.maximum[c], lo = cc.minimum[c];
    if (hi == kEmptyColumn && lo == kEmptyColumn) continue;
    int32_t v;
    if (hi == kEmptyColumn)
      v = lo;
    else if (lo == kEmptyColumn)
      v = hi;
    else
      v = std::abs(int64_t{lo}) <= std::abs(int64_t{hi}) ? hi : lo;
    x.push_back(c);
    y.push_back(v);
  }
  const size_t n = x.size();
  std::vector<int32_t>& curve = cc.curve;
  if (n == 0) return;
  if (n < 3) {
    // Too few points for a quadratic: a line (or a level) through them.
    for (int c = 0; c <= width; ++c) {
      const double v = n == 1 ? y[0] : y[0] + (y[1] - y[0]) * (c - x[0]) / (x[1] - x[0]);
      curve[c] = ClampTo(v, 1 - full, full - 1);
    }
    return;
  }
  int tail = 0;
  if (mode == kCurveSpline && n >= 4) {
    CSpline spline(CSpline::kLinear);
    spline.Build(std::span(x).first(n - 1), std::span(y).first(n - 1));
    const int through = static_cast<int>(x[n - 2]);
    for (int c = 0; c <= through; ++c)
      curve[c] = ClampTo(spline.Evaluate(c), -full, full);
    tail = through + 1;
  } else {
    for (size_t i = 1; i + 1 < n; ++i) {
      for (int c = static_cast<int>(x[i - 1]); c < static_cast<int>(x[i]); ++c)
        curve[c] = ClampTo(Quadratic(x[i - 1], y[i - 1], x[i], y[i], x[i + 1], y[i + 1], c),
                           1 - full, full - 1);
    }
    tail = static_cast<int>(x[n - 2]);
  }
  for (int c = tail; c <= width; ++c)
    curve[c] = ClampTo(Quadratic(x[n - 3], y[n - 3], x[n - 2], y[n - 2], x[n - 1], y[n - 1], c),
                       1 - full, full - 1);
}

}  // namespace

void BuildCurves(ColumnData& data, int sampleSize, int mode) {
  const int bits = sampleSize == 24 ? 32 : std::clamp(sampleSize, 8, 32);
  const double full = static_cast<double>((int64_t{1} << (bits - 1)) - 1);
  for (ChannelColumns& cc : data.channels)
    BuildCurve(cc, data.width, full, mode);
}

}  // namespace qel::view
