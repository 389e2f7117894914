#include "core/audio_editor.h"

#include "com/classtable.h"
#include "platform/files.h"
#include "view/control_adapter.h"

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

}  // namespace

namespace {

constexpr std::string_view kInstanceMutex = "{35591CB0-4180-43DE-ACA1-00C9EBA25C61}";
constexpr std::u16string_view kMediaNotRegistered = u"QelVideoFile3 is not registered.";
constexpr std::u16string_view kTransformNotRegistered = u"QelAudioTransform is not registered.";
constexpr size_t kMaxTempDirectory = 1024;

template <class I>
HRESULT CreateComponent(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

}  // namespace

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
    : platform_(platform::MakeHeadlessPlatform()),
      events_(static_cast<IConnectionPointContainer*>(this), IID__IAudioEditorEvents),
      sender_(events_) {
  // Only whether another instance is alive matters; a lock that cannot be made
  // counts as "another instance", which keeps the purge from deleting anything.
  if (!mutex_.Create(kInstanceMutex, &mutexExisted_)) mutexExisted_ = true;
  units_ = {u"smpl", u"Hz", u"hms", u"frm", u"dB"};
  tempDirectory_ = platform::WithTrailingSlash(platform::SystemTempDirectory());
  clipboardFile_ = tempDirectory_ + "QelClipBoard.wav";
  systemClipboardFile_ = tempDirectory_ + "QelWinClipBoard.wav";
}

CAudioEditor::~CAudioEditor() {
  Close();
  // Sub-objects a host still holds must not reach a control that is gone.
  for (EditorLink* link : std::initializer_list<EditorLink*>{
           visualization_.get(), fileInfo_.get(), position_.get(), channels_.get(), markers_.get(),
           recorder_.get(), playback_.get(), convert_.get(), transform_.get(), dxTransform_.get(),
           vstTransform_.get()}) {
    if (link) link->SetEditor(nullptr);
  }
  if (recorder_) recorder_->Device().SetEditorOfLines(nullptr);
  if (playback_) playback_->Device().SetEditorOfLines(nullptr);
  if (markers_) markers_->SetPosition(nullptr);
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
  ComPtr<CEditorScale> scaleX, scaleY;
  ComPtr<CEditorColors> colors;
  bool ok = make(visualization_, u"AudioEditorVisualization is not registered.") &&
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

  scaleX->SetEditor(this);
  scaleY->SetEditor(this);
  colors->SetEditor(this);
  scaleX_ = scaleX;
  scaleY_ = scaleY;
  colors_ = colors;
  for (EditorLink* link : std::initializer_list<EditorLink*>{
           visualization_.get(), fileInfo_.get(), position_.get(), channels_.get(), markers_.get(),
           recorder_.get(), playback_.get(), convert_.get(), transform_.get(), dxTransform_.get(),
           vstTransform_.get()}) {
    link->SetEditor(this);
  }
  markers_->SetPosition(position_.get());
  return S_OK;
}

HRESULT CAudioEditor::CreateComponents() {
  if (Failed(CreateComponent(CLSID_VideoFile, &mediaFile_))) {
    ShowNotRegistered(kMediaNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  // The reader is only ever asked for audio.
  mediaFile_->SetAdditionalParam(Bstr(u"SWF_AUDIO").get(), Variant::Bool(true));
  if (Failed(CreateComponent(CLSID_AudioEffect, &effect_)) ||
      Failed(CreateComponent(CLSID_AudioData, &effectData_))) {
    ShowNotRegistered(kTransformNotRegistered);
    return RaiseError(kErrNotInstalled);
  }
  return S_OK;
}

HRESULT CAudioEditor::Initialize() {
  HRESULT hr = CreateSubObjects();
  if (Failed(hr)) return hr;
  view_ = view::CreateControlView(*this);
  hr = CreateComponents();
  if (Failed(hr)) return hr;
  recorder_->Device().SetEditorOfLines(this);
  playback_->Device().SetEditorOfLines(this);
  transform_->smoothEnabled = VARIANT_TRUE;
  transform_->smoothTimeBegin = 10.0;
  transform_->smoothTimeEnd = 10.0;
  BuildChannelOrder();
  channels_->Recount();
  PurgeStaleFiles();
  progressScale_ = 95;
  return S_OK;
}

void CAudioEditor::PurgeStaleFiles() {
  // Whether another instance is alive is asked afresh: the one that held the
  // name when we started may be gone.
  mutex_.Close();
  if (!mutex_.Create(kInstanceMutex, &mutexExisted_)) mutexExisted_ = true;
  if (mutexExisted_ || DocumentOpen()) return;
  const std::string dir = platform::WithTrailingSlash(tempDirectory_);
  for (const std::string& name : platform::FindFiles(dir, "qel*.qelf"))
    platform::DeleteFile(dir + name);
}

void CAudioEditor::BuildChannelOrder() {
  channelOrder_.fill(0);
  size_t n = 0;
  for (uint32_t bit = 0; bit < 18; ++bit)
    if (format_.channelsMask & (1u << bit)) channelOrder_[n++] = 1u << bit;
  channelOrderMask_ = format_.channelsMask;
}

void CAudioEditor::LoadOverview(const std::string& cacheFile) {
  overview_.clear();
  overviewLoaded_ =
      !cacheFile.empty() &&
      document::ReadOverviewCache(cacheFile, static_cast<size_t>(format_.channels), &overview_);
  if (!overviewLoaded_) overview_.clear();
}

void CAudioEditor::RefreshFromCurrentStep() {
  document::HistoryStep* step = position_->History().Current();
  if (!step) return;
  document::ViewStack& view = step->view;
  view.selected = view.startSelect[view.zoom] != view.endSelect[view.zoom] ? 1 : 0;
  const bool channelsChanged = step->format.channels != format_.channels;
  format_ = step->format;
  length_ = step->length;
  if (channelsChanged) channels_->Recount();
  batch_ = false;
  BuildChannelOrder();
  channels_->RecomputeMask();
  LoadOverview(step->overviewFile);
  ApplyView();
  markers_->RebuildLayout();
  Recompose();
}

HRESULT CAudioEditor::Close() {
  Stop();
  if (!DocumentOpen()) return S_OK;
  overview_.clear();
  overviewLoaded_ = false;
  batch_ = false;
  batchCount_ = 0;
  verticalRange_ = (1 << (format_.sampleSize - 1)) - 1;
  position_->History().Clear();
  audioFormat_.Reset();
  videoFormat_.Reset();
  format_ = outputFormat_ = document::DocumentFormat{44100, 2, 16, 3};
  length_ = 0;
  selectionLevel_ = 0;
  BuildChannelOrder();
  fileInfo_->Reset();
  markers_->ResetLayout();
  channels_->Recount();
  channels_->RecomputeMask();
  return S_OK;
}

HRESULT CAudioEditor::Stop() {
  stopRequested_ = true;
  const bool effect = (status_ >= opcode::kResample && status_ <= opcode::kGenerateDtmfSignal) ||
                      status_ == opcode::kDxProcess || status_ == opcode::kVstProcess ||
                      status_ == opcode::kBatchProcess;
  // Copies, opens, saves and edits end at their next block when the status
  // word is reset; effects keep what they processed and finish through their
  // stop request. Nothing plays or records yet that Stop would have to end.
  if (status_ != status::kIdle && !effect) status_ = status::kIdle;
  return S_OK;
}

HRESULT CAudioEditor::EndOperations() {
  batch_ = false;
  if (DocumentOpen()) {
    LoadOverview(position_->History().Current()->overviewFile);
    ApplyView();
  }
  Recompose();
  markers_->RebuildLayout();
  return S_OK;
}

HRESULT CAudioEditor::Undo(int32_t count) {
  if (status_ != status::kIdle || !DocumentOpen()) return S_OK;
  progressScale_ = 100;
  position_->History().Undo(count);
  RefreshFromCurrentStep();
  return S_OK;
}

HRESULT CAudioEditor::Redo(int32_t count) {
  if (status_ != status::kIdle || !DocumentOpen()) return S_OK;
  progressScale_ = 100;
  position_->History().Redo(count);
  RefreshFromCurrentStep();
  return S_OK;
}

HRESULT CAudioEditor::get_UndoRedoCount(int32_t* value) {
  if (!value) return E_POINTER;
  *value = position_->History().UndoRedoCount();
  return S_OK;
}

HRESULT CAudioEditor::put_UndoRedoCount(int32_t value) {
  position_->History().SetUndoRedoCount(value);
  return S_OK;
}

// These two report true as 1, not -1: hosts test for non-zero.
HRESULT CAudioEditor::get_UndoEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = DocumentOpen() && position_->History().HasPrevious() ? 1 : 0;
  return S_OK;
}

HRESULT CAudioEditor::get_RedoEnabled(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = DocumentOpen() && position_->History().HasNext() ? 1 : 0;
  return S_OK;
}

HRESULT CAudioEditor::get_UndoList(SAFEARRAY** value) {
  if (!value) return E_POINTER;
  *value = DocumentOpen() ? MakeLongArray(position_->History().UndoCodes()) : nullptr;
  return S_OK;
}

HRESULT CAudioEditor::get_RedoList(SAFEARRAY** value) {
  if (!value) return E_POINTER;
  *value = DocumentOpen() ? MakeLongArray(position_->History().RedoCodes()) : nullptr;
  return S_OK;
}

HRESULT CAudioEditor::get_TempDirectory(BSTR* value) {
  if (!value) return E_POINTER;
  std::string dir = tempDirectory_;
  if (DocumentOpen()) {
    // The folder of the current version of the document.
    const std::string& file = position_->History().Current()->sampleFile;
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
  tempDirectory_ = platform::WithTrailingSlash(dir);
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
  // A handler may queue more while we deliver: take entries one at a time.
  while (!pending_.empty()) {
    PendingEvent e = pending_.front();
    pending_.pop_front();
    if (e.kind == 1)
      sender_.BlockOperation(e.value);
    else if (e.kind == 2)
      sender_.EndOperation();
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

HRESULT CAudioEditor::BeginOperations() {
  batchCount_ = 0;
  batch_ = true;
  return S_OK;
}

HRESULT CAudioEditor::get_Status(int32_t* value) {
  if (!value) return E_POINTER;
  *value = status_;
  return S_OK;
}

HRESULT CAudioEditor::SetSpectralBitmap(uint8_t* bitmap) {
  spectralBitmap_ = bitmap;
  recompose_ = true;
  return S_OK;
}

HRESULT CAudioEditor::SetDarkBitmap(uint8_t* bitmap) {
  darkBitmap_ = bitmap;
  recompose_ = true;
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
  *value = previewMode_;
  return S_OK;
}

HRESULT CAudioEditor::put_PreviewMode(int32_t value) {
  // Turning preview off is refused while an operation runs: the running preview
  // still depends on it.
  if (value < 1 && status_ != status::kIdle) return S_OK;
  previewMode_ = value;
  return S_OK;
}

HRESULT CAudioEditor::get_ScaleX(IEditorScale** value) {
  return QueryOut(scaleX_, value);
}
HRESULT CAudioEditor::get_ScaleY(IEditorScale** value) {
  return QueryOut(scaleY_, value);
}
HRESULT CAudioEditor::get_Colors(IEditorColors** value) {
  return QueryOut(colors_, value);
}

HRESULT CAudioEditor::put_ScaleX(IEditorScale* value) {
  scaleX_.Reset();
  if (value) value->QueryInterface(IEditorScale::kIID, scaleX_.OutVoid());
  return S_OK;
}

HRESULT CAudioEditor::put_ScaleY(IEditorScale* value) {
  scaleY_.Reset();
  if (value) value->QueryInterface(IEditorScale::kIID, scaleY_.OutVoid());
  return S_OK;
}

HRESULT CAudioEditor::put_Colors(IEditorColors* value) {
  colors_.Reset();
  if (value) value->QueryInterface(IEditorColors::kIID, colors_.OutVoid());
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
  return QueryOut(visualization_, value);
}

HRESULT CAudioEditor::SetAdditionalParam(BSTR name, VARIANT value) {
  const std::u16string_view key = View(name);
  // Unit labels: at most 9 characters fit the scale's label buffer; longer text
  // is cut there rather than refused, so a host's label still shows.
  static constexpr std::pair<std::u16string_view, UnitLabel> kUnits[] = {{u"Smpl", kUnitSample},
                                                                         {u"Hz", kUnitHz},
                                                                         {u"Hms", kUnitHms},
                                                                         {u"Frm", kUnitFrame},
                                                                         {u"dB", kUnitDb}};
  for (const auto& [unitName, which] : kUnits) {
    if (key == unitName) {
      Variant text;
      if (Succeeded(VariantChangeType(&text, &value, 0, VT_BSTR)))
        units_[which] = std::u16string(View(text.bstrVal).substr(0, 9));
      return S_OK;
    }
  }
  if (key == u"PlayOnlyStereo") {
    Variant number;
    playOnlyStereo_ =
        Succeeded(VariantChangeType(&number, &value, 0, VT_R8)) && number.dblVal != 0.0;
    return S_OK;
  }
  // The plug-in hosts' parameters are forwarded once those hosts are enabled;
  // any other name is ignored.
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

namespace qel {

void CAudioEditor::LeaveFullView(document::ViewStack& view) {
  if (view.zoom != 0) return;
  view.zoom = 1;
  view.startView[1] = view.startView[0];
  view.endView[1] = view.endView[0];
  view.startSelect[1] = view.startSelect[0];
  view.endSelect[1] = view.endSelect[0];
}

void CAudioEditor::ApplyView() {
  document::HistoryStep* step = position_->History().Current();
  if (!step) return;
  document::ViewStack& view = step->view;
  const int z = view.zoom;
  const int64_t b = std::max(format_.sampleSize / 8, 1);
  int64_t s = view.startView[z] / b * b;
  int64_t e = view.endView[z] / b * b;
  if (e <= s) e = s + format_.BlockAlign();
  view.startView[z] = s;
  view.endView[z] = e > 0 ? e : 0;
  if (view_) view_->RequestViewRebuild();
  RepaintSelection();
}

void CAudioEditor::RepaintSelection() {
  if (view_) view_->RequestSelection();
  if (status_ != status::kVideoPlayback) sender_.ChangePosition();
}

void CAudioEditor::Recompose() {
  recompose_ = true;
  if (view_) view_->Recompose();
}

void CAudioEditor::AdoptCurrentStep() {
  const document::HistoryStep* step = position_->History().Current();
  if (!step) return;
  const bool channelsChanged = step->format.channels != format_.channels;
  format_ = step->format;
  length_ = step->length;
  BuildChannelOrder();
  if (channelsChanged) channels_->Recount();
  channels_->RecomputeMask();
  selectionLevel_ = step->view.zoom;
  if (batch_) {
    ++batchCount_;
    return;
  }
  LoadOverview(step->overviewFile);
  ApplyView();
  Recompose();
  markers_->RebuildLayout();
}

}  // namespace qel
