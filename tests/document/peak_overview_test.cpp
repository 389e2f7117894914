// The peak overview: building it against a brute-force scan, splicing it after
// an edit against a fresh build of the new version, and its cache file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "document/peak_overview.h"
#include "document/sample_store.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using test::ScratchDir;
constexpr int64_t B = PeakOverview::kBlockFrames;

// Interleaved samples as stored, and the value of each in the wide scale.
struct Samples {
  int channels = 2;
  int bits = 16;
  std::vector<uint8_t> bytes;
  std::vector<int32_t> wide;
  int64_t Frames() const { return static_cast<int64_t>(wide.size()) / channels; }
  void Append(const Samples& other, int64_t first, int64_t last) {
    const int64_t a = first * channels, b = last * channels, size = bits / 8;
    wide.insert(wide.end(), other.wide.begin() + a, other.wide.begin() + b);
    bytes.insert(bytes.end(), other.bytes.begin() + a * size, other.bytes.begin() + b * size);
  }
};

Samples Random(int channels, int bits, int64_t frames, uint32_t seed) {
  Samples s{channels, bits, {}, {}};
  std::mt19937 random(seed);
  for (int64_t i = 0; i < frames * channels; ++i) {
    const uint32_t r = random();
    for (int k = 0; k < bits / 8; ++k)
      s.bytes.push_back(static_cast<uint8_t>(r >> (8 * k)));
    if (bits == 8) s.wide.push_back(static_cast<int32_t>(r & 0xFF) - 128);
    if (bits == 16) s.wide.push_back(static_cast<int16_t>(r));
    if (bits == 24) s.wide.push_back(static_cast<int32_t>((r & 0xFFFFFF) << 8));
    if (bits == 32) s.wide.push_back(static_cast<int32_t>(r));
  }
  return s;
}

// The true extremes of a channel over the frames [first, last).
Peak Brute(const Samples& s, int channel, int64_t first, int64_t last) {
  Peak p{INT32_MAX, INT32_MIN};
  for (int64_t f = std::max<int64_t>(first, 0); f < std::min(last, s.Frames()); ++f) {
    p.minimum = std::min(p.minimum, s.wide[f * s.channels + channel]);
    p.maximum = std::max(p.maximum, s.wide[f * s.channels + channel]);
  }
  return p;
}

PeakOverview Build(const Samples& s) {
  PeakOverviewBuilder builder(s.channels, s.bits);
  builder.Feed(s.bytes.data(), s.bytes.size());
  return builder.Finish();
}

std::string Store(const ScratchDir& dir, const std::string& name, const Samples& s) {
  CSampleStoreFile f;
  EXPECT_TRUE(f.Create(dir / name, 44100, s.channels, s.bits, 0));
  EXPECT_TRUE(f.Write(s.bytes.data(), s.bytes.size()));
  EXPECT_TRUE(f.Close());
  return dir / name;
}

// Every block of the overview, in order.
std::vector<FrameSpan> Blocks(const PeakOverview& o) {
  std::vector<FrameSpan> blocks;
  for (int64_t f = 0; f < o.Frames(); f = blocks.back().last)
    blocks.push_back(o.BlockAt(f));
  return blocks;
}

// ---- building ----

TEST(PeakOverviewBuilding, EveryBlockHoldsTheTrueExtremesOfItsFramesForEverySampleSize) {
  for (int bits : {8, 16, 24, 32}) {
    for (int channels : {1, 3, 18}) {
      SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
      const Samples s = Random(channels, bits, 9 * B + 123, bits * 100 + channels);
      const PeakOverview o = Build(s);
      ASSERT_EQ(o.Frames(), s.Frames());
      for (const FrameSpan& b : Blocks(o))
        for (int c = 0; c < channels; ++c)
          ASSERT_EQ(o.Extremes(c, b.first, b.last), Brute(s, c, b.first, b.last)) << b.first;
    }
  }
}

TEST(PeakOverviewBuilding, LongAlignedRangesGiveExactlyTheExtremesOfTheirFrames) {
  const Samples s = Random(2, 16, 300 * B, 7);  // several entries of the coarse level
  const PeakOverview o = Build(s);
  std::mt19937 random(3);
  for (int i = 0; i < 200; ++i) {
    int64_t a = random() % 301 * B, b = random() % 301 * B;
    if (a > b) std::swap(a, b);
    if (a == b) continue;
    ASSERT_EQ(o.Extremes(1, a, b), Brute(s, 1, a, b)) << a << " " << b;
  }
}

