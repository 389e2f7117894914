// Creating documents: New (an empty document) and OpenFileFromTmp (adopting an
// existing sample-store file), and what every new document shares.
#include <algorithm>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "document/temp_names.h"
#include "view/waveform_view.h"

namespace qel {

using namespace com;

int32_t CAudioEditor::CreateProcessors(int32_t channels) {
  const size_t wanted = static_cast<size_t>(std::clamp(channels, 0, 18));
  while (processors_.size() < wanted) {
    ComPtr<IAudioEffect> processor;
    if (Failed(CoCreateInstance(CLSID_AudioEffect, nullptr, CLSCTX_INPROC_SERVER,
                                IAudioEffect::kIID, processor.OutVoid()))) {
      ShowNotRegistered(u"QelAudioTransform is not registered.");
      return kErrNotInstalled;
    }
    processors_.push_back(std::move(processor));
  }
  return kErrNone;
}

HRESULT CAudioEditor::DescribeFormat() {
  if (!audioFormat_ && Failed(CoCreateInstance(CLSID_AudioFormat, nullptr, CLSCTX_INPROC_SERVER,
                                               IAudioFormat::kIID, audioFormat_.OutVoid()))) {
    ShowNotRegistered(u"QelMediaCore3 is not registered.");
    return kErrNotInstalled;
  }
  audioFormat_->put_FormatTag(1);
  audioFormat_->put_SampleRate(format_.sampleRate);
  audioFormat_->put_SampleSize(format_.sampleSize);
  audioFormat_->put_Channels(format_.channels);
  audioFormat_->put_ChannelsMask(static_cast<int32_t>(format_.channelsMask));
  return kErrNone;
}

HRESULT CAudioEditor::StartDocument(document::HistoryStep first, double durationMs) {
  outputFormat_ = format_;
  int32_t error = DescribeFormat();
  if (error == kErrNone) error = CreateProcessors(format_.channels);
  if (error != kErrNone) {
    if (first.ownsFiles && document::IsOwnTempName(first.sampleFile))
      platform::DeleteFile(first.sampleFile);
    sender_.EndOperation();
    return RaiseError(error);
  }
  fileInfo_->SetMadeHere(durationMs);
  // The view shows the whole document, with a cursor at its start.
  first.view = document::ViewStack{};
  first.view.endView[0] = length_;
  position_->History().TakeStep(std::move(first), opcode::kNone);
  selectionLevel_ = 0;
  channels_->Recount();
  if (view_) view_->SplitLanesEqually();
  BuildChannelOrder();
  channels_->RecomputeMask();
  markers_->ResetLayout();
  ApplyView();
  Recompose();
  sender_.EndOperation();
  return S_OK;
}

HRESULT CAudioEditor::New(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                          int32_t channelsMask) {
  Close();
  std::string name;
  document::CSampleStoreFile file;
  if (!document::MakeTempFileName(tempDirectory_, &name) ||
      !file.Create(name, sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)))
    return RaiseError(kErrMemory);
  file.Close();
  format_ = {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)};
  length_ = 0;
  document::HistoryStep first;
  first.sampleFile = name;
  first.format = format_;
  return StartDocument(std::move(first), 0.0);
}

HRESULT CAudioEditor::OpenFileFromTmp(BSTR fileName, int32_t sampleRate, int32_t sampleSize,
                                      int32_t channels, int32_t channelsMask) {
  Close();
  const std::string name = ToUtf8(fileName);
  document::CSampleStoreFile file;
  if (!file.Open(name, document::kModeRead)) return RaiseError(kErrMemory);
  // Each argument of at least 1 overrides what the file's header says.
  document::DocumentFormat f{
      sampleRate >= 1 ? sampleRate : file.SampleRate(), channels >= 1 ? channels : file.Channels(),
      sampleSize >= 1 ? sampleSize : file.SampleSize(),
      channelsMask >= 1 ? static_cast<uint32_t>(channelsMask) : file.ChannelsMask()};
  const int64_t length = static_cast<int64_t>(file.DataSize());
  file.Close();
  if (f.sampleSize < 1 || f.sampleRate < 1 || f.channels < 1)
    return RaiseError(kErrInvalidArgument);
  format_ = f;
  length_ = length;
  document::HistoryStep first;
  first.sampleFile = name;  // adopted as it is: no copy is made
  first.format = format_;
  first.length = length;
  first.ownsFiles = true;
  const double frames = static_cast<double>(ToFrames(length));
  return StartDocument(std::move(first), frames / (format_.sampleRate / 1000.0));
}

}  // namespace qel
