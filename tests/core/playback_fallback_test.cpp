// A device that refuses the document's format: the control asks again for
// 44100 Hz and 16 bits and converts what it plays. No sound device here takes
// some formats and refuses others, so a player of the test's own stands in for
// the real one in the class table.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "com/classtable.h"
#include "core/surface.h"
#include "external/audio.h"
#include "external/audio_defaults.h"
#include "external/media.h"

namespace qel {
namespace {

using namespace com;

struct Heard {
  std::vector<std::array<int32_t, 3>> inits;  // rate, channels, bits asked for
  std::vector<uint8_t> bytes;                 // every block written
};
Heard* heard = nullptr;  // the running test's, while the fake is registered

class PickyPlayer final : public DispatchObject<PickyPlayer, IAudioPlayerDefaults> {
 public:
  static HRESULT CreateInstance(REFIID iid, void** object) {
    auto player = Create();
    return player ? player->QueryInterface(iid, object) : E_OUTOFMEMORY;
  }
  HRESULT Init(int32_t rate, int32_t channels, int32_t bits, int32_t, int32_t* result) override {
    heard->inits.push_back({rate, channels, bits});
    *result = rate == 44100 && bits == 16 ? 0 : 20;  // 20: the output device refuses
    return S_OK;
  }
  HRESULT Stop() override { return S_OK; }
  HRESULT put_TimerInterval(int32_t) override { return S_OK; }
  HRESULT put_BufferSize(int32_t) override { return S_OK; }
  HRESULT SetAdditionalParam(BSTR, VARIANT) override { return S_OK; }
  HRESULT Write(IUnknown* data, int32_t* result) override {
    ComPtr<IDataBuffer> buffer;
    int32_t size = 0;
    uint8_t* bytes = nullptr;
    if (Failed(data->QueryInterface(IDataBuffer::kIID, buffer.OutVoid())) ||
        Failed(buffer->get_DataSize(&size)) || Failed(buffer->GetBuffer(&bytes)))
      return E_FAIL;
    heard->bytes.insert(heard->bytes.end(), bytes, bytes + size);
    *result = 0;
    return S_OK;
  }
};

class PickyDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    heard = &heard_;
    // The real player's module is loaded first, so that loading it later
    // cannot put the real class back over the fake; TearDown restores it.
    real_ = ClassTable::Instance().FindOrLoad(CLSID_AudioDXPlayer);
    ClassInfo info;
    info.clsid = CLSID_AudioDXPlayer;
    info.name = "AudioDXPlayer";
    info.defaultInterface = IAudioPlayer::kIID;
    info.create = &PickyPlayer::CreateInstance;
    ClassTable::Instance().Register(info);
  }
  void TearDown() override {
    if (real_)
      ClassTable::Instance().Register(*real_);
    else
      ClassTable::Instance().Unregister(CLSID_AudioDXPlayer);
    heard = nullptr;
  }
  Heard heard_;
  std::optional<ClassInfo> real_;
};

TEST_F(PickyDevice, ItPlaysAnEightBitDocumentAs44100Hz16BitSampleForSample) {
  ComPtr<IAudioEditor> editor;
  ASSERT_EQ(CoCreateInstance(CLSID_AudioEditor, nullptr, CLSCTX_INPROC_SERVER, IAudioEditor::kIID,
                             editor.OutVoid()),
            S_OK);
  ASSERT_EQ(editor->New(8000, 1, 8, 4), S_OK);
  ComPtr<IAudioFrameData> frames;
  ASSERT_EQ(CoCreateInstance(CLSID_AudioFrameData, nullptr, CLSCTX_INPROC_SERVER,
                             IAudioFrameData::kIID, frames.OutVoid()),
            S_OK);
  std::vector<uint8_t> samples(800);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<uint8_t>(i * 37);
  uint8_t* buffer = nullptr;
  ASSERT_EQ(frames->AllocateBuffer(static_cast<int32_t>(samples.size())), S_OK);
  ASSERT_EQ(frames->GetBuffer(&buffer), S_OK);
  std::memcpy(buffer, samples.data(), samples.size());
  frames->put_DataSize(static_cast<int32_t>(samples.size()));
  ASSERT_EQ(editor->PutAudioArray(frames.get()), S_OK);

  ASSERT_EQ(editor->Play(2, 0), S_OK);
  editor->Stop();

  const std::vector<std::array<int32_t, 3>> inits = {{8000, 1, 8}, {44100, 1, 16}};
  EXPECT_EQ(heard_.inits, inits);
  // Each output frame holds the input frame it falls in, widened to 16 bits.
  std::vector<uint8_t> expected;
  for (int64_t f = 0; f < 800 * 44100 / 8000; ++f) {
    const auto v =
        static_cast<int16_t>((samples[static_cast<size_t>(f * 8000 / 44100)] - 128) << 8);
    expected.push_back(static_cast<uint8_t>(v));
    expected.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  EXPECT_EQ(heard_.bytes, expected);
}

}  // namespace
}  // namespace qel