TEST(PeakOverviewBuilding, RangesOutsideTheDocumentAndMissingChannelsGiveNothing) {
  const PeakOverview o = Build(Random(2, 16, 3 * B, 9));
  EXPECT_FALSE(o.Extremes(0, 3 * B, 4 * B));
  EXPECT_FALSE(o.Extremes(2, 0, B));
  EXPECT_FALSE(o.Extremes(0, 10, 10));
}

TEST(PeakOverviewBuilding, BlocksCutAnywhereEvenInsideAFrameGiveTheSameOverview) {
  const Samples s = Random(3, 24, 5 * B + 7, 10);
  PeakOverviewBuilder pieces(3, 24);
  for (size_t at = 0, step = 1; at < s.bytes.size(); at += step, step = step * 7 % 1000 + 1)
    pieces.Feed(s.bytes.data() + at, std::min(step, s.bytes.size() - at));
  EXPECT_EQ(pieces.Finish(), Build(s));
}

TEST(PeakOverviewBuilding, ScanningTheFileGivesWhatFeedingItsFramesGives) {
  ScratchDir dir;
  const Samples s = Random(2, 16, 2500 * B + 11, 11);  // more than one read
  CSampleStoreFile f;
  ASSERT_TRUE(f.Open(Store(dir, "a.qelf", s), kModeRead));
  PeakOverview o;
  ASSERT_TRUE(BuildPeakOverview(f, &o));
  EXPECT_EQ(o, Build(s));
}

// ---- splicing ----

struct Edit {
  const char* name;
  int64_t head, middle, tailFrom;  // a negative tailFrom counts from the end
};
void PrintTo(const Edit& e, std::ostream* out) {
  *out << e.name;
}

class PeakOverviewSplice : public testing::TestWithParam<Edit> {
 protected:
  void SetUp() override {
    const Edit& e = GetParam();
    tailFrom = e.tailFrom < 0 ? old.Frames() + e.tailFrom + 1 : e.tailFrom;
    const Samples middle = Random(2, 16, e.middle, 21);
    now = Samples{2, 16, {}, {}};
    now.Append(old, 0, e.head);
    now.Append(middle, 0, e.middle);
    now.Append(old, tailFrom, old.Frames());
    seamFirst = e.head - B;
    seamLast = e.head + e.middle + B;
  }
  // The new version's overview spliced from the old one, and the fresh one.
  PeakOverview Splice(const std::string& path) {
    CSampleStoreFile f;
    EXPECT_TRUE(f.Open(path, kModeRead));
    PeakOverview out;
    EXPECT_TRUE(
        SpliceOverview(Build(old), {GetParam().head, GetParam().middle, tailFrom}, f, &out));
    return out;
  }
  bool NearSeam(const FrameSpan& b) const { return b.last > seamFirst && b.first < seamLast; }

  ScratchDir dir;
  const Samples old = Random(2, 16, 100 * B + 333, 20);
  Samples now;
  int64_t tailFrom = 0;
  int64_t seamFirst = 0, seamLast = 0;  // no block outside these frames is scanned
};

TEST_P(PeakOverviewSplice, EveryBlockSeamsIncludedHoldsTheTrueExtremesOfItsFrames) {
  const PeakOverview spliced = Splice(Store(dir, "b.qelf", now));
  ASSERT_EQ(spliced.Frames(), now.Frames());
  for (const FrameSpan& b : Blocks(spliced))
    for (int c = 0; c < 2; ++c)
      ASSERT_EQ(spliced.Extremes(c, b.first, b.last), Brute(now, c, b.first, b.last)) << b.first;
}

