#include "core/audio_editor.h"

#include <cstring>

#include "com/classtable.h"
#include "core/font_object.h"
#if QEL_WITH_VIEW
#include "core/mouse_actions.h"
#include "core/view_adapter.h"
#endif
#include "core/picture.h"
#include "editing/clip_operations.h"
#include "editing/documents.h"
#include "editing/marker_edits.h"
#include "editing/media_io.h"
#include "editing/positions.h"
#include "platform/files.h"

namespace qel {

using namespace com;

namespace {

// Copies a held sub-object's interface into an out-parameter.
template <class I, class Held>
HRESULT QueryOut(const ComPtr<Held>& held, I** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!held) return S_OK;
  return held->QueryInterface(I::kIID, reinterpret_cast<void**>(out));
}

constexpr std::string_view kInstanceMutex = "{35591CB0-4180-43DE-ACA1-00C9EBA25C61}";
constexpr size_t kMaxTempDirectory = 1024;

template <class I>
HRESULT CreateComponent(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

// The operations that, stopped, keep the blocks processed so far: the effects,
// the plug-in runs and batch processing.
bool KeepsWhatItProcessed(int32_t status) {
  return (status >= opcode::kResample && status <= opcode::kGenerateDtmfSignal) ||
         status == opcode::kDxProcess || status == opcode::kVstProcess ||
         status == opcode::kBatchProcess;
}

}  // namespace

// ---- the reports of operations ----

class CAudioEditor::Reports final : public document::OperationObserver {
 public:
  explicit Reports(CAudioEditor& control) : control_(control) {}

  void Progress(int32_t percent) override {
    control_.Fire([&] { control_.sender_.BlockOperation(percent); });
  }
  void OperationEnded() override {
    control_.Fire([&] { control_.sender_.EndOperation(); });
  }
  void MarkerChanged(int32_t number) override {
    control_.Fire([&] { control_.sender_.ChangeMarker(number); });
  }
  void SplitFileCreated(const std::string& name) override {
    control_.Fire([&] { control_.sender_.SplitFileCreated(Bstr::FromUtf8(name).get()); });
  }
  void SelectionChanged() override {
    if (Picture* v = View()) v->RequestSelection();
    // The host's video drives the position while it plays.
    if (control_.Model().Status() != status::kVideoPlayback)
      control_.Fire([&] { control_.sender_.ChangePosition(); });
  }
  void ViewChanged() override {
    if (Picture* v = View()) v->RequestViewRebuild();
  }
  void PictureChanged() override {
    control_.recompose_ = true;
    if (Picture* v = View()) v->Recompose();
  }
  void DocumentStarted() override {
    if (Picture* v = View()) v->SplitLanesEqually();
  }
  void ComponentMissing(std::u16string_view message) override {
    control_.ShowNotRegistered(message);
  }
  void OverviewFoldBegin(const document::DocumentFormat& f, int64_t frames) override {
    Picture* v = View();
    if (!v) return;
    view::DocumentState state;
    state.open = true;
    state.sampleRate = f.sampleRate;
    state.channels = f.channels;
    state.sampleSize = f.sampleSize;
    state.channelsMask = f.channelsMask;
    v->BeginOverviewFold(state, frames);
  }
  void OverviewFold(const uint8_t* data, size_t bytes) override {
    if (Picture* v = View()) v->FoldSamples(data, bytes);
  }
  void OverviewFoldEnd(bool keep) override {
    Picture* v = View();
    if (!v) return;
    if (keep)
      v->EndOverviewFold();
    else
      v->CancelOverviewFold();
  }
  void OpenProgress(int32_t percent) override {
    if (Picture* v = View()) v->SetOpenProgress(percent);
    PictureChanged();
  }

