#include "media_test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace qel::test {

using namespace com;

namespace {

uint16_t LE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t LE32(const uint8_t* p) {
  return LE16(p) | static_cast<uint32_t>(LE16(p + 2)) << 16;
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = std::filesystem::temp_directory_path().string() + "/qelmedia-XXXXXX";
  if (mkdtemp(pattern.data())) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  return names;
}

bool Shell(const std::string& command) {
  return std::system(command.c_str()) == 0;
}

bool Ffmpeg(const std::string& arguments) {
  return Shell("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments);
}

std::string Quote(const std::string& path) {
  return "'" + path + "'";
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> NoisePcm(const Format& format, int64_t frames, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> pcm(static_cast<size_t>(frames * format.BlockAlign()));
  for (uint8_t& b : pcm)
    b = static_cast<uint8_t>(random());
  return pcm;
}

namespace {

template <class I>
ComPtr<I> Make(const CLSID& clsid) {
  ComPtr<I> object;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, object.OutVoid()),
            S_OK);
  return object;
}

}  // namespace

ComPtr<IMediaFile> NewMediaFile() {
  return Make<IMediaFile>(CLSID_VideoFile);
}

ComPtr<IExtraData> NewExtraData() {
  return Make<IExtraData>(CLSID_ExtraData);
}

ComPtr<IAudioFormat> NewAudioFormat(const Format& format, int32_t tag) {
  auto f = Make<IAudioFormat>(CLSID_AudioFormat);
  f->put_FormatTag(tag);
  f->put_SampleRate(format.rate);
  f->put_SampleSize(format.bits);
  f->put_Channels(format.channels);
  f->put_ChannelsMask(static_cast<int32_t>(format.mask));
  return f;
}

ComPtr<IAudioFrameData> NewBlock(const Format& format, const uint8_t* pcm, size_t bytes) {
  auto block = Make<IAudioFrameData>(CLSID_AudioFrameData);
  const bool plain = format.channels == 1 || format.mask == 3;
  block->AllocateFormat(plain ? 18 : 40);
  uint8_t* r = nullptr;
  block->GetFormat(&r);
  Put16(r, plain ? 1 : 0xFFFE);
  Put16(r + 2, static_cast<uint32_t>(format.channels));
  Put32(r + 4, static_cast<uint32_t>(format.rate));
  Put32(r + 8, static_cast<uint32_t>(format.rate * format.BlockAlign()));
  Put16(r + 12, static_cast<uint32_t>(format.BlockAlign()));
  Put16(r + 14, static_cast<uint32_t>(format.bits));
  if (!plain) {
    static constexpr uint8_t kPcmGuid[16] = {1,    0, 0, 0,    0, 0,    0x10, 0,
                                             0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
    Put16(r + 16, 22);
    Put16(r + 18, static_cast<uint32_t>(format.bits));
    Put32(r + 20, format.mask);
    std::memcpy(r + 24, kPcmGuid, 16);
  }
  block->AllocateBuffer(static_cast<int32_t>(bytes));
  uint8_t* data = nullptr;
  block->GetBuffer(&data);
  if (bytes) std::memcpy(data, pcm, bytes);
  block->put_DataSize(static_cast<int32_t>(bytes));
  return block;
}

Record ParseRecord(IAudioFrameData* block) {
  Record record;
  int32_t size = 0;
  uint8_t* r = nullptr;
  block->get_FormatSize(&size);
  block->GetFormat(&r);
  record.size = static_cast<size_t>(size);
  if (size < 16) return record;
  record.tag = LE16(r);
  record.format.channels = LE16(r + 2);
  record.format.rate = static_cast<int32_t>(LE32(r + 4));
  record.format.bits = LE16(r + 14);
  record.format.mask = record.tag == 0xFFFE && size >= 40 ? LE32(r + 20)
                       : record.format.channels == 1      ? 4u
                                                          : 3u;
  return record;
}

int32_t Open(IMediaFile* file, const std::string& path) {
  int32_t result = 12345;
  EXPECT_EQ(file->OpenFile(Bstr::FromUtf8(path).get(), &result), S_OK);
  return result;
}

ComPtr<IMediaFile> Opened(const std::string& path) {
  auto file = NewMediaFile();
  EXPECT_EQ(Open(file.get(), path), 0) << path << ": " << LastError(file.get());
  return file;
}

int32_t Get(IMediaFile* file, HRESULT (IMediaFile::*getter)(int32_t*)) {
  int32_t value = -12345;
  EXPECT_EQ((file->*getter)(&value), S_OK);
  return value;
}

int32_t Create(IMediaFile* file, const std::string& path, int32_t type, const Format& format,
               int32_t videoTracks) {
  file->put_Prepare(-1);
  file->put_FileType(type);
  file->put_VideoTracksCount(videoTracks);
  file->put_AudioTracksCount(1);
  file->put_AudioTrack(0);
  EXPECT_EQ(file->put_AudioFormat(NewAudioFormat(format).get()), S_OK);
  file->put_Prepare(-1);
  int32_t result = 12345;
  EXPECT_EQ(file->CreateFile(Bstr::FromUtf8(path).get(), &result), S_OK);
  return result;
}

Decoded ReadAll(IMediaFile* file, double blockMs) {
  Decoded out;
  for (int guard = 0; guard < 1000000; ++guard) {
    ComPtr<IUnknown> unknown;
    if (Failed(file->ReadAudio(blockMs, unknown.Out()))) break;
    auto block = unknown.As<IAudioFrameData>();
    if (!block) break;
    if (out.blocks == 0) out.record = ParseRecord(block.get());
    int32_t size = 0;
    uint8_t* data = nullptr;
    block->get_DataSize(&size);
    block->GetBuffer(&data);
    ++out.blocks;
    if (size == 0) {
      out.endedWithEmptyBlock = true;
      break;
    }
    out.pcm.insert(out.pcm.end(), data, data + size);
  }
  return out;
}

Decoded Decode(const std::string& path, double blockMs) {
  return ReadAll(Opened(path).get(), blockMs);
}

int32_t Encode(const std::string& path, int32_t type, const Format& format,
               const std::vector<uint8_t>& pcm, IExtraData* extra, size_t blockFrames) {
  auto file = NewMediaFile();
  if (extra) file->put_ExtraData(extra);
  if (int32_t result = Create(file.get(), path, type, format); result != 0) return result;
  const size_t step = blockFrames * static_cast<size_t>(format.BlockAlign());
  for (size_t at = 0; at < pcm.size(); at += step) {
    auto block = NewBlock(format, pcm.data() + at, std::min(step, pcm.size() - at));
    EXPECT_EQ(file->WriteAudio(block.get()), S_OK) << LastError(file.get());
  }
  EXPECT_EQ(file->CloseFile(), S_OK) << LastError(file.get());
  return 0;
}

std::string LastError(IMediaFile* file) {
  Bstr text;
  file->get_LastError(text.Out());
  return text.utf8();
}

}  // namespace qel::test