TEST_P(PeakOverviewSplice, AnyRangeGivesAnEnvelopeOfItsTrueExtremesAtMostABlockWider) {
  const PeakOverview spliced = Splice(Store(dir, "b.qelf", now));
  std::mt19937 random(5);
  for (int i = 0; i < 600; ++i) {
    // Half anywhere, half short ranges about the seams.
    int64_t a = random() % (now.Frames() + 1), b = random() % (now.Frames() + 1);
    if (i % 2) {
      a = std::clamp<int64_t>(seamFirst - B + random() % (seamLast - seamFirst + 2 * B), 0,
                              now.Frames());
      b = std::min<int64_t>(a + 1 + random() % (2 * B), now.Frames());
    }
    if (a > b) std::swap(a, b);
    if (a == b) continue;
    const Peak inner = Brute(now, 0, a, b), outer = Brute(now, 0, a - B, b + B);
    const Peak got = *spliced.Extremes(0, a, b);
    ASSERT_LE(got.minimum, inner.minimum) << a << " " << b;
    ASSERT_GE(got.maximum, inner.maximum) << a << " " << b;
    ASSERT_GE(got.minimum, outer.minimum) << a << " " << b;
    ASSERT_LE(got.maximum, outer.maximum) << a << " " << b;
  }
}

