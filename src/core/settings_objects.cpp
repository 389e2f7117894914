#include "core/settings_objects.h"

#include <algorithm>

#include "com/classtable.h"
#include "core/picture.h"
#include "view/argb.h"
#include "view/colors.h"

namespace qel {

using namespace com;
using view::ColorSettings;

namespace {

Picture* ViewOf(ControlState* state) {
  return state ? state->view.get() : nullptr;
}

}  // namespace

// ---- CEditorColors ----

HRESULT CEditorColors::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorColors>(iid, object);
}

CEditorColors::CEditorColors() : settings_(view::DefaultColorSettings()) {}

Picture* CEditorColors::View() const {
  return ViewOf(State());
}

HRESULT CEditorColors::Get(Index which, OLE_COLOR* value) const {
  if (!value) return E_POINTER;
  *value = view::ArgbToOle(settings_.argb[which]);
  return S_OK;
}

HRESULT CEditorColors::Put(Index which, OLE_COLOR value) {
  const std::optional<uint32_t> rgb = view::TranslateOleColor(value);
  if (!rgb) return E_INVALIDARG;
  uint32_t& stored = settings_.argb[which];
  // The selection is drawn translucent: its put keeps the alpha it has.
  stored = view::OleToArgb(*rgb, which == ColorSettings::kSelect ? view::AlphaOf(stored) : 255);
  Picture* v = View();
  if (!v) return S_OK;
  switch (which) {
    case ColorSettings::kCursor:
    case ColorSettings::kPlayCursor:
      v->RequestPresent();
      break;
    case ColorSettings::kFontMarker:
    case ColorSettings::kBoundary:
    case ColorSettings::kCueMarker:
    case ColorSettings::kRangeMarker:
    case ColorSettings::kRangeMarkerBackground:
    case ColorSettings::kEnvelopeWaveform:
    case ColorSettings::kSlider:
      v->RequestCompose();
      break;
    default:  // a colour that feeds a pen
      v->RequestBase();
      break;
  }
  return S_OK;
}

#define QEL_COLOR_PROPERTY(Name)                        \
  HRESULT CEditorColors::get_##Name(OLE_COLOR* value) { \
    return Get(ColorSettings::k##Name, value);          \
  }                                                     \
  HRESULT CEditorColors::put_##Name(OLE_COLOR value) {  \
    return Put(ColorSettings::k##Name, value);          \
  }
QEL_COLOR_NAMES(QEL_COLOR_PROPERTY)
#undef QEL_COLOR_PROPERTY

HRESULT CEditorColors::get_SpectralLow(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.spectralLow;
  return S_OK;
}

HRESULT CEditorColors::put_SpectralLow(int32_t value) {
  settings_.spectralLow = value;
  if (Picture* v = View()) v->RequestSpectralColors();
  return S_OK;
}

HRESULT CEditorColors::get_SpectralHigh(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.spectralHigh;
  return S_OK;
}

HRESULT CEditorColors::put_SpectralHigh(int32_t value) {
  settings_.spectralHigh = value;
  if (Picture* v = View()) v->RequestSpectralColors();
  return S_OK;
}

// ---- CEditorVisualization ----

HRESULT CEditorVisualization::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorVisualization>(iid, object);
}

Picture* CEditorVisualization::View() const {
  return ViewOf(State());
}

