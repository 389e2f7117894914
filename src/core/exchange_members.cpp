// The members that bring outside audio into the document and hand it out:
// mixing and pasting from the control clipboard and from media files, the
// system clipboard, and sample arrays. Thin adapters over editing/mix_operations.h.
#include "core/audio_editor.h"
#include "editing/mix_operations.h"
#include "platform/clipboard.h"

namespace qel {

using namespace com;

namespace {

// A host's percentage as the factor the mixing uses.
double Factor(double percent) {
  return percent / 100.0;
}

// The host receives a media component's result code unchanged; where it is
// one of the error table's it also gets the table's message.
HRESULT MediaResult(const editing::MediaOutcome& outcome) {
  if (outcome.error != kErrNone) return RaiseError(outcome.error);
  return Succeeded(outcome.component) ? S_OK : RaiseComponentResult(outcome.component);
}

}  // namespace

HRESULT CAudioEditor::Mix(double amplifySelect, double amplifyPaste) {
  const ComPtr<CAudioEditor> self(this);
  return Raise(editing::Mix(Model(), *state_, {Factor(amplifySelect), Factor(amplifyPaste)}));
}

HRESULT CAudioEditor::MixFromFile(BSTR fileName, double amplifyPaste, double amplifySelect) {
  const ComPtr<CAudioEditor> self(this);
  if (!Model().IsOpen() || !Model().Idle()) return S_OK;
  const editing::MediaSource source{*mediaFile_, ToUtf8(fileName), rawFormat_.get()};
  return MediaResult(editing::MixFromFile(Model(), *state_, source,
                                          {Factor(amplifySelect), Factor(amplifyPaste)}));
}

HRESULT CAudioEditor::PasteFromFile(BSTR fileName) {
  const ComPtr<CAudioEditor> self(this);
  if (!Model().IsOpen() || !Model().Idle()) return S_OK;
  const editing::MediaSource source{*mediaFile_, ToUtf8(fileName), rawFormat_.get()};
  return MediaResult(editing::PasteFromFile(Model(), *state_, source));
}

HRESULT CAudioEditor::CopyToClipboard() {
  const ComPtr<CAudioEditor> self(this);
  std::vector<uint8_t> image;
  const int32_t error = editing::CopyWaveImage(Model(), *state_, &image);
  if (error != kErrNone) return RaiseError(error);
  if (image.empty()) return S_OK;  // nothing selected, or cancelled
  if (!platform_.clipboard) return RaiseError(kErrMemory);
  // What was there stays under its other types: only the wave data is replaced.
  platform::ClipboardSession session(*platform_.clipboard);
  if (!session.IsOpen() || !platform::SetWaveData(*platform_.clipboard, image))
    return RaiseError(kErrMemory);
  return S_OK;
}

HRESULT CAudioEditor::PasteFromClipboard() {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  if (!doc.IsOpen() || !doc.Idle()) return S_OK;
  if (doc.source.hasVideo) return RaiseError(kErrInvalidOperation);
  if (!platform_.clipboard) return S_OK;
  std::optional<std::vector<uint8_t>> image;
  {
    platform::ClipboardSession session(*platform_.clipboard);
    if (!session.IsOpen()) return RaiseError(kErrMemory);
    image = platform::GetWaveData(*platform_.clipboard);
  }
  if (!image || image->empty()) return S_OK;  // no wave data: nothing to paste
  return MediaResult(editing::PasteWaveImage(doc, *state_, *mediaFile_, *image));
}

HRESULT CAudioEditor::GetAudioArray(int32_t frames, IUnknown** audioData) {
  const ComPtr<CAudioEditor> self(this);
  if (!audioData) return E_POINTER;
  document::Document& doc = Model();
  // While playing the host gets what the listener heard last, from the
  // player; while recording, the frames recorded last (they are in the
  // document already, up to the record position).
  const int32_t status = doc.Status();
  if (status == status::kPlaying) {
    IAudioPlayer* player = playback_->Player();
    if (!player) return S_OK;
    const HRESULT hr = player->GetPlayedData(frames, audioData);
    return Failed(hr) ? RaiseComponentResult(hr) : S_OK;
  }
  const bool recording = status == status::kRecording || status == status::kRecordPaused;
  if (!doc.IsOpen() || (status != status::kIdle && status != status::kPlayPaused && !recording))
    return S_OK;
  if (!dataBuffer_ && Failed(CoCreateInstance(CLSID_DataBuffer, nullptr, CLSCTX_INPROC_SERVER,
                                              IDataBuffer::kIID, dataBuffer_.OutVoid()))) {
    ShowNotRegistered(kCoreNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  const int32_t error = recording
                            ? editing::GetRecordedAudio(doc, record_.feed, frames, *dataBuffer_)
                            : editing::GetAudioArray(doc, frames, *dataBuffer_);
  if (error != kErrNone) return RaiseError(error);
  // The host gets the control's own buffer, with a reference of its own.
  return dataBuffer_->QueryInterface(IUnknown::kIID, reinterpret_cast<void**>(audioData));
}

HRESULT CAudioEditor::PutAudioArray(IUnknown* audioData) {
  const ComPtr<CAudioEditor> self(this);
  ComPtr<IAudioFrameData> frames;
  if (!audioData || Failed(audioData->QueryInterface(IAudioFrameData::kIID, frames.OutVoid())))
    return S_OK;
  int32_t size = 0;
  uint8_t* bytes = nullptr;
  frames->get_DataSize(&size);
  frames->GetBuffer(&bytes);
  if (size < 1 || !bytes) return S_OK;
  return Raise(editing::PutAudioArray(Model(), *state_, {bytes, static_cast<size_t>(size)}));
}

}  // namespace qel
