#include "document/peak_overview.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <numeric>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "document/store_errors.h"
#include "pcm/sample_io.h"
#include "platform/files.h"

namespace qel::document {

// The cache file's numbers are written and read as they lie in memory.
static_assert(std::endian::native == std::endian::little, "overview cache files are little-endian");

namespace {

constexpr int64_t kBlock = PeakOverview::kBlockFrames;
constexpr int64_t kCoarse = PeakOverview::kCoarseBlocks;
constexpr int32_t kNoMinimum = std::numeric_limits<int32_t>::max();
constexpr int32_t kNoMaximum = std::numeric_limits<int32_t>::min();

bool SupportedFormat(int channels, int sampleSize) {
  return channels >= 1 && channels <= kMaxChannels && PCM_CODEC::IsSupportedBits(sampleSize);
}

bool Report(std::error_code* out, std::error_code error) {
  if (out) *out = error;
  return false;
}

// ---- folding frames into extremes ----

// Folds frames into low/high (one entry per channel) a sample at a time; the
// channel count is a constant for mono and stereo, so their loops unroll.
template <int Bits, int Channels>
void FoldSamples(const uint8_t* p, int64_t frames, int channels, int32_t* low, int32_t* high) {
  constexpr int kBytes = Bits / 8;
  const int n = Channels > 0 ? Channels : channels;
  int32_t lo[kMaxChannels], hi[kMaxChannels];
  std::copy_n(low, n, lo);
  std::copy_n(high, n, hi);
  const int64_t align = int64_t{n} * kBytes;
  for (int64_t f = 0; f < frames; ++f, p += align) {
    for (int c = 0; c < n; ++c) {
      const int32_t v = PCM_CODEC::Pcm<Bits>::ReadWide(p + c * kBytes);
      lo[c] = std::min(lo[c], v);
      hi[c] = std::max(hi[c], v);
    }
  }
  std::copy_n(lo, n, low);
  std::copy_n(hi, n, high);
}

template <int Bits>
void Fold(const uint8_t* p, int64_t frames, int channels, int32_t* low, int32_t* high) {
  if (channels == 1)
    FoldSamples<Bits, 1>(p, frames, 1, low, high);
  else if (channels == 2)
    FoldSamples<Bits, 2>(p, frames, 2, low, high);
  else
    FoldSamples<Bits, 0>(p, frames, channels, low, high);
}

#if defined(__x86_64__)
template <int Bits>
__attribute__((target("avx2"))) inline __m256i WideMax(__m256i a, __m256i b) {
  return Bits == 8 ? _mm256_max_epu8(a, b) : _mm256_max_epi16(a, b);
}
template <int Bits>
__attribute__((target("avx2"))) inline __m256i WideMin(__m256i a, __m256i b) {
  return Bits == 8 ? _mm256_min_epu8(a, b) : _mm256_min_epi16(a, b);
}

// The loop of a one-vector period with 32-byte vectors, where the processor
// has them: the scan of a file read into the cache then costs little beside
// the read. Leaves the extremes folded into 16-byte vectors.
template <int Bits>
__attribute__((target("avx2"))) void FoldPeriodsWide(const uint8_t* p, size_t bytes, __m128i* mx,
                                                     __m128i* mn) {
  const __m256i noMaximum = Bits == 8 ? _mm256_setzero_si256() : _mm256_set1_epi16(INT16_MIN);
  const __m256i noMinimum = Bits == 8 ? _mm256_set1_epi8(-1) : _mm256_set1_epi16(INT16_MAX);
  __m256i mx0 = noMaximum, mx1 = noMaximum, mn0 = noMinimum, mn1 = noMinimum;
  for (size_t at = 0; at < bytes; at += 64) {
    const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at + 32));
    mx0 = WideMax<Bits>(mx0, x0);
    mn0 = WideMin<Bits>(mn0, x0);
    mx1 = WideMax<Bits>(mx1, x1);
    mn1 = WideMin<Bits>(mn1, x1);
  }
  mx0 = WideMax<Bits>(mx0, mx1);
  mn0 = WideMin<Bits>(mn0, mn1);
  const __m256i mxHalves = _mm256_permute2x128_si256(mx0, mx0, 1);
  const __m256i mnHalves = _mm256_permute2x128_si256(mn0, mn0, 1);
  *mx = _mm256_castsi256_si128(WideMax<Bits>(mx0, mxHalves));
  *mn = _mm256_castsi256_si128(WideMin<Bits>(mn0, mnHalves));
}

