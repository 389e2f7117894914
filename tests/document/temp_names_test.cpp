// Names of temporary files, and how they meet the stale-file pattern.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "document/temp_names.h"
#include "platform/files.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using test::ScratchDir;

TEST(MakeTempFileName, LeavesNoFileBehind) {
  ScratchDir dir;
  std::string name;
  ASSERT_TRUE(MakeTempFileName(dir.Path(), &name));
  ASSERT_TRUE(MakeTempFileName(dir.Path(), &name, true));
  EXPECT_EQ(dir.EntryCount(), 0u);
}

TEST(MakeTempFileName, NamesAreUniqueAcrossManyThreads) {
  ScratchDir dir;
  constexpr int kThreads = 16, kEach = 200;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        std::string name;
        if (MakeTempFileName(dir.Path(), &name, i % 2 == 1)) names[t].push_back(name);
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

TEST(MakeTempFileName, StalePatternFindsStoreFilesButNotCacheFiles) {
  ScratchDir dir;
  std::string store, cache;
  ASSERT_TRUE(MakeTempFileName(dir.Path(), &store));
  ASSERT_TRUE(MakeTempFileName(dir.Path(), &cache, true));
  dir.Write(platform::SplitPath(store).name, {1});
  dir.Write(platform::SplitPath(cache).name, {1});
  EXPECT_EQ(platform::FindFiles(dir.Path(), std::string(kSampleStorePattern)),
            std::vector<std::string>{platform::SplitPath(store).name});
}

}  // namespace
}  // namespace qel::document
