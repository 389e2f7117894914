// Recording into the document: Record takes a new history step that is a
// copy of the document, and every block the recorder delivers is written into
// that step's sample-store file at the record position, over the samples there
// or mixed into them. The recorder's events arrive through the control's
// message queue, on the host's thread.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "platform/files.h"

namespace qel {

using namespace com;
using namespace document;

namespace {

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Adds b to a, sample by sample, clamped to the sample type's range.
void MixSaturating(uint8_t* a, const uint8_t* b, size_t bytes, int32_t bits) {
  const size_t step = static_cast<size_t>(bits / 8);
  for (size_t i = 0; i + step <= bytes; i += step) {
    switch (bits) {
      case 8: {
        const int v = static_cast<int>(a[i]) + static_cast<int>(b[i]) - 128;
        a[i] = static_cast<uint8_t>(std::clamp(v, 0, 255));
        break;
      }
      case 16: {
        const int v = static_cast<int16_t>(a[i] | (a[i + 1] << 8)) +
                      static_cast<int16_t>(b[i] | (b[i + 1] << 8));
        const auto s = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        a[i] = static_cast<uint8_t>(s & 0xFF);
        a[i + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
        break;
      }
      case 24: {
        auto read = [](const uint8_t* p) {
          return static_cast<int32_t>((p[0] << 8) | (p[1] << 16) |
                                      (static_cast<uint32_t>(p[2]) << 24)) >>
                 8;
        };
        const int32_t v = std::clamp(read(a + i) + read(b + i), -8388608, 8388607);
        a[i] = static_cast<uint8_t>(v & 0xFF);
        a[i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        a[i + 2] = static_cast<uint8_t>((v >> 16) & 0xFF);
        break;
      }
      default: {
        int32_t x, y;
        std::memcpy(&x, a + i, 4);
        std::memcpy(&y, b + i, 4);
        const auto v = static_cast<int32_t>(
            std::clamp<int64_t>(static_cast<int64_t>(x) + y, INT32_MIN, INT32_MAX));
        std::memcpy(a + i, &v, 4);
      }
    }
  }
}

}  // namespace

HRESULT CAudioEditor::Record(int32_t recordType) {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  const int32_t status = doc.Status();
  if (status == status::kRecordPaused) return StartRecorder();
  if (status != status::kIdle) return S_OK;
  HistoryStep* current = doc.Current();
  if (!current) return S_OK;
  if (!recorder_->Recorder()) {
    ShowNotRegistered(u"QelAudioRecord4 is not registered.");
    return RaiseError(kErrNotInstalled);
  }

  doc.progressScale = 95;
  record_.cpuSeconds = ProcessCpuSeconds();
  record_.displayMode = 1;
  const ViewStack saved = current->view;
  const int zs = saved.zoom;

  // The copy the recording goes into.
  const DocumentFormat f = doc.format;
  std::string name;
  CSampleStoreFile source, copy;
  if (!MakeTempFileName(doc.TempDirectory(), &name) ||
      !copy.Create(name, f.sampleRate, f.channels, f.sampleSize, f.channelsMask) ||
      !source.Open(current->sampleFile, 1))
    return RaiseError(kErrMemory);
  doc.SetStatus(status::kPreparingRecord);
  const int64_t block = static_cast<int64_t>(f.BlockAlign()) * f.sampleRate * 10;
  int64_t copied = 0;
  while (copied < doc.length) {
    const int64_t n = std::min(block, doc.length - copied);
    if (!CopySampleData(source, static_cast<uint64_t>(copied), copy, static_cast<uint64_t>(copied),
                        static_cast<uint64_t>(n))) {
      copy.Close();
      platform::DeleteFile(name);
      doc.SetStatus(status::kIdle);
      return RaiseError(kErrMemory);
    }
    copied += n;
    state_->Progress(static_cast<int32_t>(std::min<int64_t>(100, copied * 100 / doc.length)));
  }
  source.Close();
  const int64_t length = static_cast<int64_t>(copy.DataSize());
  if (!copy.Close()) {
    platform::DeleteFile(name);
    doc.SetStatus(status::kIdle);
    return RaiseError(kErrMemory);
  }
  doc.SetStatus(status::kIdle);
  state_->OperationEnded();

  // The device is opened before the copy becomes a step, so that a device
  // that refuses leaves the history, the redo list and the temporary folder
  // as they were. Blocks arrive through the message queue, so none is taken
  // before the step below is in place.
  record_.recordType = recordType;
  record_.failure = kErrNone;
  record_.bytesRecorded = 0;
  record_.feed = saved.startSelect[zs];
  recorder_->Recorder()->put_BufferSize(1000);
  if (const HRESULT hr = StartRecorder(); Failed(hr)) {
    platform::DeleteFile(name);
    return hr;
  }

  HistoryStep step = *current;
  step.sampleFile = name;
  step.overviewFile.clear();
  step.length = length;
  step.ownsFiles = true;
  step.view = ViewStack{};
  step.view.endView[0] = length;
  step.view.startSelect[0] = saved.startSelect[zs];
  step.view.endSelect[0] = std::max<int64_t>(0, saved.endSelect[zs]);
  step.view.selected = saved.selected;
  doc.history.TakeStep(std::move(step), opcode::kRecord);
  AdoptCurrentStep(doc, *state_);
  doc.Current()->playPosition = saved.startSelect[zs];
  return S_OK;
}

HRESULT CAudioEditor::StartRecorder() {
  document::Document& doc = Model();
  IAudioRecorder* recorder = recorder_->Recorder();
  const DocumentFormat& f = doc.format;
  doc.SetStatus(status::kIdle);
  int32_t result = kErrInputDriver;
  if (Failed(recorder->Start(f.sampleRate, f.channels, f.sampleSize,
                             static_cast<int32_t>(f.channelsMask), &result)) ||
      result != 0) {
    recorder->Stop();
    return RaiseError(result != 0 ? result : kErrInputDriver);
  }
  doc.SetStatus(status::kRecording);
  return S_OK;
}

void CAudioEditor::TakeRecordedBlock() {
  document::Document& doc = Model();
  HistoryStep* step = doc.Current();
  IAudioRecorder* recorder = recorder_->Recorder();
  if (!step || !recorder) return;
  const double now = ProcessCpuSeconds();
  const double used = now - record_.cpuSeconds;
  record_.cpuSeconds = now;
  const int32_t bufferMs = std::max(1, recorder_->Device().BufferSize());
  const int32_t mode = used * 1000.0 * 100.0 / bufferMs >= 81 ? 3 : record_.displayMode;
  // Every block ready is taken: the recorder may hold more than one.
  for (;;) {
    ComPtr<IUnknown> data;
    if (Failed(recorder->GetData(data.Out())) || !data) return;
    ComPtr<IAudioFrameData> frame;
    if (Failed(data->QueryInterface(IID_IAudioFrameData, frame.OutVoid()))) return;
    int32_t size = 0;
    uint8_t* bytes = nullptr;
    if (Failed(frame->get_DataSize(&size)) || Failed(frame->GetBuffer(&bytes)) || !bytes ||
        size < 18)
      return;
    uint16_t extra = 0;
    std::memcpy(&extra, bytes + 16, 2);
    const int64_t pcm = static_cast<int64_t>(size) - 18 - extra;
    if (pcm < 1) return;
    const uint8_t* samples = bytes + 18 + extra;

    if (record_.failure != kErrNone) continue;  // the recording is ending: drop the rest
    CSampleStoreFile file;
    if (!file.Open(step->sampleFile, 2) || !file.Seek(record_.feed)) {
      FailRecording();
      return;
    }
    const uint64_t before = file.DataSize();
    std::vector<uint8_t> mixed;
    if (record_.recordType == 2 && record_.feed < doc.length) {
      // Mix into what is there (as far as the document reaches).
      mixed.assign(samples, samples + pcm);
      std::vector<uint8_t> existing(static_cast<size_t>(pcm));
      const size_t have = file.Read(existing.data(), existing.size());
      MixSaturating(mixed.data(), existing.data(), have, doc.format.sampleSize);
      file.Seek(record_.feed);
      samples = mixed.data();
    }
    if (!file.Write(samples, static_cast<size_t>(pcm))) {
      // Out of room: the part of this block that reached the disk goes again,
      // so the document is exactly the blocks recorded before it.
      file.Truncate(before);
      file.Close();
      FailRecording();
      return;
    }
    record_.feed += pcm;
    doc.length = static_cast<int64_t>(file.DataSize());
    step->length = doc.length;
    file.Close();

    // Follow the growing document with the view.
    ViewStack& vs = step->view;
    const int z = vs.zoom;
    const int64_t second = static_cast<int64_t>(doc.format.BlockAlign()) * doc.format.sampleRate;
    if (mode == 1) {
      vs.startView[z] = std::max<int64_t>(0, doc.length - 4 * second);
      vs.endView[z] = doc.length;
    } else if (mode == 2) {
      vs.endView[z] = doc.length;
      vs.startView[z] = std::max<int64_t>(0, doc.length - second);
    }
    doc.DropOverview();
    state_->ViewChanged();
    state_->PictureChanged();
  }
}

void CAudioEditor::FailRecording() {
  // The recording ends here with what was written; the host has called Record
  // long ago, so the error waits for its Stop.
  const ComPtr<CAudioEditor> self(this);  // a handler may let the control go
  record_.failure = kErrMemory;
  EndRecording();
  sender_.ChangePlayPosition();
}

void CAudioEditor::EndRecording() {
  document::Document& doc = Model();
  if (IAudioRecorder* r = recorder_->Recorder()) r->Stop();
  TakeRecordedBlock();
  doc.SetStatus(status::kIdle);
  HistoryStep* step = doc.Current();
  if (!step) return;
  ViewStack& vs = step->view;
  vs.zoom = 0;
  vs.selected = 0;
  vs.startSelect[0] = vs.endSelect[0] = record_.feed;
  vs.startView[0] = 0;
  vs.endView[0] = doc.length;
  step->playPosition = record_.feed;
  doc.DropOverview();
  AdoptCurrentStep(doc, *state_);
  state_->SelectionChanged();
}

}  // namespace qel