template <int Bits>
__m128i Max(__m128i a, __m128i b) {
  // 8-bit samples are compared as the unsigned bytes they are stored as.
  return Bits == 8 ? _mm_max_epu8(a, b) : _mm_max_epi16(a, b);
}
template <int Bits>
__m128i Min(__m128i a, __m128i b) {
  return Bits == 8 ? _mm_min_epu8(a, b) : _mm_min_epi16(a, b);
}

// A whole block of 8- or 16-bit samples with vectors. The channel of a sample
// repeats every lcm(channels, lanes) samples, so one pair of accumulators per
// vector of that period gathers the extremes lane by lane, and each lane
// reports to its own channel at the end. A block of kBlockFrames frames is
// always a whole number of periods, and of four when there is one vector to a
// period (which then gets two pairs, to keep two loads in flight).
template <int Bits, int Vectors>
void FoldBlockVectors(const uint8_t* p, int channels, int vectors, bool wide, int32_t* low,
                      int32_t* high) {
  constexpr int kLanes = 128 / Bits;
  constexpr int kBytes = Bits / 8;
  const int v = Vectors > 0 ? Vectors : vectors;
  const __m128i noMaximum = Bits == 8 ? _mm_setzero_si128() : _mm_set1_epi16(INT16_MIN);
  const __m128i noMinimum = Bits == 8 ? _mm_set1_epi8(-1) : _mm_set1_epi16(INT16_MAX);
  const size_t bytes = static_cast<size_t>(kBlock) * channels * kBytes;
  const auto load = [p](size_t at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
  };
  alignas(16) uint8_t top[16], bottom[16];
  if constexpr (Vectors == 1) {
    __m128i mx, mn;
    if (wide) {
      FoldPeriodsWide<Bits>(p, bytes, &mx, &mn);
    } else {
      __m128i mx0 = noMaximum, mx1 = noMaximum, mn0 = noMinimum, mn1 = noMinimum;
      for (size_t at = 0; at < bytes; at += 32) {
        const __m128i x0 = load(at), x1 = load(at + 16);
        mx0 = Max<Bits>(mx0, x0);
        mn0 = Min<Bits>(mn0, x0);
        mx1 = Max<Bits>(mx1, x1);
        mn1 = Min<Bits>(mn1, x1);
      }
      mx = Max<Bits>(mx0, mx1);
      mn = Min<Bits>(mn0, mn1);
    }
    // The lanes of a channel lie `channels` apart: fold the vector onto its
    // first `channels` lanes.
    for (int width = kLanes / 2; width >= channels; width /= 2) {
      const int shift = width * kBytes;
      const __m128i hiShifted = shift == 8   ? _mm_srli_si128(mx, 8)
                                : shift == 4 ? _mm_srli_si128(mx, 4)
                                : shift == 2 ? _mm_srli_si128(mx, 2)
                                             : _mm_srli_si128(mx, 1);
      const __m128i loShifted = shift == 8   ? _mm_srli_si128(mn, 8)
                                : shift == 4 ? _mm_srli_si128(mn, 4)
                                : shift == 2 ? _mm_srli_si128(mn, 2)
                                             : _mm_srli_si128(mn, 1);
      mx = Max<Bits>(mx, hiShifted);
      mn = Min<Bits>(mn, loShifted);
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(top), mx);
    _mm_store_si128(reinterpret_cast<__m128i*>(bottom), mn);
    for (int c = 0; c < channels; ++c) {
      high[c] = PCM_CODEC::Pcm<Bits>::ReadWide(top + c * kBytes);
      low[c] = PCM_CODEC::Pcm<Bits>::ReadWide(bottom + c * kBytes);
    }
  } else {
    __m128i mx[Vectors > 0 ? Vectors : kMaxChannels], mn[Vectors > 0 ? Vectors : kMaxChannels];
    for (int i = 0; i < v; ++i) {
      mx[i] = noMaximum;
      mn[i] = noMinimum;
    }
    for (size_t at = 0; at < bytes; at += 16 * static_cast<size_t>(v)) {
      for (int i = 0; i < v; ++i) {
        const __m128i x = load(at + 16 * static_cast<size_t>(i));
        mx[i] = Max<Bits>(mx[i], x);
        mn[i] = Min<Bits>(mn[i], x);
      }
    }
    int c = 0;  // the channel of the lane, in lane order
    for (int i = 0; i < v; ++i) {
      _mm_store_si128(reinterpret_cast<__m128i*>(top), mx[i]);
      _mm_store_si128(reinterpret_cast<__m128i*>(bottom), mn[i]);
      for (int lane = 0; lane < kLanes; ++lane) {
        high[c] = std::max(high[c], PCM_CODEC::Pcm<Bits>::ReadWide(top + lane * kBytes));
        low[c] = std::min(low[c], PCM_CODEC::Pcm<Bits>::ReadWide(bottom + lane * kBytes));
        if (++c == channels) c = 0;
      }
    }
  }
}
#endif

