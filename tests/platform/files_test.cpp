// Temporary names, find by pattern and the owning file handle.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <set>
#include <thread>

#include "platform/files.h"
#include "support/scratch_dir.h"

namespace qel::platform {
namespace {

using test::ScratchDir;

TEST(TempFileName, CreatesAnEmptyFileNamedPrefixHexNumberDotTmp) {
  ScratchDir dir;
  std::string name;
  ASSERT_TRUE(GetTempFileName(dir.Path(), "qel", &name));
  EXPECT_TRUE(std::regex_match(SplitPath(name).name, std::regex("qel[0-9A-F]+\\.tmp")));
  struct stat st {};
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST(TempFileName, FailsInADirectoryThatDoesNotExist) {
  ScratchDir dir;
  std::string name;
  EXPECT_FALSE(GetTempFileName(dir / "missing", "qel", &name));
}

TEST(TempFileName, NamesAreUniqueAcrossThreads) {
  ScratchDir dir;
  constexpr int kThreads = 8, kEach = 250;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string name;
        if (GetTempFileName(dir.Path(), "qel", &name)) names[t].push_back(name);
      }
    });
  }
  for (auto& thread : threads)
    thread.join();
  std::set<std::string> all;
  for (auto& list : names)
    all.insert(list.begin(), list.end());
  EXPECT_EQ(all.size(), size_t{kThreads * kEach});
}

TEST(FindFiles, ReturnsTheRegularFilesMatchingThePattern) {
  ScratchDir dir;
  for (auto name : {"qel1.qelf", "qelAB.qelf", "qel2.tmp", "other.qelf", "qel3.qelf.bak"}) {
    dir.Write(name, {});
  }
  mkdir((dir / "qeldir.qelf").c_str(), 0700);
  auto found = FindFiles(dir.Path(), "qel*.qelf");
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"qel1.qelf", "qelAB.qelf"}));
}

TEST(File, ReadAtTheEndReturnsWhatIsLeft) {
  ScratchDir dir;
  std::string path = dir.Write("data", {1, 2, 3, 4, 5});
  File file;
  ASSERT_TRUE(file.Open(path, FileAccess::Read, FileHint::SequentialScan));
  ASSERT_TRUE(file.Seek(3, SeekOrigin::Begin));
  uint8_t buffer[16];
  size_t done = 0;
  EXPECT_TRUE(file.Read(buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 2u);
}

TEST(File, ReadCollectsABlockThatArrivesInPieces) {
  ScratchDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] {
    File out;
    out.Open(fifo, FileAccess::Write);
    for (const char* piece : {"ab", "cde", "f"}) {
      out.Write(piece, std::strlen(piece), nullptr);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  File in;
  ASSERT_TRUE(in.Open(fifo, FileAccess::Read));
  char buffer[6];
  size_t done = 0;
  in.Read(buffer, sizeof buffer, &done);
  writer.join();
  EXPECT_EQ(std::string(buffer, done), "abcdef");
}

// Armed faults: the n-th call of one kind fails as the system would fail it.
class IoFaults : public ::testing::Test {
 protected:
  void TearDown() override { ClearIoFaults(); }
  File Created() {
    File file;
    EXPECT_TRUE(file.Open(dir_.Path() + "f", FileAccess::CreateTruncate));
    return file;
  }
  ScratchDir dir_;
};

TEST_F(IoFaults, OnlyTheNthCallOfTheArmedKindFails) {
  File file = Created();
  InjectIoFault(IoCall::Write, 2, ENOSPC, false);
  size_t done = 99;
  EXPECT_TRUE(file.Write("a", 1, &done));
  EXPECT_FALSE(file.Write("b", 1, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(file.LastError(), std::errc::no_space_on_device);
  EXPECT_TRUE(file.Write("c", 1, &done));
  EXPECT_TRUE(file.Seek(0, SeekOrigin::Begin));
  EXPECT_EQ(IoCallsSeen(IoCall::Write), 3);
  EXPECT_EQ(file.Size(), 2);
}

TEST_F(IoFaults, APersistentFaultFailsEveryCallFromTheNthOn) {
  File file = Created();
  ASSERT_TRUE(file.Write("abcd", 4, nullptr));
  InjectIoFault(IoCall::Read, 2, EIO, true);
  char byte;
  size_t done;
  EXPECT_TRUE(file.ReadAt(0, &byte, 1, &done));
  EXPECT_FALSE(file.ReadAt(1, &byte, 1, &done));
  EXPECT_FALSE(file.ReadAt(2, &byte, 1, &done));
  EXPECT_EQ(file.LastError(), std::errc::io_error);
}

TEST_F(IoFaults, OpenCreateRenameUnlinkAndCloseFailWithTheArmedError) {
  const std::string a = dir_.Path() + "a", b = dir_.Path() + "b";
  File file = Created();
  InjectIoFault(IoCall::Create, 1, EIO, false);
  EXPECT_FALSE(file.Open(a, FileAccess::CreateWrite));
  ASSERT_TRUE(file.Open(a, FileAccess::CreateWrite));
  InjectIoFault(IoCall::Close, 1, EIO, false);
  EXPECT_FALSE(file.Close());
  EXPECT_FALSE(file.IsOpen());
  InjectIoFault(IoCall::Open, 1, EIO, false);
  EXPECT_FALSE(file.Open(a, FileAccess::Read));
  InjectIoFault(IoCall::Rename, 1, ENOSPC, false);
  EXPECT_FALSE(RenameFile(a, b));
  EXPECT_EQ(errno, ENOSPC);
  InjectIoFault(IoCall::Unlink, 1, EIO, false);
  EXPECT_FALSE(DeleteFile(a));
  EXPECT_TRUE(RenameFile(a, b));
  EXPECT_TRUE(DeleteFile(b));
}

TEST_F(IoFaults, ClearedFaultsLetEveryCallThrough) {
  File file = Created();
  InjectIoFault(IoCall::Write, 1, EIO, true);
  ClearIoFaults();
  EXPECT_TRUE(file.Write("a", 1, nullptr));
  EXPECT_EQ(IoCallsSeen(IoCall::Write), 0);
}

}  // namespace
}  // namespace qel::platform
