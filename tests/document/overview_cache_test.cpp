// The overview cache file: its layout, and damaged files that must be refused.
#include <gtest/gtest.h>

#include "document/overview_cache.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using test::ScratchDir;
using Bytes = std::vector<uint8_t>;

std::vector<OverviewChannel> TwoChannels() {
  return {{{-1, -2}, {3, 4}}, {{-5, -6}, {0x7FFFFFFF, 8}}};
}

TEST(OverviewCache, FileHoldsTheCountThenMinimumAndMaximumOfEachChannel) {
  ScratchDir dir;
  ASSERT_TRUE(WriteOverviewCache(dir / "c.tmp", TwoChannels()));
  const Bytes expected{2,    0,    0,    0,    0,    0,    0,    0,     // N
                       0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF,  // channel 0 minimum
                       3,    0,    0,    0,    4,    0,    0,    0,     // channel 0 maximum
                       0xFB, 0xFF, 0xFF, 0xFF, 0xFA, 0xFF, 0xFF, 0xFF,  // channel 1 minimum
                       0xFF, 0xFF, 0xFF, 0x7F, 8,    0,    0,    0};    // channel 1 maximum
  EXPECT_EQ(ScratchDir::Contents(dir / "c.tmp"), expected);
}

TEST(OverviewCache, ReadingBackGivesEveryEntryOfEveryChannel) {
  ScratchDir dir;
  std::vector<OverviewChannel> channels(3);
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 1000; ++i) {
      channels[c].minimum.push_back(-i * (c + 1));
      channels[c].maximum.push_back(i * (c + 7));
    }
  }
  ASSERT_TRUE(WriteOverviewCache(dir / "c.tmp", channels));
  std::vector<OverviewChannel> read;
  ASSERT_TRUE(ReadOverviewCache(dir / "c.tmp", 3, &read));
  EXPECT_EQ(read, channels);
}

TEST(OverviewCache, FileCutShortIsRefusedAndTheOutputLeftAlone) {
  ScratchDir dir;
  ASSERT_TRUE(WriteOverviewCache(dir / "c.tmp", TwoChannels()));
  Bytes bytes = ScratchDir::Contents(dir / "c.tmp");
  bytes.pop_back();
  std::vector<OverviewChannel> read(1);
  EXPECT_FALSE(ReadOverviewCache(dir.Write("cut.tmp", bytes), 2, &read));
  EXPECT_EQ(read.size(), 1u);
}

TEST(OverviewCache, AbsurdCountIsRefusedBeforeAnythingIsAllocated) {
  ScratchDir dir;
  Bytes bytes{0, 0, 0, 0, 0, 0, 0, 0x10};  // N = 2^60
  bytes.resize(8 + 16, 0);
  std::vector<OverviewChannel> read;
  EXPECT_FALSE(ReadOverviewCache(dir.Write("huge.tmp", bytes), 2, &read));
}

TEST(OverviewCache, ArraysOfDifferentLengthsAreNotWritten) {
  ScratchDir dir;
  std::vector<OverviewChannel> channels{{{1, 2}, {3}}};
  EXPECT_FALSE(WriteOverviewCache(dir / "c.tmp", channels));
  EXPECT_EQ(dir.EntryCount(), 0u);
}

}  // namespace
}  // namespace qel::document