// Vectors to a period of channels (see FoldBlockVectors), 0 for sample sizes
// that are folded one sample at a time.
int PeriodVectors(int channels, int sampleSize) {
#if defined(__x86_64__)
  if (sampleSize == 8 || sampleSize == 16) {
    const int lanes = 128 / sampleSize;
    return std::lcm(channels, lanes) / lanes;
  }
#endif
  (void)channels;
  (void)sampleSize;
  return 0;
}

// The extremes of one whole block into low/high.
template <int Bits>
void FoldBlock(const uint8_t* p, int channels, int vectors, bool wide, int32_t* low,
               int32_t* high) {
  std::fill_n(low, channels, kNoMinimum);
  std::fill_n(high, channels, kNoMaximum);
#if defined(__x86_64__)
  if constexpr (Bits == 8 || Bits == 16) {
    switch (vectors) {
      case 1:
        return FoldBlockVectors<Bits, 1>(p, channels, 1, wide, low, high);
      case 2:
        return FoldBlockVectors<Bits, 2>(p, channels, 2, wide, low, high);
      case 3:
        return FoldBlockVectors<Bits, 3>(p, channels, 3, wide, low, high);
      default:
        return FoldBlockVectors<Bits, 0>(p, channels, vectors, wide, low, high);
    }
  }
#endif
  (void)vectors;
  (void)wide;
  Fold<Bits>(p, kBlock, channels, low, high);
}

}  // namespace

// ---- the overview ----

const PeakOverview::Run& PeakOverview::RunAt(int64_t frame) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), frame,
                                      [](int64_t f, const Run& r) { return f < r.firstFrame; });
  return *(after - 1);
}

int64_t PeakOverview::BlockIndex(int64_t frame) const {
  const Run& r = RunAt(frame);
  return r.firstBlock + (frame - r.firstFrame) / kBlock;
}

FrameSpan PeakOverview::BlockAt(int64_t frame) const {
  if (frame < 0 || frame >= frames_) return {};
  const Run& r = RunAt(frame);
  const int64_t first = r.firstFrame + (frame - r.firstFrame) / kBlock * kBlock;
  return {first, std::min(first + kBlock, r.firstFrame + r.frames)};
}

std::optional<Peak> PeakOverview::Extremes(int channel, int64_t first, int64_t last) const {
  if (channel < 0 || channel >= Channels()) return std::nullopt;
  first = std::max<int64_t>(first, 0);
  last = std::min(last, frames_);
  if (first >= last) return std::nullopt;
  const int64_t i0 = BlockIndex(first);
  const int64_t i1 = BlockIndex(last - 1) + 1;
  const ChannelPeaks& p = channels_[static_cast<size_t>(channel)];
  Peak e{kNoMinimum, kNoMaximum};
  const auto fine = [&](int64_t from, int64_t to) {
    for (int64_t i = from; i < to; ++i) {
      e.minimum = std::min(e.minimum, p.minimum[static_cast<size_t>(i)]);
      e.maximum = std::max(e.maximum, p.maximum[static_cast<size_t>(i)]);
    }
  };
  // Whole coarse entries where they fit, single blocks at both ends.
  const int64_t g0 = (i0 + kCoarse - 1) / kCoarse;
  const int64_t g1 = i1 / kCoarse;
  if (g0 >= g1) {
    fine(i0, i1);
    return e;
  }
  fine(i0, g0 * kCoarse);
  for (int64_t g = g0; g < g1; ++g) {
    e.minimum = std::min(e.minimum, p.coarseMinimum[static_cast<size_t>(g)]);
    e.maximum = std::max(e.maximum, p.coarseMaximum[static_cast<size_t>(g)]);
  }
  fine(g1 * kCoarse, i1);
  return e;
}