 private:
  Picture* View() const { return control_.Waveform(); }
  CAudioEditor& control_;
};

template <class F>
void CAudioEditor::Fire(F&& fire) {
  const ComPtr<CAudioEditor> self(this);
  fire();
}

HRESULT CAudioEditor::Raise(int32_t error) {
  return error == kErrNone ? S_OK : RaiseError(error);
}

// ---- construction ----

HRESULT CAudioEditor::CreateInstance(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto editor = Create();
  if (!editor) return E_OUTOFMEMORY;
  HRESULT hr = editor->Initialize();
  if (Failed(hr)) return hr;  // the half-made control goes with this reference
  return editor->QueryInterface(iid, object);
}

CAudioEditor::CAudioEditor()
    : state_(std::make_shared<ControlState>(platform::SystemTempDirectory())),
      reports_(std::make_unique<Reports>(*this)),
      platform_(platform::MakeHeadlessPlatform()),
      events_(static_cast<IConnectionPointContainer*>(this), IID__IAudioEditorEvents),
      sender_(events_) {
  platform_.queue = std::make_shared<platform::MessageQueue>();
  state_->Attach(reports_.get());
  state_->ensureProcessors = [this](int32_t channels) { return CreateProcessors(channels); };
  // Previews play through the control's own Play.
  state_->playPreview = [this] { return Play(1, 0); };
  // Only whether another instance is alive matters; a lock that cannot be made
  // counts as "another instance", which keeps the purge from deleting anything.
  if (!mutex_.Create(kInstanceMutex, &mutexExisted_)) mutexExisted_ = true;
}

CAudioEditor::~CAudioEditor() {
#if QEL_WITH_VIEW
  mouse_.reset();
#endif
  // The devices go first, quietly: events fired from here would take a
  // reference on a control whose count has already reached zero.
  ReleaseDevices();
  // The plug-in hosts' events reach the control through these links.
  if (dxTransform_) dxTransform_->Link().Disable();
  if (vstTransform_) vstTransform_->Link().Disable();
  Close();
  // Sub-objects a host still holds keep the state, detached: they answer
  // errors from now on instead of reaching a control that is gone.
  state_->Detach();
}

void CAudioEditor::SetPlatform(platform::Platform services) {
  if (!services.queue) services.queue = platform_.queue;
  platform_ = std::move(services);
  if (deviceRoute_) deviceRoute_->SetQueue(platform_.queue);
}

void CAudioEditor::ShowNotRegistered(std::u16string_view message) {
  if (platform_.messageBoxes)
    platform_.messageBoxes->Show(Utf16ToUtf8(kMessageBoxCaption), Utf16ToUtf8(message),
                                 platform::MB_OK | platform::MB_ICONSTOP);
}

HRESULT CAudioEditor::CreateSubObjects() {
  // Created in this order; a sub-object that cannot be made is reported by its
  // class's own message.
  auto make = [&](auto& slot, std::u16string_view message) {
    using T = std::remove_pointer_t<decltype(slot.get())>;
    slot = T::Create();
    if (!slot) ShowNotRegistered(message);
    return static_cast<bool>(slot);
  };
  ComPtr<CEditorVisualization> visualization;
  ComPtr<CEditorScale> scaleX, scaleY;
  ComPtr<CEditorColors> colors;
  bool ok = make(visualization, u"AudioEditorVisualization is not registered.") &&
            make(scaleX, u"AudioEditorScale is not registered.") &&
            make(scaleY, u"AudioEditorScale is not registered.") &&
            make(colors, u"AudioEditorColors is not registered.") &&
            make(fileInfo_, u"AudioEditorFileInfo is not registered.") &&
            make(position_, u"AudioEditorPosition is not registered.") &&
            make(channels_, u"AudioEditorChannels is not registered.") &&
            make(markers_, u"AudioEditorMarkers is not registered.") &&
            make(recorder_, u"AudioEditorRecorder is not registered.") &&
            make(playback_, u"AudioEditorPlayback is not registered.") &&
            make(convert_, u"AudioEditorConvertSampleType is not registered.") &&
            make(transform_, u"AudioEditorTransform is not registered.") &&
            make(dxTransform_, u"AudioEditorDXTransform is not registered.") &&
            make(vstTransform_, u"AudioEditorVSTTransform is not registered.");
  if (!ok) return RaiseError(kErrNotInstalled);

  for (StateLink* link : std::initializer_list<StateLink*>{
           visualization.get(), scaleX.get(), scaleY.get(), colors.get(), fileInfo_.get(),
           position_.get(), channels_.get(), markers_.get(), recorder_.get(), playback_.get(),
           convert_.get(), transform_.get(), dxTransform_.get(), vstTransform_.get()}) {
    link->SetState(state_);
  }
  recorder_->Device().SetStateOfLines(state_);
  playback_->Device().SetStateOfLines(state_);
  state_->visualization = visualization;
  state_->scaleX = scaleX;
  state_->scaleY = scaleY;
  state_->colors = colors;
  return S_OK;
}

HRESULT CAudioEditor::CreateComponents() {
  if (Failed(CreateComponent(CLSID_VideoFile, &mediaFile_))) {
    ShowNotRegistered(kMediaNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  // The reader is only ever asked for audio.
  mediaFile_->SetAdditionalParam(Bstr(u"SWF_AUDIO").get(), Variant::Bool(true));
  if (Failed(CreateComponent(CLSID_AmplifyEffect, &effect_)) ||
      Failed(CreateComponent(CLSID_AudioData, &effectData_))) {
    ShowNotRegistered(kTransformNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  return S_OK;
}

HRESULT CAudioEditor::Initialize() {
  HRESULT hr = CreateSubObjects();
  if (Failed(hr)) return hr;
#if QEL_WITH_VIEW
  state_->view = view::CreateControlView(*state_);
  mouse_ = std::make_unique<ControlMouse>(*this);
#endif
  hr = CreateComponents();
  if (Failed(hr)) return hr;
  CreateDevices();
  document::Document& doc = Model();
  doc.smoothing = {VARIANT_TRUE, 10.0, 10.0};
  doc.BuildChannelOrder();
  doc.RecountChannels();
  PurgeStaleFiles();
  doc.progressScale = 95;
  return S_OK;
}

void CAudioEditor::PurgeStaleFiles() {
  // Whether another instance is alive is asked afresh (the one that held the
  // name when we started may be gone), but without letting go of our own hold:
  // a control starting in that gap would find no other instance and purge this
  // one's live files. While we purge alone, a newcomer waits for the lock.
  if (!mutex_.IsOpen() && !mutex_.Create(kInstanceMutex, &mutexExisted_)) return;
  if (Model().IsOpen()) return;
  const platform::SoleHold hold(mutex_);
  mutexExisted_ = !hold.Alone();
  if (mutexExisted_) return;
  const std::string& dir = Model().TempDirectory();
  for (const std::string& name : platform::FindFiles(dir, "qel*.qelf"))
    platform::DeleteFile(dir + name);
}

int32_t CAudioEditor::CreateProcessors(int32_t channels) {
  const size_t wanted = static_cast<size_t>(std::clamp(channels, 0, document::kMaxChannels));
  if (!state_->effects.Ensure(static_cast<int32_t>(wanted))) {
    ShowNotRegistered(kTransformNotRegistered);
    return kErrNotInstalled;
  }
  return kErrNone;
}

int32_t CAudioEditor::DescribeFormat() {
  if (!state_->audioFormat && Failed(CreateComponent(CLSID_AudioFormat, &state_->audioFormat))) {
    ShowNotRegistered(kCoreNotRegistered);
    return kErrNotInstalled;
  }
  const document::DocumentFormat& f = Model().format;
  state_->audioFormat->put_FormatTag(1);
  state_->audioFormat->put_SampleRate(f.sampleRate);
  state_->audioFormat->put_SampleSize(f.sampleSize);
  state_->audioFormat->put_Channels(f.channels);
  state_->audioFormat->put_ChannelsMask(static_cast<int32_t>(f.channelsMask));
  return kErrNone;
}

// ---- documents ----

HRESULT CAudioEditor::StartDocument(document::HistoryStep first, double durationMs) {
  document::Document& doc = Model();
  doc.outputFormat = doc.format;
  int32_t error = DescribeFormat();
  if (error == kErrNone) error = CreateProcessors(doc.format.channels);
  if (error != kErrNone) {
    if (first.ownsFiles && document::IsOwnTempName(first.sampleFile))
      platform::DeleteFile(first.sampleFile);
    reports_->OperationEnded();
    return RaiseError(error);
  }
  editing::StartDocument(doc, *state_, std::move(first), durationMs);
  reports_->OperationEnded();
  return S_OK;
}

HRESULT CAudioEditor::New(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                          int32_t channelsMask) {
  const ComPtr<CAudioEditor> self(this);
  Close();
  document::HistoryStep first;
  const int32_t error = editing::MakeEmpty(
      Model(), {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)}, &first);
  if (error != kErrNone) return RaiseError(error);
  return StartDocument(std::move(first), 0.0);
}

HRESULT CAudioEditor::OpenFileFromTmp(BSTR fileName, int32_t sampleRate, int32_t sampleSize,
                                      int32_t channels, int32_t channelsMask) {
  const ComPtr<CAudioEditor> self(this);
  Close();
  document::HistoryStep first;
  double durationMs = 0;
  const int32_t error = editing::AdoptFile(
      Model(), ToUtf8(fileName),
      {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)}, &first, &durationMs);
  if (error != kErrNone) return RaiseError(error);
  return StartDocument(std::move(first), durationMs);
}

HRESULT CAudioEditor::Open(const std::string& name, int32_t videoTrack, int32_t audioTrack,
                           const document::DocumentFormat& wanted, IAudioFormat* rawFormat) {
  document::Document& doc = Model();
  doc.SetStatus(status::kOpening);
  doc.progressScale = 100;
  editing::OpenRequest request{name, videoTrack, audioTrack, wanted, rawFormat};
  editing::OpenResult result;
  int32_t error = editing::ReadMediaFile(doc, *state_, *mediaFile_, request, &result);
  if (error == kErrNone && Succeeded(result.component))
    error = CreateProcessors(doc.format.channels);
  doc.SetStatus(status::kIdle);
  if (error != kErrNone || Failed(result.component)) {
    // A failed open leaves no document.
    doc.Reset();
    state_->audioFormat.Reset();
    state_->videoFormat.Reset();
    reports_->OperationEnded();
    return error != kErrNone ? RaiseError(error) : RaiseComponentResult(result.component);
  }
  state_->audioFormat = result.audioFormat;
  state_->videoFormat = result.videoFormat;
  document::ApplyView(doc, *state_);
  state_->PictureChanged();
  reports_->OperationEnded();
  return S_OK;
}

HRESULT CAudioEditor::OpenFile(BSTR fileName, int32_t videoTrack, int32_t audioTrack,
                               int32_t sampleRate, int32_t sampleSize, int32_t channels,
                               int32_t channelsMask) {
  const ComPtr<CAudioEditor> self(this);
  Close();
  const std::string name = ToUtf8(fileName);
  // Raw files have no header to read their format from: OpenRawFile takes it.
  if (editing::HasRawExtension(name)) return ErrorResult(kErrFileFormat);
  rawFormat_.Reset();
  return Open(name, videoTrack, audioTrack,
              {sampleRate, channels, sampleSize, static_cast<uint32_t>(channelsMask)}, nullptr);
}

HRESULT CAudioEditor::OpenRawFile(BSTR fileName, int32_t formatTag, int32_t sampleRate,
                                  int32_t sampleSize, int32_t channels, int32_t channelsMask) {
  const ComPtr<CAudioEditor> self(this);
  // Whatever goes wrong, the previous document is gone, as with OpenFile.
  Close();
  const std::string name = ToUtf8(fileName);
  if (!editing::HasRawExtension(name)) return ErrorResult(kErrFileFormat);
  if (!rawFormat_ && Failed(CreateComponent(CLSID_AudioFormat, &rawFormat_))) {
    ShowNotRegistered(kCoreNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  rawFormat_->put_FormatTag(formatTag);
  rawFormat_->put_SampleRate(sampleRate);
  rawFormat_->put_SampleSize(sampleSize);
  rawFormat_->put_Channels(channels);
  rawFormat_->put_ChannelsMask(channelsMask);
  return Open(name, -1, 0, {-1, -1, -1, 0}, rawFormat_.get());
}

HRESULT CAudioEditor::SaveFile(BSTR fileName, VARIANT_BOOL selected, int32_t markersSaveList,
                               int32_t fileType) {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  if (!doc.IsOpen()) return S_OK;
  if (!doc.Idle()) return ErrorResult(kErrFileAccess);  // no error information
  const std::string name = ToUtf8(fileName);
  if (name == doc.Current()->sampleFile) return S_OK;
  if (!saveFile_ && Failed(CreateComponent(CLSID_VideoFile, &saveFile_))) {
    ShowNotRegistered(kMediaNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  // The host's formats and type, or the document's own.
  editing::SaveRequest request;
  request.name = name;
  request.selectionOnly = selected != 0;
  request.markersSaveList = markersSaveList;
  request.documentFormat = state_->audioFormat.get();
  request.videoFormat = state_->videoFormat.get();
  request.fileType = doc.source.originalFileType;
  request.withVideo = doc.source.hasVideo;
  request.hostExtra = fileInfo_->extraData.get();
  if (fileType > 0) {
    request.format = fileInfo_->audioFormat.get();
    request.videoFormat = fileInfo_->videoFormat.get();
    request.fileType = fileType;
  }
  doc.SetStatus(status::kSaving);
  doc.progressScale = 100;
  HRESULT component = S_OK;
  const int32_t error = editing::WriteMediaFile(doc, *state_, *saveFile_, request, &component);
  doc.SetStatus(status::kIdle);
  reports_->OperationEnded();
  if (error != kErrNone) return RaiseError(error);
  if (Failed(component)) return RaiseComponentResult(component);
  state_->PictureChanged();
  return S_OK;
}

HRESULT CAudioEditor::SetIVideoFile(IUnknown* videoFile) {
  if (!videoFile) return S_OK;
  saveFile_.Reset();
  videoFile->QueryInterface(IMediaFile::kIID, saveFile_.OutVoid());
  recompose_ = true;
  return S_OK;
}

HRESULT CAudioEditor::Close() {
  Stop();
  if (!Model().IsOpen()) return S_OK;
  Model().Reset();
  state_->audioFormat.Reset();
  state_->videoFormat.Reset();
  return S_OK;
}

HRESULT CAudioEditor::Stop() {
  document::Document& doc = Model();
  doc.RequestStop();
  if (EndDeviceStreams()) return S_OK;
  // A recording that the control had to end (its disk filled up) reports why.
  if (const int32_t failure = std::exchange(record_.failure, kErrNone); failure != kErrNone)
    return RaiseError(failure);
  const int32_t status = doc.Status();
  // Copies, opens, saves and edits end at their next block when the status
  // word is reset, and the operation frame reads that as "leave the document
  // as it was". Effects keep what they processed and finish through their
  // stop request, unless the host asked for stops to discard them.
  if (status != status::kIdle && (!KeepsWhatItProcessed(status) || stopDiscardsEffects_))
    doc.SetStatus(status::kIdle);
  return S_OK;
}

// ---- editing ----

HRESULT CAudioEditor::Copy() {
  const ComPtr<CAudioEditor> self(this);
  return Raise(editing::Copy(Model(), *state_));
}
HRESULT CAudioEditor::Cut() {
  const ComPtr<CAudioEditor> self(this);
  return Raise(editing::Cut(Model(), *state_));
}
HRESULT CAudioEditor::Paste() {
  const ComPtr<CAudioEditor> self(this);
  return Raise(editing::Paste(Model(), *state_));
}
HRESULT CAudioEditor::DeleteSelect() {
  const ComPtr<CAudioEditor> self(this);
  return Raise(editing::DeleteSelect(Model(), *state_));
}
HRESULT CAudioEditor::Trim() {
  const ComPtr<CAudioEditor> self(this);
  // Trim answers success even when its file could not be written: the
  // document, its history and the temporary folder are left as they were, and
  // hosts written against it test the document, not the result.
  const int32_t error = editing::Trim(Model(), *state_);
  return error == kErrMemory ? S_OK : Raise(error);
}

HRESULT CAudioEditor::ZoomIn() {
  const ComPtr<CAudioEditor> self(this);
  editing::ZoomIn(Model(), *state_);
  return S_OK;
}
HRESULT CAudioEditor::ZoomOut() {
  const ComPtr<CAudioEditor> self(this);
  editing::ZoomOut(Model(), *state_);
  return S_OK;
}
HRESULT CAudioEditor::ZoomFull() {
  const ComPtr<CAudioEditor> self(this);
  editing::ZoomFull(Model(), *state_);
  return S_OK;
}
HRESULT CAudioEditor::Zoom(int32_t start, int32_t end) {
  const ComPtr<CAudioEditor> self(this);
  editing::Zoom(Model(), *state_, start, end);
  return S_OK;
}
HRESULT CAudioEditor::ZoomVertical(int32_t percent) {
  editing::ZoomVertical(Model(), *state_, percent);
  return S_OK;
}

HRESULT CAudioEditor::BeginOperations() {
  Model().batchCount = 0;
  Model().batch = true;
  return S_OK;
}

HRESULT CAudioEditor::EndOperations() {
  const ComPtr<CAudioEditor> self(this);
  editing::EndBatch(Model(), *state_);
  return S_OK;
}

HRESULT CAudioEditor::Undo(int32_t count) {
  const ComPtr<CAudioEditor> self(this);
  editing::Undo(Model(), *state_, count);
  return S_OK;
}

HRESULT CAudioEditor::Redo(int32_t count) {
  const ComPtr<CAudioEditor> self(this);
  editing::Redo(Model(), *state_, count);
  return S_OK;
}

// ---- the history ----

HRESULT CAudioEditor::get_UndoRedoCount(int32_t* value) {
  if (!value) return E_POINTER;
  *value = Model().history.UndoRedoCount();
  return S_OK;
}

HRESULT CAudioEditor::put_UndoRedoCount(int32_t value) {
  Model().history.SetUndoRedoCount(value);
  return S_OK;
}

// These two report true as 1, not -1: hosts test for non-zero.
HRESULT CAudioEditor::get_UndoEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Model().IsOpen() && Model().history.HasPrevious() ? 1 : 0;
  return S_OK;
}

HRESULT CAudioEditor::get_RedoEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = Model().IsOpen() && Model().history.HasNext() ? 1 : 0;
  return S_OK;
}

HRESULT CAudioEditor::get_UndoList(SAFEARRAY** value) {
  if (!value) return E_POINTER;
  *value = Model().IsOpen() ? MakeLongArray(Model().history.UndoCodes()) : nullptr;
  return S_OK;
}

HRESULT CAudioEditor::get_RedoList(SAFEARRAY** value) {
  if (!value) return E_POINTER;
  *value = Model().IsOpen() ? MakeLongArray(Model().history.RedoCodes()) : nullptr;
  return S_OK;
}

HRESULT CAudioEditor::get_TempDirectory(BSTR* value) {
  if (!value) return E_POINTER;
  std::string dir = Model().TempDirectory();
  if (Model().IsOpen()) {
    // The folder of the current version of the document.
    const std::string& file = Model().Current()->sampleFile;
    dir = file.substr(0, file.find_last_of('/') + 1);
  }
  *value = dir.empty() ? nullptr : Bstr::FromUtf8(dir).Detach();
  return S_OK;
}

HRESULT CAudioEditor::put_TempDirectory(BSTR value) {
  // The folder part only: a last component without a trailing '/' is a file name.
  const std::string dir = platform::SplitPath(ToUtf8(value)).directory;
  if (dir.empty() || dir.size() > kMaxTempDirectory || !platform::IsUsableDirectory(dir))
    return RaiseError(kErrInvalidArgument);
  Model().SetTempDirectory(dir);
  PurgeStaleFiles();
  return S_OK;
}

HRESULT CAudioEditor::EmptyClipboard() {
  if (platform_.clipboard) {
    platform::ClipboardSession session(*platform_.clipboard);
    if (session.IsOpen()) session->Empty();
  }
  return S_OK;
}

// ---- members that only touch the control's own state ----

HRESULT CAudioEditor::_ParsingFile() {
  pending_.push_back({2, 0});
  return S_OK;
}

HRESULT CAudioEditor::_OnTimer() {
  const ComPtr<CAudioEditor> self(this);
  // A handler may queue more while we deliver: take entries one at a time.
  while (!pending_.empty()) {
    PendingEvent e = pending_.front();
    pending_.pop_front();
    if (e.kind == 1)
      reports_->Progress(e.value);
    else if (e.kind == 2)
      reports_->OperationEnded();
  }
  return S_OK;
}

// The stream members are kept for hosts written against them; they do nothing.
HRESULT CAudioEditor::GetReadStreamName(int32_t, int32_t, int32_t, int32_t, BSTR*) {
  return S_OK;
}
HRESULT CAudioEditor::OpenReadStream(int32_t, int32_t, int32_t, int32_t) {
  return S_OK;
}
HRESULT CAudioEditor::OpenWriteStream(int32_t, int32_t) {
  return S_OK;
}
HRESULT CAudioEditor::CloseStream() {
  return S_OK;
}
HRESULT CAudioEditor::ReadStream(IUnknown*) {
  return S_OK;
}
HRESULT CAudioEditor::WriteStream(IUnknown**) {
  return S_OK;
}

HRESULT CAudioEditor::get_Status(int32_t* value) {
  if (!value) return E_POINTER;
  *value = Model().Status();
  return S_OK;
}

HRESULT CAudioEditor::SetSpectralBitmap(uint8_t* bitmap) {
  state_->spectralBitmap = bitmap;
  recompose_ = true;
  return S_OK;
}

HRESULT CAudioEditor::SetDarkBitmap(uint8_t* bitmap) {
  state_->darkBitmap = bitmap;
  recompose_ = true;
  return S_OK;
}

// SpectralResolution belongs to the view: the FFT size of the spectral view.
HRESULT CAudioEditor::put_SpectralResolution(int32_t value) {
  if (Picture* v = Waveform()) v->SetSpectralResolution(value);
  return S_OK;
}

#define QEL_FLAG_ACCESSORS(Name, field)                   \
  HRESULT CAudioEditor::get_##Name(VARIANT_BOOL* value) { \
    if (!value) return E_POINTER;                         \
    *value = field;                                       \
    return S_OK;                                          \
  }
QEL_FLAG_ACCESSORS(MarkerMouseEventsEnabled, markerMouseEventsEnabled_)
QEL_FLAG_ACCESSORS(MouseEventsEnabled, mouseEventsEnabled_)
QEL_FLAG_ACCESSORS(DXTransformEnabled, dxEnabled_)
QEL_FLAG_ACCESSORS(VSTTransformEnabled, vstEnabled_)
QEL_FLAG_ACCESSORS(DTMFEnabled, dtmfEnabled_)
#undef QEL_FLAG_ACCESSORS

// Only switching on acts: the host component is made and its load event
// relayed as DXLoad or VSTLoad; without the component the flag stays off.
HRESULT CAudioEditor::put_DXTransformEnabled(VARIANT_BOOL value) {
  if (!value || dxEnabled_) return S_OK;
  if (!dxTransform_->Link().Enable([this](int32_t num, BSTR name, int16_t* cancel) {
        Fire([&] { sender_.DXLoad(num, name, cancel); });
      })) {
    ShowNotRegistered(kDxNotRegistered);
    return S_OK;
  }
  dxEnabled_ = VARIANT_TRUE;
  return S_OK;
}

HRESULT CAudioEditor::put_VSTTransformEnabled(VARIANT_BOOL value) {
  if (!value || vstEnabled_) return S_OK;
  if (!vstTransform_->Link().Enable([this](int32_t num, BSTR name, int16_t* cancel) {
        Fire([&] { sender_.VSTLoad(num, name, cancel); });
      })) {
    ShowNotRegistered(kVstNotRegistered);
    return S_OK;
  }
  vstEnabled_ = VARIANT_TRUE;
  return S_OK;
}

HRESULT CAudioEditor::put_DTMFEnabled(VARIANT_BOOL value) {
  // Only switching on acts: the generators and the recogniser are made then
  // and kept.
  if (!value || dtmfEnabled_) return S_OK;
  if (!state_->effects.EnableDtmf(std::max(Model().format.channels, 1), Model().format)) {
    ShowNotRegistered(u"QelAudioDTMFSignals is not registered.");
    return S_OK;
  }
  dtmfEnabled_ = VARIANT_TRUE;
  return S_OK;
}

HRESULT CAudioEditor::RecognizeDTMFSignal(int32_t method, int32_t quality) {
  const ComPtr<CAudioEditor> self(this);
  if (!dtmfEnabled_) return S_OK;
  document::Document& doc = Model();
  EffectProcessors& effects = state_->effects;
  // The recogniser hears the enabled channels only.
  document::DocumentFormat heard = doc.format;
  heard.channels = doc.channels.OperationCount();
  processing::FrameJob job;
  job.kind = processing::FrameRunKind::kRecognize;
  EffectProcessors::FrameAdapter* recognizer = nullptr;
  job.configure = [&]() -> processing::EffectResult {
    recognizer = effects.Single(EffectProcessors::SingleKind::kDtmf, heard);
    if (!recognizer) return {processing::EffectOutcome::kRefused, kErrNotInstalled};
    job.component = EffectProcessors::Component(recognizer);
    // A new recognition starts a new list of symbols.
    recognized_.reset();
    std::vector<ParamPut> params;
    params.push_back({1, Variant::I4(method)});
    params.push_back({2, Variant::I4(quality)});
    params.push_back({3, Variant::I4(dtmfMarkers_ ? 1 : 0)});
    if (!effects.Configure(*recognizer, params))
      return {processing::EffectOutcome::kComponentFailed};
    return {processing::EffectOutcome::kDone};
  };
  job.play = [] { return false; };
  // Each symbol index found appends its character; others are ignored. With
  // the marker option each comes with the frame it starts at.
  static constexpr std::u16string_view kAlphabet = u"0123456789*#abcd";
  const size_t stride = dtmfMarkers_ ? 12 : 4;
  std::vector<std::pair<int64_t, char16_t>> marks;
  job.collect = [&](std::span<const uint8_t> found) {
    for (size_t at = 0; at + stride <= found.size(); at += stride) {
      int32_t index = 0;
      std::memcpy(&index, found.data() + at, 4);
      if (index < 0 || index >= static_cast<int32_t>(kAlphabet.size())) continue;
      if (!recognized_) recognized_.emplace();
      const char16_t symbol = kAlphabet[static_cast<size_t>(index)];
      recognized_->push_back(symbol);
      int64_t frame = 0;
      if (dtmfMarkers_) std::memcpy(&frame, found.data() + at + 4, 8);
      marks.emplace_back(frame, symbol);
    }
  };
  const document::ViewStack* view = doc.Current() ? &doc.Current()->view : nullptr;
  const int64_t from =
      view ? view->startSelect[view->zoom] / std::max(doc.format.BlockAlign(), 1) : 0;
  const processing::EffectResult result = processing::RunFrames(doc, *state_, job);
  if (dtmfMarkers_ && result.outcome == processing::EffectOutcome::kDone)
    for (const auto& [frame, symbol] : marks)
      editing::InsertMarker(doc, *state_, from + frame, 0, std::u16string(1, symbol), u"");
  switch (result.outcome) {
    case processing::EffectOutcome::kFailed:
    case processing::EffectOutcome::kRefused:
      return RaiseError(result.error);
    case processing::EffectOutcome::kComponentFailed:
      return effects.TakeFailure();
    default:
      return S_OK;
  }
}

HRESULT CAudioEditor::GetRecognizedSymbols(BSTR* symbols) {
  if (!symbols) return E_POINTER;
  *symbols = recognized_ ? SysAllocStringLen(recognized_->data(),
                                             static_cast<uint32_t>(recognized_->size()))
                         : nullptr;
  return S_OK;
}

HRESULT CAudioEditor::put_MarkerMouseEventsEnabled(VARIANT_BOOL value) {
  markerMouseEventsEnabled_ = value;
  return S_OK;
}

HRESULT CAudioEditor::put_MouseEventsEnabled(VARIANT_BOOL value) {
  mouseEventsEnabled_ = value;
  return S_OK;
}

HRESULT CAudioEditor::get_PreviewMode(int32_t* value) {
  if (!value) return E_POINTER;
  *value = state_->previewMode;
  return S_OK;
}

HRESULT CAudioEditor::put_PreviewMode(int32_t value) {
  // Turning preview off is refused while an operation runs: the running preview
  // still depends on it.
  if (value < 1 && !Model().Idle()) return S_OK;
  state_->previewMode = value;
  return S_OK;
}

HRESULT CAudioEditor::get_ScaleX(IEditorScale** value) {
  return QueryOut(state_->scaleX, value);
}
HRESULT CAudioEditor::get_ScaleY(IEditorScale** value) {
  return QueryOut(state_->scaleY, value);
}
HRESULT CAudioEditor::get_Colors(IEditorColors** value) {
  return QueryOut(state_->colors, value);
}

HRESULT CAudioEditor::put_ScaleX(IEditorScale* value) {
  state_->scaleX.Reset();
  if (value) value->QueryInterface(IEditorScale::kIID, state_->scaleX.OutVoid());
  return S_OK;
}

HRESULT CAudioEditor::put_ScaleY(IEditorScale* value) {
  state_->scaleY.Reset();
  if (value) value->QueryInterface(IEditorScale::kIID, state_->scaleY.OutVoid());
  return S_OK;
}

HRESULT CAudioEditor::put_Colors(IEditorColors* value) {
  state_->colors.Reset();
  if (value) value->QueryInterface(IEditorColors::kIID, state_->colors.OutVoid());
  return S_OK;
}

HRESULT CAudioEditor::get_FileInfo(IEditorFileInfo** value) {
  return QueryOut(fileInfo_, value);
}
HRESULT CAudioEditor::get_Recorder(IEditorRecorder** value) {
  return QueryOut(recorder_, value);
}
HRESULT CAudioEditor::get_Playback(IEditorPlayback** value) {
  return QueryOut(playback_, value);
}
HRESULT CAudioEditor::get_Transform(IEditorTransform** value) {
  return QueryOut(transform_, value);
}
HRESULT CAudioEditor::get_Position(IEditorPosition** value) {
  return QueryOut(position_, value);
}
HRESULT CAudioEditor::get_Channels(IEditorChannels** value) {
  return QueryOut(channels_, value);
}
HRESULT CAudioEditor::get_Markers(IEditorMarkers** value) {
  return QueryOut(markers_, value);
}
HRESULT CAudioEditor::get_ConvertSampleType(IEditorConvertSampleType** value) {
  return QueryOut(convert_, value);
}
HRESULT CAudioEditor::get_DXTransform(IEditorDXTransform** value) {
  return QueryOut(dxTransform_, value);
}
HRESULT CAudioEditor::get_VSTTransform(IEditorVSTTransform** value) {
  return QueryOut(vstTransform_, value);
}
HRESULT CAudioEditor::get_Visualization(IEditorVisualization** value) {
  return QueryOut(state_->visualization, value);
}

HRESULT CAudioEditor::SetAdditionalParam(BSTR name, VARIANT value) {
  const std::u16string_view key = View(name);
  // Unit labels: at most 9 characters fit the scale's label buffer; longer text
  // is cut there rather than refused, so a host's label still shows.
  static constexpr std::pair<std::u16string_view, ControlState::UnitLabel> kUnits[] = {
      {u"Smpl", ControlState::kUnitSample},
      {u"Hz", ControlState::kUnitHz},
      {u"Hms", ControlState::kUnitHms},
      {u"Frm", ControlState::kUnitFrame},
      {u"dB", ControlState::kUnitDb}};
  for (const auto& [unitName, which] : kUnits) {
    if (key == unitName) {
      Variant text;
      if (Succeeded(VariantChangeType(&text, &value, 0, VT_BSTR)))
        state_->units[which] = std::u16string(View(text.bstrVal).substr(0, 9));
      return S_OK;
    }
  }
  if (key == u"DTMFMarkers") {
    // Off by default: RecognizeDTMFSignal then marks each symbol it finds.
    Variant number;
    dtmfMarkers_ = Succeeded(VariantChangeType(&number, &value, 0, VT_R8)) && number.dblVal != 0.0;
    return S_OK;
  }
  if (key == u"StopDiscardsEffects") {
    // Off by default: a stopped effect, plug-in or batch run then keeps
    // nothing (no step, its file gone, the redo list as it was), which is
    // what a Cancel button means to a user.
    Variant number;
    stopDiscardsEffects_ =
        Succeeded(VariantChangeType(&number, &value, 0, VT_R8)) && number.dblVal != 0.0;
    return S_OK;
  }
  if (key == u"PlayOnlyStereo") {
    Variant number;
    playOnlyStereo_ =
        Succeeded(VariantChangeType(&number, &value, 0, VT_R8)) && number.dblVal != 0.0;
    return S_OK;
  }
  // The plug-in hosts' parameters are forwarded once those hosts are enabled;
  // any other name is ignored.
  static constexpr std::u16string_view kDxParams[] = {u"DXFileNameXMLStore", u"DXPropPageEnable",
                                                      u"DXPropPageClose"};
  static constexpr std::u16string_view kVstParams[] = {u"VSTFileNameXMLStore", u"VSTPropPageEnable",
                                                       u"VSTPropPageClose"};
  const ComPtr<CAudioEditor> self(this);
  for (std::u16string_view dx : kDxParams)
    if (key == dx && dxEnabled_) dxTransform_->Link().ForwardParam(name, value);
  for (std::u16string_view vst : kVstParams)
    if (key == vst && vstEnabled_) vstTransform_->Link().ForwardParam(name, value);
  return S_OK;
}

HRESULT CAudioEditor::GetAdditionalParam(BSTR, VARIANT*) {
  return S_OK;
}

HRESULT CAudioEditor::EnumConnectionPoints(IEnumConnectionPoints** points) {
  return events_.EnumConnectionPoints(points);
}

HRESULT CAudioEditor::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  return events_.FindConnectionPoint(iid, point);
}

HRESULT CAudioEditor::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CAudioEditor::GetGUID(uint32_t kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = IID__IAudioEditorEvents;
  return S_OK;
}

}  // namespace qel
