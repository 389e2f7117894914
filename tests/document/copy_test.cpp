// The block copy between store files that operations use for heads and tails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <numeric>
#include <random>

#include "document/sample_store.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using test::ScratchDir;
using Bytes = std::vector<uint8_t>;

Bytes Noise(size_t n) {
  Bytes b(n);
  std::mt19937 random(1234);
  for (auto& v : b)
    v = static_cast<uint8_t>(random());
  return b;
}

Bytes DataOf(const std::string& path, uint32_t header) {
  Bytes all = ScratchDir::Contents(path);
  return Bytes(all.begin() + header, all.end());
}

class CopyTest : public ::testing::Test {
 protected:
  // source: 6 channels (40-byte header); target: stereo (18-byte header), both open.
  void Prepare(const std::string& sourceDir, const std::string& targetDir, size_t bytes) {
    data = Noise(bytes);
    ASSERT_TRUE(source.Create(sourceDir + "src.qelf", 44100, 6, 16, 0x3F));
    ASSERT_TRUE(source.Write(data.data(), data.size()));
    source.Close();
    ASSERT_TRUE(source.Open(sourceDir + "src.qelf", kModeRead));
    targetPath = targetDir + "dst.qelf";
    ASSERT_TRUE(target.Create(targetPath, 44100, 2, 16, 3));
  }
  ScratchDir dir;
  Bytes data;
  CSampleStoreFile source, target;
  std::string targetPath;
};

TEST_F(CopyTest, CopiesExactlyTheRequestedRangeToTheRequestedPlace) {
  Prepare(dir.Path(), dir.Path(), 100000);
  ASSERT_TRUE(target.Write(Bytes(64, 0xEE).data(), 64));
  ASSERT_TRUE(CopySampleData(source, 1000, target, 64, 50000));
  target.Close();
  // Built in one go: GCC 12 misreads an insert after a fill as out of bounds.
  Bytes expected(64 + 50000, 0xEE);
  std::copy(data.begin() + 1000, data.begin() + 51000, expected.begin() + 64);
  EXPECT_EQ(DataOf(targetPath, 18), expected);
}

TEST_F(CopyTest, BothFilesContinueAfterTheCopiedRange) {
  Prepare(dir.Path(), dir.Path(), 10000);
  ASSERT_TRUE(CopySampleData(source, 100, target, 0, 5000));
  EXPECT_EQ(source.Position(), 5100u);
  EXPECT_EQ(target.Position(), 5000u);
  EXPECT_EQ(target.DataSize(), 5000u);
}

TEST_F(CopyTest, AskingForMoreThanTheSourceHoldsCopiesWhatThereIsAndFails) {
  Prepare(dir.Path(), dir.Path(), 1000);
  uint64_t copied = 0;
  EXPECT_FALSE(CopySampleData(source, 600, target, 0, 4096, &copied));
  EXPECT_EQ(copied, 400u);
}

TEST_F(CopyTest, CopyBetweenFileSystemsGivesTheSameBytesInSeveralBlocks) {
  if (access("/dev/shm", W_OK) != 0) GTEST_SKIP() << "no /dev/shm";
  std::string pattern = "/dev/shm/qeltest-XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string other = pattern + "/";
  const size_t size = (9 << 20) + 123;  // more than two blocks of the buffered copy
  Prepare(other, dir.Path(), size);
  const bool ok = CopySampleData(source, 0, target, 0, size);
  target.Close();
  source.Close();
  const Bytes copied = DataOf(targetPath, 18);
  unlink((other + "src.qelf").c_str());
  rmdir(pattern.c_str());
  ASSERT_TRUE(ok);
  EXPECT_TRUE(copied == data);
}

}  // namespace
}  // namespace qel::document