void PeakOverview::BuildCoarseLevel() {
  const int64_t groups = (blocks_ + kCoarse - 1) / kCoarse;
  for (ChannelPeaks& p : channels_) {
    p.coarseMinimum.assign(static_cast<size_t>(groups), kNoMinimum);
    p.coarseMaximum.assign(static_cast<size_t>(groups), kNoMaximum);
    for (int64_t i = 0; i < blocks_; ++i) {
      const size_t g = static_cast<size_t>(i / kCoarse);
      p.coarseMinimum[g] = std::min(p.coarseMinimum[g], p.minimum[static_cast<size_t>(i)]);
      p.coarseMaximum[g] = std::max(p.coarseMaximum[g], p.maximum[static_cast<size_t>(i)]);
    }
  }
}

// ---- building ----

PeakOverviewBuilder::PeakOverviewBuilder(int channels, int sampleSize) {
  if (!SupportedFormat(channels, sampleSize)) return;
  channels_ = channels;
  sampleSize_ = sampleSize;
  align_ = channels * sampleSize / 8;
  vectors_ = PeriodVectors(channels, sampleSize);
#if defined(__x86_64__)
  wide_ = __builtin_cpu_supports("avx2");
#endif
  result_.channels_.resize(static_cast<size_t>(channels));
  result_.sampleSize_ = sampleSize;
}

void PeakOverviewBuilder::Reserve(int64_t frames) {
  const size_t blocks = static_cast<size_t>(std::max<int64_t>(frames, 0) / kBlock + 1);
  for (PeakOverview::ChannelPeaks& p : result_.channels_) {
    p.minimum.reserve(blocks);
    p.maximum.reserve(blocks);
  }
}

void PeakOverviewBuilder::CloseBlock() {
  for (int c = 0; c < channels_; ++c) {
    result_.channels_[static_cast<size_t>(c)].minimum.push_back(low_[static_cast<size_t>(c)]);
    result_.channels_[static_cast<size_t>(c)].maximum.push_back(high_[static_cast<size_t>(c)]);
  }
  ++result_.blocks_;
  inBlock_ = 0;
}

void PeakOverviewBuilder::FeedWhole(const uint8_t* data, int64_t frames) {
  frames_ += frames;
  PCM_CODEC::DispatchBits(sampleSize_, [&]<int Bits>() {
    while (frames > 0) {
      if (inBlock_ == 0 && frames >= kBlock) {
        FoldBlock<Bits>(data, channels_, vectors_, wide_, low_.data(), high_.data());
        CloseBlock();
        data += kBlock * align_;
        frames -= kBlock;
        continue;
      }
      if (inBlock_ == 0) {
        low_.fill(kNoMinimum);
        high_.fill(kNoMaximum);
      }
      const int64_t n = std::min(frames, kBlock - inBlock_);
      Fold<Bits>(data, n, channels_, low_.data(), high_.data());
      inBlock_ += n;
      data += n * align_;
      frames -= n;
      if (inBlock_ == kBlock) CloseBlock();
    }
  });
}

void PeakOverviewBuilder::Feed(const uint8_t* data, size_t bytes) {
  if (align_ == 0 || bytes == 0) return;
  const size_t align = static_cast<size_t>(align_);
  if (partialBytes_ > 0) {
    const size_t take = std::min(bytes, align - partialBytes_);
    std::memcpy(partial_.data() + partialBytes_, data, take);
    partialBytes_ += take;
    data += take;
    bytes -= take;
    if (partialBytes_ < align) return;
    FeedWhole(partial_.data(), 1);
    partialBytes_ = 0;
  }
  const size_t whole = bytes / align;
  FeedWhole(data, static_cast<int64_t>(whole));
  partialBytes_ = bytes - whole * align;
  std::memcpy(partial_.data(), data + whole * align, partialBytes_);
}

PeakOverview PeakOverviewBuilder::Finish() {
  if (inBlock_ > 0) CloseBlock();
  PeakOverview out = std::move(result_);
  out.frames_ = frames_;
  if (frames_ > 0) out.runs_.push_back({0, frames_, 0});
  out.BuildCoarseLevel();
  *this = PeakOverviewBuilder(channels_, sampleSize_);
  return out;
}

// ---- scanning ----

