#include "view/peaks.h"

#include <algorithm>
#include <cmath>

#include "pcm/sample_io.h"
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

namespace {

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
      const int32_t v = PCM_CODEC::Pcm<Bits>::ReadWide(frame + c * kBytes);
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

void ColumnsFromOverview(const document::PeakOverview& overview, int64_t vs, int64_t ve,
                         ColumnData& data) {
  const int64_t w = data.width;
  if (w <= 0 || ve <= vs) return;
  const size_t channels = std::min(static_cast<size_t>(overview.Channels()), data.channels.size());
  const int64_t span = ve - vs;
  // Columns start on block boundaries, so that no block counts in two columns
  // and each column gets the true extremes of exactly its frames.
  const auto start = [&](int64_t column) {
    const int64_t frame = vs + span * column / w;
    const document::FrameSpan block = overview.BlockAt(frame);
    return block.last > block.first ? block.first : frame;
  };
  int64_t first = start(0);
  for (int64_t c = 0; c < w; ++c) {
    const int64_t last = c + 1 < w ? start(c + 1) : ve;
    for (size_t k = 0; k < channels; ++k) {
      if (const auto e = overview.Extremes(static_cast<int>(k), first, last)) {
        data.channels[k].maximum[static_cast<size_t>(c)] = e->maximum;
        data.channels[k].minimum[static_cast<size_t>(c)] = e->minimum;
      }
    }
    first = last;
  }
}

bool BuildOverview(SampleReader& reader, const DocumentState& doc, document::PeakOverview* out) {
  document::PeakOverviewBuilder builder(doc.channels, doc.sampleSize);
  const auto read = [&reader](int64_t position, void* buffer, size_t count) {
    return reader.ReadAt(position, buffer, count);
  };
  if (!document::ScanFrames(read, 0, doc.Frames(), builder)) return false;
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
