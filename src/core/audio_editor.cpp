#include "core/audio_editor.h"

#include "com/classtable.h"

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

HRESULT CAudioEditor::CreateInstance(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto editor = Create();
  if (!editor) return E_OUTOFMEMORY;
  HRESULT hr = editor->Initialize();
  if (Failed(hr)) return hr;
  return editor->QueryInterface(iid, object);
}

CAudioEditor::CAudioEditor()
    : events_(static_cast<IConnectionPointContainer*>(this), IID__IAudioEditorEvents),
      sender_(events_) {
  units_ = {u"smpl", u"Hz", u"hms", u"frm", u"dB"};
}

CAudioEditor::~CAudioEditor() {
  // Sub-objects a host still holds must not reach a control that is gone.
  for (EditorLink* link : std::initializer_list<EditorLink*>{
           visualization_.get(), fileInfo_.get(), position_.get(), channels_.get(), markers_.get(),
           recorder_.get(), playback_.get(), convert_.get(), transform_.get(), dxTransform_.get(),
           vstTransform_.get()}) {
    if (link) link->SetEditor(nullptr);
  }
}

HRESULT CAudioEditor::Initialize() {
  visualization_ = CEditorVisualization::Create();
  auto scaleX = CEditorScale::Create();
  auto scaleY = CEditorScale::Create();
  auto colors = CEditorColors::Create();
  fileInfo_ = CEditorFileInfo::Create();
  position_ = CEditorPosition::Create();
  channels_ = CEditorChannels::Create();
  markers_ = CEditorMarkers::Create();
  recorder_ = CEditorRecorder::Create();
  playback_ = CEditorPlayback::Create();
  convert_ = CEditorConvertSampleType::Create();
  transform_ = CEditorTransform::Create();
  dxTransform_ = CEditorDXTransform::Create();
  vstTransform_ = CEditorVSTTransform::Create();
  if (scaleX) scaleX->SetEditor(this);
  if (scaleY) scaleY->SetEditor(this);
  if (colors) colors->SetEditor(this);
  scaleX_ = scaleX;
  scaleY_ = scaleY;
  colors_ = colors;
  for (EditorLink* link : std::initializer_list<EditorLink*>{
           visualization_.get(), fileInfo_.get(), position_.get(), channels_.get(), markers_.get(),
           recorder_.get(), playback_.get(), convert_.get(), transform_.get(), dxTransform_.get(),
           vstTransform_.get()}) {
    if (link) link->SetEditor(this);
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