bool ScanFrames(const DataReader& read, int64_t first, int64_t count,
                PeakOverviewBuilder& builder) {
  const int64_t align = builder.FrameBytes();
  if (align <= 0 || first < 0) return false;
  if (count <= 0) return true;
  // Whole blocks of the overview per read, so that every block but the last is
  // folded straight from the buffer.
  const int64_t unit = PeakOverview::kBlockFrames * align;
  const int64_t total = count * align;
  const int64_t chunk =
      std::min(std::max<int64_t>(static_cast<int64_t>(kScanBlockBytes) / unit, 1) * unit, total);
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(static_cast<size_t>(chunk));
    builder.Reserve(builder.Frames() + count);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (int64_t done = 0; done < total;) {
    const size_t want = static_cast<size_t>(std::min(chunk, total - done));
    const size_t got = read(first * align + done, buffer.data(), want);
    builder.Feed(buffer.data(), got);
    done += static_cast<int64_t>(got);
    if (got < want) return false;
  }
  return true;
}

bool ScanFrames(CSampleStoreFile& file, int64_t first, int64_t count,
                PeakOverviewBuilder& builder) {
  if (!file.IsOpen() || file.BlockAlign() != builder.FrameBytes()) return false;
  return ScanFrames(
      [&file](int64_t position, void* buffer, size_t bytes) -> size_t {
        return file.Seek(position) ? file.Read(buffer, bytes) : 0;
      },
      first, count, builder);
}

bool BuildPeakOverview(CSampleStoreFile& file, PeakOverview* out) {
  PeakOverviewBuilder builder(file.Channels(), file.SampleSize());
  if (!file.IsOpen() || builder.FrameBytes() == 0) return false;
  const int64_t frames = static_cast<int64_t>(file.DataSize() / builder.FrameBytes());
  if (!ScanFrames(file, 0, frames, builder)) return false;
  *out = builder.Finish();
  return true;
}

// ---- splicing ----

// Puts an overview together from blocks of others, in document order.
class OverviewAssembly {
 public:
  OverviewAssembly(int channels, int sampleSize, int64_t blocks) {
    out_.channels_.resize(static_cast<size_t>(channels));
    out_.sampleSize_ = sampleSize;
    for (PeakOverview::ChannelPeaks& p : out_.channels_) {
      p.minimum.reserve(static_cast<size_t>(blocks));
      p.maximum.reserve(static_cast<size_t>(blocks));
    }
  }

  // Appends the blocks [first, end) of from, their frames moved by shift.
  void Append(const PeakOverview& from, int64_t first, int64_t end, int64_t shift) {
    if (first >= end) return;
    for (const PeakOverview::Run& r : from.runs_) {
      const int64_t j0 = std::max(first, r.firstBlock);
      const int64_t j1 = std::min(end, r.firstBlock + r.Blocks());
      if (j0 >= j1) continue;
      const int64_t start = r.firstFrame + (j0 - r.firstBlock) * kBlock;
      const int64_t stop =
          std::min(r.firstFrame + r.frames, r.firstFrame + (j1 - r.firstBlock) * kBlock);
      AddRun(start + shift, stop - start, out_.blocks_ + (j0 - first));
    }
    for (size_t c = 0; c < out_.channels_.size(); ++c) {
      const PeakOverview::ChannelPeaks& in = from.channels_[c];
      PeakOverview::ChannelPeaks& to = out_.channels_[c];
      to.minimum.insert(to.minimum.end(), in.minimum.begin() + first, in.minimum.begin() + end);
      to.maximum.insert(to.maximum.end(), in.maximum.begin() + first, in.maximum.begin() + end);
    }
    out_.blocks_ += end - first;
  }

  PeakOverview Finish() {
    out_.frames_ = out_.runs_.empty() ? 0 : out_.runs_.back().firstFrame + out_.runs_.back().frames;
    out_.BuildCoarseLevel();
    return std::move(out_);
  }

 private:
  // A stretch that continues a run whose blocks are all whole joins it, so
  // that a splice on block boundaries leaves a single run.
  void AddRun(int64_t firstFrame, int64_t frames, int64_t firstBlock) {
    std::vector<PeakOverview::Run>& runs = out_.runs_;
    if (!runs.empty() && runs.back().frames % kBlock == 0 &&
        runs.back().firstFrame + runs.back().frames == firstFrame) {
      runs.back().frames += frames;
    } else {
      runs.push_back({firstFrame, frames, firstBlock});
    }
  }