HRESULT CEditorVisualization::GetFlag(bool view::VisualSettings::*field,
                                      VARIANT_BOOL* value) const {
  if (!value) return E_POINTER;
  *value = settings_.*field ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CEditorVisualization::PutFlag(bool view::VisualSettings::*field, VARIANT_BOOL value,
                                      bool compose) {
  const bool on = value != 0;
  if (settings_.*field == on) return S_OK;
  settings_.*field = on;
  if (compose)
    if (Picture* v = View()) v->RequestCompose();
  return S_OK;
}

HRESULT CEditorVisualization::get_BorderType(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.borderType;
  return S_OK;
}

HRESULT CEditorVisualization::put_BorderType(int32_t value) {
  settings_.borderType = value;
  if (Picture* v = View()) v->RequestBase();
  return S_OK;
}

HRESULT CEditorVisualization::get_MousePointer(int32_t* value) {
  if (!value) return E_POINTER;
  *value = mousePointer_;
  return S_OK;
}

HRESULT CEditorVisualization::put_MousePointer(int32_t value) {
  value = view::ClampMousePointer(value);
  if (value == mousePointer_) return S_OK;
  // The previous cursor goes; the new one is loaded (from the file for 99,
  // which leaves no cursor at all when the file cannot be read).
  mousePointer_ = value;
  customCursor_.reset();
  pointerCursor_.reset();
  if (value == 99) {
    customCursor_ = view::LoadCursorFile(mouseCustom_);
    if (customCursor_) pointerCursor_ = view::kCustomFileCursor;
  } else {
    pointerCursor_ = view::PointerCursorId(value);
  }
  ApplyPointer();
  return S_OK;
}

HRESULT CEditorVisualization::get_MouseCustom(BSTR* value) {
  if (!value) return E_POINTER;
  *value = Bstr::FromUtf8(mouseCustom_).Detach();
  return S_OK;
}

HRESULT CEditorVisualization::put_MouseCustom(BSTR value) {
  const std::string name = ToUtf8(value);
  std::optional<view::CursorImage> loaded = view::LoadCursorFile(name);
  if (!loaded) return S_OK;  // a file that cannot be loaded changes nothing
  mouseCustom_ = name;
  if (mousePointer_ == 99) {
    customCursor_ = std::move(loaded);
    pointerCursor_ = view::kCustomFileCursor;
    ApplyPointer();
  }
  return S_OK;
}

void CEditorVisualization::ApplyPointer() {
  if (!pointerCursor_) return;
  if (Picture* v = View()) v->SetPointerCursor(*pointerCursor_);
}

HRESULT CEditorVisualization::get_ViewType(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.viewType;
  return S_OK;
}

HRESULT CEditorVisualization::put_ViewType(int32_t value) {
  // Only while idle; a request at another time is ignored with success.
  if (State() && !State()->doc.Idle()) return S_OK;
  if (value == settings_.viewType) return S_OK;
  settings_.viewType = value;
  if (Picture* v = View()) v->RequestRelayout();
  return S_OK;
}

HRESULT CEditorVisualization::get_RecordType(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.recordType;
  return S_OK;
}

HRESULT CEditorVisualization::put_RecordType(int32_t value) {
  settings_.recordType = std::clamp(value, 1, 3);
  if (Picture* v = View()) v->RequestCompose();
  return S_OK;
}

HRESULT CEditorVisualization::get_MarkerType(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.markerType;
  return S_OK;
}

HRESULT CEditorVisualization::put_MarkerType(int32_t value) {
  settings_.markerType = value;
  if (State()) State()->doc.RebuildMarkerLayout();
  if (Picture* v = View()) v->RequestCompose();
  return S_OK;
}

#define QEL_FLAG_PROPERTY(Name, field, compose)                   \
  HRESULT CEditorVisualization::get_##Name(VARIANT_BOOL* value) { \
    return GetFlag(&view::VisualSettings::field, value);          \
  }                                                               \
  HRESULT CEditorVisualization::put_##Name(VARIANT_BOOL value) {  \
    return PutFlag(&view::VisualSettings::field, value, compose); \
  }
QEL_FLAG_PROPERTY(MarkerBarEnabled, markerBarEnabled, true)
QEL_FLAG_PROPERTY(MarkerBackgroundEnabled, markerBackgroundEnabled, true)
// Tooltips follow on the next mouse move; nothing to redraw.
QEL_FLAG_PROPERTY(MarkerToolTipEnabled, markerToolTipEnabled, false)
QEL_FLAG_PROPERTY(MarkerPointEnabled, markerPointEnabled, true)
QEL_FLAG_PROPERTY(MarkerLabelEnabled, markerLabelEnabled, true)
QEL_FLAG_PROPERTY(ChannelLabelEnabled, channelLabelEnabled, true)
QEL_FLAG_PROPERTY(BoundaryEnabled, boundaryEnabled, true)
QEL_FLAG_PROPERTY(CenterLineEnabled, centerLineEnabled, true)
#undef QEL_FLAG_PROPERTY

HRESULT CEditorVisualization::get_ChannelsInterval(int32_t* value) {
  if (!value) return E_POINTER;
  *value = settings_.channelsInterval;
  return S_OK;
}

