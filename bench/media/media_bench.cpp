// The media-file component at the control's pace: a whole file decoded through
// ReadAudio(4000 ms) blocks (a WAV and an MP3), and one hour of audio written
// as a WAV through WriteAudio blocks of 4000 ms. Objects come from the class
// table, as the control creates them. run.sh sets the figures beside cp and
// ffmpeg doing the same work.
//
// $QEL_BENCH_WAV and $QEL_BENCH_MP3 name the files to decode (a benchmark whose
// file is not given is skipped); written files go beside the WAV and are
// deleted, with sync, outside the timed part. Each iteration is one whole file:
// run with --benchmark_repetitions=N and take the best.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "com/classtable.h"
#include "external/media.h"

namespace {

using namespace qel;
using namespace qel::com;

ComPtr<IMediaFile> NewMediaFile() {
  ComPtr<IMediaFile> file;
  CoCreateInstance(CLSID_VideoFile, nullptr, CLSCTX_INPROC_SERVER, IMediaFile::kIID,
                   file.OutVoid());
  return file;
}

void Decode(benchmark::State& state, const std::string& path) {
  if (path.empty()) {
    state.SkipWithError("file not given");
    return;
  }
  int64_t bytes = 0;
  for (auto _ : state) {
    auto file = NewMediaFile();
    int32_t result = -1;
    if (!file || Failed(file->OpenFile(Bstr::FromUtf8(path).get(), &result)) || result != 0) {
      state.SkipWithError("cannot open the file");
      return;
    }
    while (true) {
      ComPtr<IUnknown> block;
      if (Failed(file->ReadAudio(4000, block.Out()))) break;
      int32_t size = 0;
      block.As<IAudioFrameData>()->get_DataSize(&size);
      if (size == 0) break;
      bytes += size;
    }
  }
  state.SetBytesProcessed(bytes);
}

// One 4000 ms block of 44.1 kHz stereo 16-bit noise behind its record.
ComPtr<IAudioFrameData> NoiseBlock() {
  ComPtr<IAudioFrameData> block;
  CoCreateInstance(CLSID_AudioFrameData, nullptr, CLSCTX_INPROC_SERVER, IAudioFrameData::kIID,
                   block.OutVoid());
  const uint8_t record[18] = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0};
  block->AllocateFormat(sizeof record);
  uint8_t* format = nullptr;
  block->GetFormat(&format);
  std::memcpy(format, record, sizeof record);
  const int32_t size = 4 * 44100 * 4;
  block->AllocateBuffer(size);
  uint8_t* data = nullptr;
  block->GetBuffer(&data);
  std::mt19937 random(1);
  for (int32_t i = 0; i < size; ++i)
    data[i] = static_cast<uint8_t>(random());
  block->put_DataSize(size);
  return block;
}

void WriteWav(benchmark::State& state, const std::string& dir) {
  auto block = NoiseBlock();
  ComPtr<IAudioFormat> format;
  CoCreateInstance(CLSID_AudioFormat, nullptr, CLSCTX_INPROC_SERVER, IAudioFormat::kIID,
                   format.OutVoid());
  format->put_FormatTag(1);
  format->put_SampleRate(44100);
  format->put_SampleSize(16);
  format->put_Channels(2);
  format->put_ChannelsMask(3);
  const std::string target = dir + "/written.wav";
  constexpr int kBlocksPerHour = 900;
  int64_t bytes = 0;
  for (auto _ : state) {
    auto file = NewMediaFile();
    file->put_FileType(37);
    file->put_AudioFormat(format.get());
    int32_t result = -1;
    file->CreateFile(Bstr::FromUtf8(target).get(), &result);
    if (result != 0) {
      state.SkipWithError("cannot create the file");
      return;
    }
    for (int i = 0; i < kBlocksPerHour; ++i)
      file->WriteAudio(block.get());
    if (Failed(file->CloseFile())) {
      state.SkipWithError("cannot close the file");
      return;
    }
    bytes += int64_t{kBlocksPerHour} * 4 * 44100 * 4;
    state.PauseTiming();
    std::filesystem::remove(target);
    sync();  // the next write does not share the disk with this one's writeback
    state.ResumeTiming();
  }
  state.SetBytesProcessed(bytes);
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  const std::string wav = Env("QEL_BENCH_WAV"), mp3 = Env("QEL_BENCH_MP3");
  const std::string dir = wav.empty() ? std::filesystem::temp_directory_path().string()
                                      : std::filesystem::absolute(wav).parent_path().string();
  for (auto* b : {benchmark::RegisterBenchmark("Media/DecodeWav", Decode, wav),
                  benchmark::RegisterBenchmark("Media/DecodeMp3", Decode, mp3),
                  benchmark::RegisterBenchmark("Media/WriteWav", WriteWav, dir)})
    b->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