  PeakOverview out_;
};

bool SpliceOverview(const PeakOverview& previous, const VersionSplice& splice,
                    CSampleStoreFile& newFile, PeakOverview* out) {
  const int64_t oldFrames = previous.Frames();
  const int64_t head = splice.head, tailFrom = splice.tailFrom;
  if (head < 0 || splice.middleFrames < 0 || tailFrom < head || tailFrom > oldFrames) return false;
  const int channels = newFile.Channels(), sampleSize = newFile.SampleSize();
  if (!newFile.IsOpen() || !SupportedFormat(channels, sampleSize)) return false;
  const bool carries = head > 0 || tailFrom < oldFrames;
  if (carries && (channels != previous.Channels() || sampleSize != previous.SampleSize()))
    return false;
  const int64_t newFrames = head + splice.middleFrames + (oldFrames - tailFrom);
  if (newFile.DataSize() != static_cast<uint64_t>(newFrames) * newFile.BlockAlign()) return false;

  // The scan starts at the block the head seam splits (an append continues a
  // short last block instead of leaving it short inside the document) and ends
  // with the block the tail seam splits.
  int64_t scanFrom = head;  // the same frame in both versions
  if (head < oldFrames) {
    scanFrom = previous.BlockAt(head).first;
  } else if (head > 0) {
    const FrameSpan last = previous.BlockAt(oldFrames - 1);
    if (last.last - last.first < kBlock) scanFrom = last.first;
  }
  const int64_t scanToOld = tailFrom < oldFrames && previous.BlockAt(tailFrom).first != tailFrom
                                ? previous.BlockAt(tailFrom).last
                                : tailFrom;
  const int64_t scanTo = head + splice.middleFrames + (scanToOld - tailFrom);
  const int64_t headBlocks =
      scanFrom < oldFrames ? previous.BlockIndex(scanFrom) : previous.blocks_;
  const int64_t tailBlock =
      scanToOld < oldFrames ? previous.BlockIndex(scanToOld) : previous.blocks_;

  PeakOverviewBuilder builder(channels, sampleSize);
  if (!ScanFrames(newFile, scanFrom, scanTo - scanFrom, builder)) return false;
  const PeakOverview middle = builder.Finish();

  OverviewAssembly assembly(channels, sampleSize,
                            headBlocks + middle.blocks_ + (previous.blocks_ - tailBlock));
  assembly.Append(previous, 0, headBlocks, 0);
  assembly.Append(middle, 0, middle.blocks_, scanFrom);
  assembly.Append(previous, tailBlock, previous.blocks_, scanTo - scanToOld);
  *out = assembly.Finish();
  return true;
}

// ---- the cache file ----

namespace {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'P', 'E', 'A', 'K', 'S'};
constexpr size_t kHeaderBytes = 40;
constexpr size_t kRunBytes = 16;

template <class T>
void Put(std::vector<uint8_t>& out, size_t at, T value) {
  std::memcpy(out.data() + at, &value, sizeof value);
}

template <class T>
T Get(const uint8_t* in) {
  T value;
  std::memcpy(&value, in, sizeof value);
  return value;
}

}  // namespace

bool PeakOverview::Save(const std::string& path, std::error_code* error) const {
  std::vector<uint8_t> head(kHeaderBytes + runs_.size() * kRunBytes);
  std::memcpy(head.data(), kMagic, sizeof kMagic);
  Put<uint32_t>(head, 8, static_cast<uint32_t>(kBlockFrames));
  Put<uint16_t>(head, 12, static_cast<uint16_t>(Channels()));
  Put<uint16_t>(head, 14, static_cast<uint16_t>(sampleSize_));
  Put<uint64_t>(head, 16, static_cast<uint64_t>(frames_));
  Put<uint64_t>(head, 24, static_cast<uint64_t>(blocks_));
  Put<uint64_t>(head, 32, runs_.size());
  for (size_t r = 0; r < runs_.size(); ++r) {
    Put<uint64_t>(head, kHeaderBytes + r * kRunBytes, static_cast<uint64_t>(runs_[r].firstFrame));
    Put<uint64_t>(head, kHeaderBytes + r * kRunBytes + 8, static_cast<uint64_t>(runs_[r].frames));
  }

  // Beside the name first: a reader never sees half a file, and a failed write
  // leaves the previous file in place.
  const std::string temp = path + ".new";
  platform::File file;
  if (!file.Open(temp, platform::FileAccess::CreateWrite, platform::FileHint::SequentialScan))
    return Report(error, file.LastError());
  bool ok = file.Write(head.data(), head.size(), nullptr);
  for (const ChannelPeaks& p : channels_) {
    for (const std::vector<int32_t>* array : {&p.minimum, &p.maximum})
      ok = ok && file.Write(array->data(), array->size() * sizeof(int32_t), nullptr);
  }
  std::error_code failure = file.LastError();
  ok = file.Close() && ok;
  if (ok) {
    ok = platform::RenameFile(temp, path);
    if (!ok) failure = std::error_code(errno, std::generic_category());
  } else if (!failure) {
    failure = file.LastError();
  }
  if (!ok) {
    platform::DeleteFile(temp);
    return Report(error, failure);
  }
  return true;
}