HRESULT CEditorVisualization::put_ChannelsInterval(int32_t value) {
  settings_.channelsInterval = std::max(value, 3);
  if (Picture* v = View()) v->RequestLanes();
  return S_OK;
}

HRESULT CEditorVisualization::get_FastChannelResize(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = fastChannelResize_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT CEditorVisualization::put_FastChannelResize(VARIANT_BOOL value) {
  // Read by lane resizing with the mouse; nothing to redraw.
  fastChannelResize_ = value ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// ---- CEditorScale ----

HRESULT CEditorScale::CreateInstance(REFIID iid, void** object) {
  return CreateComObject<CEditorScale>(iid, object);
}

CEditorScale::CEditorScale() {
  view::FontDescription d;
  d.name = "Arial";
  d.size = 5.0;
  d.weight = 400;
  font_ = view::CFontObject::Create(d);
  Listen(true);
}

CEditorScale::~CEditorScale() {
  Listen(false);
}

void CEditorScale::Listen(bool on) {
  ComPtr<view::IQelFont> ours;
  if (!font_ || Failed(font_->QueryInterface(view::IQelFont::kIID, ours.OutVoid()))) return;
  auto* font = static_cast<view::CFontObject*>(ours.get());
  if (on)
    font->AddListener(this);
  else
    font->RemoveListener(this);
}

void CEditorScale::FontChanged() {
  Refresh();
}

void CEditorScale::ClampForLayout() {
  type_ = std::clamp(type_, 1, 3);
  orientation_ = std::clamp(orientation_, 1, 2);
}

void CEditorScale::Refresh() {
  // A scale of a control is laid out now, which brings its values into range;
  // one made on its own keeps what it was given.
  Picture* v = ViewOf(State());
  if (!v) return;
  ClampForLayout();
  v->RequestRelayout();
}

view::ScaleSettings CEditorScale::Settings() const {
  view::ScaleSettings s;
  s.font = view::DescribeFont(font_.get());
  s.type = type_;
  s.visible = visible_ != 0;
  s.grid = grid_ != 0;
  s.orientation = orientation_;
  s.frameRate = frameRate_;
  return s;
}

HRESULT CEditorScale::get_Font(IFontDisp** value) {
  if (!value) return E_POINTER;
  *value = font_.CopyOut();
  return S_OK;
}

HRESULT CEditorScale::put_Font(IFontDisp* value) {
  return putref_Font(value);  // either way the scale takes the given font
}

HRESULT CEditorScale::putref_Font(IFontDisp* value) {
  if (!value) return E_INVALIDARG;
  if (value == font_.get()) return S_OK;
  Listen(false);
  font_ = ComPtr<IFontDisp>(value);
  Listen(true);
  Refresh();
  return S_OK;
}

HRESULT CEditorScale::get_Type(int32_t* value) {
  if (!value) return E_POINTER;
  *value = type_;
  return S_OK;
}

HRESULT CEditorScale::put_Type(int32_t value) {
  if (value == type_) return S_OK;
  type_ = value;
  Refresh();
  return S_OK;
}

HRESULT CEditorScale::get_Visible(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = visible_;
  return S_OK;
}

HRESULT CEditorScale::put_Visible(VARIANT_BOOL value) {
  if (value == visible_) return S_OK;
  visible_ = value;
  Refresh();
  return S_OK;
}

HRESULT CEditorScale::get_Grid(VARIANT_BOOL* value) {
  if (!value) return E_POINTER;
  *value = grid_;
  return S_OK;
}

HRESULT CEditorScale::put_Grid(VARIANT_BOOL value) {
  if (value == grid_) return S_OK;
  grid_ = value;
  Refresh();
  return S_OK;
}

HRESULT CEditorScale::get_Orientation(int32_t* value) {
  if (!value) return E_POINTER;
  *value = orientation_;
  return S_OK;
}

HRESULT CEditorScale::put_Orientation(int32_t value) {
  value = std::clamp(value, 1, 2);
  if (value == orientation_) return S_OK;
  orientation_ = value;
  Refresh();
  return S_OK;
}

HRESULT CEditorScale::get_FrameRate(double* value) {
  if (!value) return E_POINTER;
  *value = frameRate_;
  return S_OK;
}

HRESULT CEditorScale::put_FrameRate(double value) {
  frameRate_ = value;
  Refresh();  // on every put, changed or not
  return S_OK;
}

}  // namespace qel
