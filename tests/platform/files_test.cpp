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

}  // namespace
}  // namespace qel::platform
