// Copying a whole sample-store file: through CSampleStoreFile in one-second
// blocks (what an operation's block loop does), in 4 MiB blocks, and with the
// block-copy helper (what head and tail copies do). run.sh sets these side by
// side with cp of the same file.
//
// Each iteration is one whole copy; run with --benchmark_repetitions=N and take
// the best, as run.sh does, since a shared machine makes single copies noisy.
// The source is $QEL_BENCH_SOURCE when set; otherwise a file of $QEL_BENCH_MB
// megabytes (600 by default) is made in a temporary directory and removed again.
#include <benchmark/benchmark.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"

namespace {

using qel::document::CSampleStoreFile;

// One second of 44.1 kHz stereo 16-bit.
constexpr size_t kSecondBlock = 44100 * 2 * 2;
constexpr size_t kLargeBlock = 4 << 20;

// A directory that goes away with everything in it.
class WorkDir {
 public:
  WorkDir() {
    std::string pattern = qel::platform::SystemTempDirectory() + "qelbench-XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern + "/";
  }
  ~WorkDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

bool MakeSource(const std::string& path, uint64_t bytes) {
  CSampleStoreFile store;
  if (!store.Create(path, 44100, 2, 16, 3)) return false;
  std::vector<uint8_t> block(kLargeBlock);
  for (uint64_t done = 0; done < bytes;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), bytes - done));
    for (size_t i = 0; i < n; i += 256)
      getrandom(block.data() + i, std::min<size_t>(256, n - i), 0);
    if (!store.Write(block.data(), n)) return false;
    done += n;
  }
  return store.Close();
}

void CopyInBlocks(benchmark::State& state, const std::string& source, const std::string& dir) {
  const size_t blockSize = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> block(blockSize);
  uint64_t bytes = 0;
  for (auto _ : state) {
    std::string target;
    qel::document::MakeTempFileName(dir, &target);
    CSampleStoreFile in, out;
    if (!in.Open(source, qel::document::kModeRead) ||
        !out.Create(target, in.SampleRate(), in.Channels(), in.SampleSize(), in.ChannelsMask())) {
      state.SkipWithError("cannot open the files");
      break;
    }
    while (size_t n = in.Read(block.data(), block.size())) {
      if (!out.Write(block.data(), n)) {
        state.SkipWithError("write failed");
        break;
      }
    }
    bytes += out.DataSize();
    out.Close();
    state.PauseTiming();
    qel::platform::DeleteFile(target);
    sync();  // the next copy does not share the disk with this one's writeback
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void CopyWithHelper(benchmark::State& state, const std::string& source, const std::string& dir) {
  uint64_t bytes = 0;
  for (auto _ : state) {
    std::string target;
    qel::document::MakeTempFileName(dir, &target);
    CSampleStoreFile in, out;
    if (!in.Open(source, qel::document::kModeRead) ||
        !out.Create(target, in.SampleRate(), in.Channels(), in.SampleSize(), in.ChannelsMask()) ||
        !qel::document::CopySampleData(in, 0, out, 0, in.DataSize())) {
      state.SkipWithError("copy failed");
      break;
    }
    bytes += out.DataSize();
    out.Close();
    state.PauseTiming();
    qel::platform::DeleteFile(target);
    sync();  // the next copy does not share the disk with this one's writeback
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  WorkDir work;
  std::string source;
  if (const char* given = std::getenv("QEL_BENCH_SOURCE"); given && *given) {
    source = given;
  } else {
    const char* mb = std::getenv("QEL_BENCH_MB");
    const uint64_t megabytes = mb && *mb ? std::strtoull(mb, nullptr, 10) : 600;
    source = work.Path() + "source.qelf";
    if (!MakeSource(source, megabytes << 20)) return 1;
  }
  // Copies go next to the source, so that they compare with cp on the same disk.
  const std::string dir = qel::platform::SplitPath(source).directory;

  benchmark::RegisterBenchmark("StoreCopy/Blocks", CopyInBlocks, source, dir)
      ->Arg(kSecondBlock)
      ->Arg(kLargeBlock)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("StoreCopy/Helper", CopyWithHelper, source, dir)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