bool PeakOverview::Load(const std::string& path, std::error_code* error) {
  const std::error_code damaged = make_error_code(StoreErrc::InconsistentCache);
  platform::File file;
  if (!file.Open(path, platform::FileAccess::Read, platform::FileHint::SequentialScan))
    return Report(error, file.LastError());
  const int64_t size = file.Size();
  if (size < 0) return Report(error, file.LastError());
  uint8_t head[kHeaderBytes];
  size_t got = 0;
  if (!file.Read(head, sizeof head, &got)) return Report(error, file.LastError());
  if (got < sizeof head || std::memcmp(head, kMagic, sizeof kMagic) != 0)
    return Report(error, damaged);
  const uint32_t blockFrames = Get<uint32_t>(head + 8);
  const int channels = Get<uint16_t>(head + 12);
  const int sampleSize = Get<uint16_t>(head + 14);
  const uint64_t frames = Get<uint64_t>(head + 16);
  const uint64_t blocks = Get<uint64_t>(head + 24);
  const uint64_t runCount = Get<uint64_t>(head + 32);
  if (blockFrames != kBlockFrames || !SupportedFormat(channels, sampleSize))
    return Report(error, damaged);

  // The counts must account for every byte of the file, checked before
  // anything is allocated, so that a damaged count cannot ask for more memory
  // than the file could fill.
  const uint64_t payload = static_cast<uint64_t>(size) - kHeaderBytes;
  const uint64_t perBlock = uint64_t{8} * static_cast<uint64_t>(channels);
  if (runCount > payload / kRunBytes) return Report(error, damaged);
  const uint64_t arrays = payload - runCount * kRunBytes;
  if (blocks > arrays / perBlock || blocks * perBlock != arrays) return Report(error, damaged);

  PeakOverview result;
  result.sampleSize_ = sampleSize;
  std::vector<uint8_t> runBytes(static_cast<size_t>(runCount * kRunBytes));
  if (!file.Read(runBytes.data(), runBytes.size(), &got)) return Report(error, file.LastError());
  if (got < runBytes.size()) return Report(error, damaged);
  // The runs must follow one another from frame 0 and hold the blocks counted.
  int64_t at = 0, blockAt = 0;
  for (uint64_t r = 0; r < runCount; ++r) {
    const uint64_t first = Get<uint64_t>(runBytes.data() + r * kRunBytes);
    const uint64_t length = Get<uint64_t>(runBytes.data() + r * kRunBytes + 8);
    if (first != static_cast<uint64_t>(at) || length == 0 || length > frames - first)
      return Report(error, damaged);
    Run run{at, static_cast<int64_t>(length), blockAt};
    at += run.frames;
    blockAt += run.Blocks();
    result.runs_.push_back(run);
  }
  if (static_cast<uint64_t>(at) != frames || static_cast<uint64_t>(blockAt) != blocks)
    return Report(error, damaged);
  result.frames_ = at;
  result.blocks_ = blockAt;

  result.channels_.resize(static_cast<size_t>(channels));
  for (ChannelPeaks& p : result.channels_) {
    for (std::vector<int32_t>* array : {&p.minimum, &p.maximum}) {
      array->resize(static_cast<size_t>(blocks));
      const size_t bytes = array->size() * sizeof(int32_t);
      if (!file.Read(array->data(), bytes, &got)) return Report(error, file.LastError());
      if (got < bytes) return Report(error, damaged);
    }
  }
  result.BuildCoarseLevel();
  *this = std::move(result);
  return true;
}

}  // namespace qel::document
