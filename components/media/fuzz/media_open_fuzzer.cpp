// libFuzzer target for the file-opening path: the input becomes a file (with an
// extension the first byte chooses, so that extension-led paths such as
// headerless .raw files are reached), which a media-file object opens, reads
// to the end through ReadAudio, and whose video packets and markers it reads.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "media_core.h"
#include "video_file.h"

namespace {

using namespace qel;
using namespace qel::com;

constexpr const char* kExtensions[] = {"wav", "mp3", "flac", "ogg",  "opus", "m4a", "mp4",
                                       "mov", "mkv", "avi",  "aiff", "w64",  "raw", "bin"};
constexpr int kMaxBlocks = 64;

// The file the input is written to, removed when the run ends.
class InputFile {
 public:
  explicit InputFile(const char* extension)
      : path_("/dev/shm/qelmedia-fuzz-" + std::to_string(getpid()) + "." + extension) {}
  ~InputFile() { std::remove(path_.c_str()); }
  bool Write(const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  av_log_set_level(AV_LOG_QUIET);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const size_t choice = data[0] % std::size(kExtensions);
  InputFile input(kExtensions[choice]);
  if (!input.Write(data + 1, size - 1)) return 0;

  auto file = media::VideoFile::Create();
  if (std::string(kExtensions[choice]) == "raw" && size >= 4) {
    // A headerless file's format from the input's next bytes.
    auto format = media::AudioFormat::Create();
    format->put_FormatTag(data[1] % 8);
    format->put_SampleRate(8000 * (1 + data[2] % 12));
    format->put_SampleSize(8 * (1 + data[3] % 4));
    format->put_Channels(1 + data[1] / 8 % 8);
    file->put_AudioFormat(format.get());
  }
  int32_t result = 0;
  file->OpenFile(Bstr::FromUtf8(input.path()).get(), &result);
  if (result != 0) return 0;

  for (int i = 0; i < kMaxBlocks; ++i) {
    ComPtr<IUnknown> block;
    if (Failed(file->ReadAudio(4000, block.Out()))) break;
    int32_t bytes = 0;
    block.As<IAudioFrameData>()->get_DataSize(&bytes);
    if (bytes == 0) break;
  }
  file->Seek(100.0);
  ComPtr<IUnknown> again;
  file->ReadAudio(200, again.Out());
  for (int i = 0; i < kMaxBlocks; ++i) {
    ComPtr<IUnknown> packet;
    if (Failed(file->ReadVideo(packet.Out()))) break;
    int32_t bytes = 0;
    packet.As<IAudioFrameData>()->get_DataSize(&bytes);
    if (bytes == 0) break;
  }
  ComPtr<IUnknown> extra, format;
  file->get_ExtraData(extra.Out());
  file->get_AudioFormat(format.Out());
  return 0;
}
