// How fast the view draws, at 1920 x 600 pixels, on a one-hour stereo 16-bit
// document kept in a sample-store file (`$QEL_BENCH_VIEW_FILE`, or one made in
// the temporary directory for the run and removed afterwards):
//   - a full redraw (layout, data, every layer, present) of the whole document,
//     whose columns come from the peak overview;
//   - a full redraw of a ten-second view, whose columns come from the samples;
//   - a cursor move: only the present bitmap and its copy to the window;
//   - building the overview, next to reading the file once the same way;
//   - the column data of the full view from the overview alone;
//   - after a one-minute delete in the middle: the new version's overview
//     spliced from the previous one, and the full view's column data.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "document/peak_overview.h"
#include "document/sample_store.h"
#include "view/memory_source.h"
#include "view/peaks.h"

namespace qel::view {
namespace {

constexpr int kRate = 44100;
constexpr int64_t kFrames = int64_t{kRate} * 3600;
constexpr int kWidth = 1920;
constexpr int kHeight = 600;

// The one-hour document: a tone whose loudness wanders from second to second.
class HourFile {
 public:
  HourFile() {
    if (const char* given = std::getenv("QEL_BENCH_VIEW_FILE")) {
      path_ = given;
      return;
    }
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel-view-bench.qelf";
    made_ = true;
    document::CSampleStoreFile f;
    if (!f.Create(path_, kRate, 2, 16, 3)) std::abort();
    std::vector<int16_t> second(2 * kRate);
    for (int s = 0; s < 3600; ++s) {
      const double loud = 0.2 + 0.8 * std::fabs(std::sin(s * 0.37));
      for (int i = 0; i < kRate; ++i) {
        const double v = std::sin(2 * M_PI * 440 * i / kRate) * 30000 * loud;
        second[2 * i] = static_cast<int16_t>(v);
        second[2 * i + 1] = static_cast<int16_t>(-v / 2);
      }
      if (!f.Write(second.data(), second.size() * 2)) std::abort();
    }
    f.Close();
  }
  ~HourFile() {
    if (made_) std::remove(path_.c_str());
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  bool made_ = false;
};

const HourFile& Hour() {
  static const HourFile file;  // made once for all benchmarks of the run
  return file;
}

// The version after deleting the minute that starts half way through the hour.
constexpr int64_t kCutFrom = kFrames / 2;
constexpr int64_t kCutTo = kCutFrom + int64_t{kRate} * 60;

class CutHourFile {
 public:
  CutHourFile() {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/qel-view-bench-cut.qelf";
    document::CSampleStoreFile hour, cut;
    if (!hour.Open(Hour().Path(), document::kModeRead) || !cut.Create(path_, kRate, 2, 16, 3) ||
        !document::CopySampleData(hour, 0, cut, 0, kCutFrom * 4) ||
        !document::CopySampleData(hour, kCutTo * 4, cut, kCutFrom * 4, (kFrames - kCutTo) * 4) ||
        !cut.Close())
      std::abort();
  }
  ~CutHourFile() { std::remove(path_.c_str()); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

const CutHourFile& CutHour() {
  static const CutHourFile file;
  return file;
}

// A view of the hour at 1920 x 600. Its first update builds the overview, as
// the control's view does for a long document that has none.
struct HourView {
  HourView() : harness(kWidth, kHeight) {
    test::MemorySource& s = *harness.source;
    s.file = Hour().Path();
    s.doc.open = true;
    s.doc.sampleRate = kRate;
    s.doc.channels = 2;
    s.doc.sampleSize = 16;
    s.doc.channelsMask = 3;
    s.doc.lengthBytes = kFrames * 4;
    s.doc.sampleFile = s.file;
    s.ShowFrames(0, kFrames);
    harness.view.Update();
    if (!s.overview) std::abort();
  }
  test::ViewHarness harness;
};

void BM_FullRedrawFromOverview(benchmark::State& state) {
  HourView hv;
  for (auto _ : state) {
    hv.harness.view.RequestRelayout();
    hv.harness.view.Update();
  }
}
BENCHMARK(BM_FullRedrawFromOverview)->Unit(benchmark::kMillisecond);

void BM_RedrawTenSecondsFromSamples(benchmark::State& state) {
  HourView hv;
  const int64_t start = kFrames / 2;
  hv.harness.source->ShowFrames(start, start + 10 * kRate);
  hv.harness.view.Update();
  for (auto _ : state) {
    hv.harness.view.RequestRelayout();
    hv.harness.view.Update();
  }
}
BENCHMARK(BM_RedrawTenSecondsFromSamples)->Unit(benchmark::kMillisecond);

void BM_CursorMove(benchmark::State& state) {
  HourView hv;
  std::vector<uint32_t> window(static_cast<size_t>(kWidth) * kHeight);
  const platform::PixelBuffer target{reinterpret_cast<uint8_t*>(window.data()), kWidth, kHeight,
                                     kWidth * 4};
  int64_t at = 0;
  for (auto _ : state) {
    at = (at + kFrames / 7) % kFrames;
    hv.harness.source->SelectFrames(at, at);
    hv.harness.view.RequestPresent();
    hv.harness.view.OnPaint(target);  // present, then the copy to the window
  }
}
BENCHMARK(BM_CursorMove)->Unit(benchmark::kMillisecond);

// The same reader and block size the overview scan uses.
void BM_ReadFileOnce(benchmark::State& state) {
  HourView hv;
  auto reader = hv.harness.source->OpenSamples();
  std::vector<uint8_t> block(document::kScanBlockBytes);
  for (auto _ : state) {
    int64_t total = 0;
    for (int64_t p = 0; p < kFrames * 4;) {
      const size_t got = reader->ReadAt(p, block.data(), block.size());
      if (got == 0) break;
      p += static_cast<int64_t>(got);
      total += static_cast<int64_t>(got);
    }
    benchmark::DoNotOptimize(total);
    state.SetBytesProcessed(state.bytes_processed() + total);
  }
}
BENCHMARK(BM_ReadFileOnce)->Unit(benchmark::kMillisecond);

void BM_BuildOverview(benchmark::State& state) {
  document::CSampleStoreFile file;
  if (!file.Open(Hour().Path(), document::kModeRead)) std::abort();
  for (auto _ : state) {
    document::PeakOverview o;
    if (!document::BuildPeakOverview(file, &o)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(o.Frames());
    state.SetBytesProcessed(state.bytes_processed() + kFrames * 4);
  }
}
BENCHMARK(BM_BuildOverview)->Unit(benchmark::kMillisecond);

// The column data of a 1920-pixel view of the whole hour.
void BM_FullViewColumnsFromOverview(benchmark::State& state) {
  HourView hv;
  const int width = hv.harness.view.GetLayout().width;
  ColumnData columns;
  for (auto _ : state) {
    columns.Reset(2, width);
    ColumnsFromOverview(*hv.harness.source->overview, 0, kFrames, columns);
    benchmark::DoNotOptimize(columns.channels[0].maximum.data());
  }
}
BENCHMARK(BM_FullViewColumnsFromOverview)->Unit(benchmark::kMillisecond);

// What the next picture needs after a one-minute delete: the new version's
// overview from the previous one (reading one block at the seam), then the
// column data of the full view.
void BM_SpliceAfterDelete(benchmark::State& state) {
  HourView hv;
  const document::PeakOverview& previous = *hv.harness.source->overview;
  const int width = hv.harness.view.GetLayout().width;
  document::CSampleStoreFile cut;
  if (!cut.Open(CutHour().Path(), document::kModeRead)) std::abort();
  ColumnData columns;
  for (auto _ : state) {
    document::PeakOverview next;
    if (!document::SpliceOverview(previous, {kCutFrom, 0, kCutTo}, cut, &next))
      state.SkipWithError("splice failed");
    columns.Reset(2, width);
    ColumnsFromOverview(next, 0, next.Frames(), columns);
    benchmark::DoNotOptimize(columns.channels[0].maximum.data());
  }
}
BENCHMARK(BM_SpliceAfterDelete)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qel::view

BENCHMARK_MAIN();
