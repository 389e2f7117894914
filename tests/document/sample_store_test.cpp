// Sample-store files: the header bytes, reading and writing by data position, and
// failures that must leave nothing behind.
#include <gtest/gtest.h>

#include <numeric>

#include "document/sample_store.h"
#include "support/file_size_limit.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using Bytes = std::vector<uint8_t>;

// "0100 4000" -> {0x01, 0x00, 0x40, 0x00}; spaces only group the fields.
Bytes Hex(std::string_view text) {
  std::string digits;
  for (char c : text) {
    if (c != ' ') digits.push_back(c);
  }
  Bytes out;
  for (size_t i = 0; i + 1 < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

Bytes Ramp(size_t n) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), 0);
  return b;
}

class SampleStoreTest : public ::testing::Test {
 protected:
  Bytes HeaderOf(int32_t rate, int32_t channels, int32_t bits, uint32_t mask) {
    CSampleStoreFile file;
    EXPECT_TRUE(file.Create(dir / "h.qelf", rate, channels, bits, mask));
    file.Close();
    return test::ScratchDir::Contents(dir / "h.qelf");
  }
  // A 6-channel 16-bit file (40-byte header) holding data; returns its path.
  std::string MakeStore(const Bytes& data) {
    CSampleStoreFile file;
    EXPECT_TRUE(file.Create(dir / "a.qelf", 44100, 6, 16, 0x3F));
    EXPECT_TRUE(file.Write(data.data(), data.size()));
    file.Close();
    return dir / "a.qelf";
  }
  test::ScratchDir dir;
  CSampleStoreFile store;
};

TEST_F(SampleStoreTest, TheHeaderIsTheShortRecordUnlessChannelsOrMaskNeedTheExtensibleOne) {
  struct Case {
    int32_t rate, channels, bits;
    uint32_t mask;
    const char* hex;
  };
  for (const Case& c : {
           Case{8000, 1, 16, 0, "0100 0100 401F0000 803E0000 0200 1000 0000"},
           Case{44100, 2, 16, 3, "0100 0200 44AC0000 10B10200 0400 1000 0000"},
           Case{44100, 1, 16, 4, "0100 0100 44AC0000 88580100 0200 1000 0000"},  // mono ignores it
           Case{48000, 6, 24, 0x3F,
                "FEFF 0600 80BB0000 002F0D00 1200 1800 1600 0000 3F000000"
                "00000000000000000000000000000000"},
       }) {
    SCOPED_TRACE(c.hex);
    EXPECT_EQ(HeaderOf(c.rate, c.channels, c.bits, c.mask), Hex(c.hex));
  }
  EXPECT_EQ(HeaderOf(44100, 2, 16, 0x5).size(), 40u);  // stereo with a mask other than 3
}

TEST_F(SampleStoreTest, OpenReadsTheFormatAndDataSizeOfAFortyByteHeaderBack) {
  ASSERT_TRUE(store.Open(MakeStore(Ramp(1000)), kModeRead));
  EXPECT_EQ(std::tuple(store.HeaderSize(), store.SampleRate(), store.Channels(), store.SampleSize(),
                       store.ChannelsMask(), store.BlockAlign(), store.DataSize()),
            std::tuple(40u, 44100, 6, 16, 0x3Fu, 12, uint64_t{1000}));
}

TEST_F(SampleStoreTest, ReadAtPosition600Of1000ReturnsTheRemaining400BytesThenZero) {
  const Bytes data = Ramp(1000);
  ASSERT_TRUE(store.Open(MakeStore(data), kModeRead));
  ASSERT_TRUE(store.Seek(600));
  Bytes buffer(4096);
  ASSERT_EQ(store.Read(buffer.data(), buffer.size()), 400u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 400), Bytes(data.begin() + 600, data.end()));
  EXPECT_EQ(store.Read(buffer.data(), buffer.size()), 0u);
}

TEST_F(SampleStoreTest, WritingInsideTheDataKeepsItsSizeAndPastTheEndGrowsIt) {
  ASSERT_TRUE(store.Open(MakeStore(Ramp(100)), kModeReadWrite));
  ASSERT_TRUE(store.Seek(10));
  ASSERT_TRUE(store.Write(Ramp(20).data(), 20));
  EXPECT_EQ(std::pair(store.Position(), store.DataSize()), std::pair(uint64_t{30}, uint64_t{100}));
  ASSERT_TRUE(store.Seek(90));
  ASSERT_TRUE(store.Write(Ramp(20).data(), 20));
  EXPECT_EQ(store.DataSize(), 110u);
}

TEST_F(SampleStoreTest, OpenFailsInAnyModeButReadOrReadWriteAndOnAHeaderCutShort) {
  const std::string path = MakeStore(Ramp(10));
  for (int32_t mode : {0, 3, 4, -1})
    EXPECT_FALSE(store.Open(path, mode)) << mode;
  EXPECT_FALSE(store.Open(dir.Write("short.qelf", Bytes(10, 1)), kModeRead));  // inside 18 bytes
  Bytes bytes = test::ScratchDir::Contents(MakeStore({}));
  bytes.resize(30);  // an extensible header cut short
  EXPECT_FALSE(store.Open(dir.Write("cut.qelf", bytes), kModeRead));
}

TEST_F(SampleStoreTest, SeekToANegativePositionFailsAndKeepsThePosition) {
  ASSERT_TRUE(store.Open(MakeStore(Ramp(100)), kModeRead));
  ASSERT_TRUE(store.Seek(50));
  EXPECT_FALSE(store.Seek(-10));
  EXPECT_EQ(store.Position(), 50u);
}

TEST_F(SampleStoreTest, CreateBelowARegularFileFailsWithNotADirectory) {
  dir.Write("plain", {});
  EXPECT_FALSE(store.Create(dir / "plain/a.qelf", 44100, 2, 16, 3));
  EXPECT_EQ(store.LastError(), std::errc::not_a_directory);
}

TEST_F(SampleStoreTest, NameLongerThan1023BytesFailsAndCreatesNothing) {
  EXPECT_FALSE(
      store.Create(dir.Path() + std::string(1024 - dir.Path().size(), 'q'), 44100, 2, 16, 3));
  EXPECT_EQ(dir.EntryCount(), 0u);
}

TEST_F(SampleStoreTest, UnsupportedFormatFailsAndCreatesNothing) {
  EXPECT_FALSE(store.Create(dir / "a.qelf", 44100, 19, 16, 0));
  EXPECT_FALSE(store.Create(dir / "b.qelf", 44100, 2, 12, 3));
  EXPECT_FALSE(store.Create(dir / "c.qelf", 0, 2, 16, 3));
  EXPECT_EQ(dir.EntryCount(), 0u);
}

TEST_F(SampleStoreTest, CreateThatCannotWriteItsHeaderLeavesNoFile) {
  bool created;
  {
    test::FileSizeLimit full(20);
    created = store.Create(dir / "a.qelf", 48000, 6, 24, 0x3F);
  }
  EXPECT_FALSE(created);
  EXPECT_EQ(dir.EntryCount(), 0u);
}

TEST_F(SampleStoreTest, WriteOnAFullDiskFailsAndCountsOnlyWhatReachedTheFile) {
  ASSERT_TRUE(store.Create(dir / "a.qelf", 44100, 2, 16, 3));
  bool written;
  {
    test::FileSizeLimit full(18 + 100);
    written = store.Write(Ramp(200).data(), 200);
  }
  EXPECT_FALSE(written);
  EXPECT_EQ(store.DataSize(), 100u);
}

}  // namespace
}  // namespace qel::document