TEST_P(PeakOverviewSplice, OnlyTheMiddleAndTheSeamBlocksAreRead) {
  // Everything the splice carries over is overwritten in the new file.
  Samples garbled = now;
  for (int64_t f = 0; f < now.Frames(); ++f)
    if (f < seamFirst || f >= seamLast)
      std::fill_n(garbled.bytes.begin() + f * 4, 4, uint8_t{0x7F});
  const PeakOverview spliced = Splice(Store(dir, "b.qelf", garbled));
  for (const FrameSpan& b : Blocks(spliced)) {
    if (!NearSeam(b)) {
      ASSERT_EQ(spliced.Extremes(1, b.first, b.last), Brute(now, 1, b.first, b.last));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Edits, PeakOverviewSplice,
    testing::Values(Edit{"DeleteOnBlockBoundaries", 40 * B, 0, 50 * B},
                    Edit{"DeleteInsideBlocks", 40 * B + 17, 0, 61 * B + 300},
                    Edit{"DeleteInsideOneBlock", 12 * B + 10, 0, 12 * B + 100},
                    Edit{"InsertOnABlockBoundary", 33 * B, 4 * B, 33 * B},
                    Edit{"InsertInsideABlock", 33 * B + 100, 1000, 33 * B + 100},
                    Edit{"Replace", 10 * B + 5, 3 * B + 7, 20 * B + 250},
                    Edit{"DeleteAtTheStart", 0, 0, 5 * B + 3}, Edit{"InsertAtTheStart", 0, 777, 0},
                    Edit{"DeleteToTheEnd", 70 * B + 9, 0, -1},
                    Edit{"Append", 100 * B + 333, 2000, -1},
                    Edit{"WholeRewrite", 0, 45 * B + 1, -1}),
    [](const testing::TestParamInfo<Edit>& info) { return std::string(info.param.name); });

TEST(PeakOverviewSplicing, SplicesInARowKeepEveryBlockExact) {
  ScratchDir dir;
  Samples doc = Random(2, 16, 50 * B + 50, 40);
  PeakOverview o = Build(doc);
  const Edit edits[] = {{"", 7 * B + 3, 0, 9 * B + 100},
                        {"", 20 * B + 1, 999, 20 * B + 1},
                        {"", 3, 5 * B, 30 * B + 7}};
  for (int i = 0; const Edit& e : edits) {
    Samples next{2, 16, {}, {}};
    next.Append(doc, 0, e.head);
    next.Append(Random(2, 16, e.middle, 41 + i), 0, e.middle);
    next.Append(doc, e.tailFrom, doc.Frames());
    CSampleStoreFile f;
    ASSERT_TRUE(f.Open(Store(dir, std::to_string(i++) + ".qelf", next), kModeRead));
    ASSERT_TRUE(SpliceOverview(o, {e.head, e.middle, e.tailFrom}, f, &o));
    doc = next;
  }
  for (const FrameSpan& b : Blocks(o))
    ASSERT_EQ(o.Extremes(0, b.first, b.last), Brute(doc, 0, b.first, b.last)) << b.first;
}

TEST(PeakOverviewSplicing, ASpliceThatDoesNotFitTheNewFileIsRefused) {
  ScratchDir dir;
  const Samples old = Random(2, 16, 10 * B, 50);
  CSampleStoreFile f;
  ASSERT_TRUE(f.Open(Store(dir, "b.qelf", old), kModeRead));
  PeakOverview out = Build(Random(1, 8, 5, 51));
  const PeakOverview before = out;
  EXPECT_FALSE(SpliceOverview(Build(old), {B, 10, 2 * B}, f, &out));  // not the file's length
  EXPECT_FALSE(SpliceOverview(Build(old), {B, 0, 11 * B}, f, &out));  // beyond the end
  EXPECT_FALSE(SpliceOverview(Build(Random(1, 16, 11 * B, 52)), {B, 0, 2 * B}, f, &out));  // mono
  EXPECT_EQ(out, before);
}

// ---- the cache file ----

// An overview of several runs, as edits leave it.
PeakOverview Edited(const ScratchDir& dir) {
  const Samples old = Random(3, 24, 20 * B + 5, 60);
  Samples now{3, 24, {}, {}};
  now.Append(old, 0, 3 * B + 1);
  now.Append(old, 9 * B + 2, old.Frames());
  CSampleStoreFile f;
  EXPECT_TRUE(f.Open(Store(dir, "e.qelf", now), kModeRead));
  PeakOverview out;
  EXPECT_TRUE(SpliceOverview(Build(old), {3 * B + 1, 0, 9 * B + 2}, f, &out));
  return out;
}

TEST(PeakOverviewCache, AnOverviewReadsBackAsItWasSaved) {
  ScratchDir dir;
  const PeakOverview o = Edited(dir);
  ASSERT_TRUE(o.Save(dir / "c.tmp"));
  PeakOverview read;
  ASSERT_TRUE(read.Load(dir / "c.tmp"));
  EXPECT_EQ(read, o);
}

TEST(PeakOverviewCache, AFileCutShortIsRefusedAndTheOverviewLeftAlone) {
  ScratchDir dir;
  ASSERT_TRUE(Edited(dir).Save(dir / "c.tmp"));
  std::vector<uint8_t> bytes = ScratchDir::Contents(dir / "c.tmp");
  bytes.pop_back();
  PeakOverview read = Build(Random(1, 8, 3, 61));
  const PeakOverview before = read;
  EXPECT_FALSE(read.Load(dir.Write("cut.tmp", bytes)));
  EXPECT_EQ(read, before);
}

TEST(PeakOverviewCache, AnAbsurdBlockCountOrRunsThatDoNotAddUpToTheFramesAreRefused) {
  ScratchDir dir;
  ASSERT_TRUE(Build(Random(1, 16, 3 * B + 5, 63)).Save(dir / "c.tmp"));
  const std::vector<uint8_t> saved = ScratchDir::Contents(dir / "c.tmp");
  std::vector<uint8_t> huge = saved, runs = saved;
  huge[31] = 0x10;  // the block count's top byte: 2^60 blocks, refused before allocating
  runs[48] -= 1;    // the only run one frame shorter, the size unchanged
  PeakOverview read;
  EXPECT_FALSE(read.Load(dir.Write("huge.tmp", huge)));
  EXPECT_FALSE(read.Load(dir.Write("runs.tmp", runs)));
}

TEST(PeakOverviewCache, SavingReplacesAnOldFileAndLeavesNothingBeside) {
  ScratchDir dir;
  ASSERT_TRUE(Build(Random(1, 16, 9, 64)).Save(dir / "c.tmp"));
  const PeakOverview o = Build(Random(2, 32, 2 * B, 65));
  ASSERT_TRUE(o.Save(dir / "c.tmp"));
  EXPECT_EQ(dir.EntryCount(), 1u);
  PeakOverview read;
  ASSERT_TRUE(read.Load(dir / "c.tmp"));
  EXPECT_EQ(read, o);
}

TEST(PeakOverviewCache, AFailedSaveLeavesNoFileBehind) {
  ScratchDir dir;
  std::filesystem::create_directory(dir / "taken");
  std::ofstream(dir / "taken/x") << "x";  // a directory that cannot be renamed over
  std::error_code error;
  EXPECT_FALSE(Build(Random(1, 16, 9, 66)).Save(dir / "taken", &error));
  EXPECT_TRUE(error);
  EXPECT_EQ(dir.EntryCount(), 1u);
}

}  // namespace
}  // namespace qel::document
