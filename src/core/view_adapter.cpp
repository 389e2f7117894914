// ViewSource over the control's state: the document model gives the version,
// positions, markers and the peak overview; the settings objects give colours,
// options and scales (through their interfaces when a host replaced them with
// its own).
#include "core/view_adapter.h"

#include "core/font_object.h"
#include "core/settings_objects.h"
#include "document/temp_names.h"
#include "platform/files.h"
#include "view/argb.h"
#include "view/colors.h"
#include "view/store_reader.h"

namespace qel {

using namespace com;

namespace view {

namespace {

class ControlSource final : public ViewSource {
 public:
  explicit ControlSource(ControlState& state) : state_(state), doc_(state.doc) {}

  DocumentState Document() const override {
    DocumentState d;
    const document::DocumentFormat& f = doc_.format;
    d.open = doc_.IsOpen();
    d.sampleRate = f.sampleRate;
    d.channels = f.channels;
    d.sampleSize = f.sampleSize;
    d.channelsMask = f.channelsMask;
    d.lengthBytes = d.open ? doc_.length : 0;
    if (const document::HistoryStep* step = Step()) d.sampleFile = step->sampleFile;
    return d;
  }

  ViewPositions Positions() const override {
    ViewPositions p;
    const document::HistoryStep* step = Step();
    if (!step) return p;
    const document::ViewStack& v = step->view;
    const int z = std::clamp(v.zoom, 0, document::kZoomLevels - 1);
    p.startView = v.startView[z];
    p.endView = v.endView[z];
    p.startSelect = v.startSelect[z];
    p.endSelect = v.endSelect[z];
    p.selected = v.selected != 0;
    p.playPosition = step->playPosition;
    return p;
  }

  int32_t VerticalZoom() const override { return doc_.verticalZoom; }
  int32_t Status() const override { return doc_.Status(); }
  void SetStatus(int32_t status) override { doc_.SetStatus(status); }

  bool ChannelVisible(int channel) const override {
    return channel < doc_.format.channels && doc_.channels.IsVisible(channel);
  }
  bool ChannelOperated(int channel) const override {
    return channel < doc_.format.channels && doc_.channels.IsOperated(channel);
  }

  std::vector<MarkerMark> Markers() const override {
    std::vector<MarkerMark> marks;
    for (const document::MarkerLayoutEntry& e : doc_.markerLayout)
      marks.push_back(MarkerMark{e.position, e.length, e.color, e.label});
    return marks;
  }

  std::u16string UnitLabel(Unit unit) const override {
    return state_.units[static_cast<size_t>(unit)];
  }

  std::unique_ptr<SampleReader> OpenSamples() const override {
    const document::HistoryStep* step = Step();
    if (!step) return nullptr;
    auto reader = std::make_unique<StoreReader>();
    if (!reader->Open(step->sampleFile)) return nullptr;
    return reader;
  }

  cairo_surface_t* HostBitmap(bool dark) const override {
    return reinterpret_cast<cairo_surface_t*>(dark ? state_.darkBitmap : state_.spectralBitmap);
  }

  ColorSettings Colors() const override {
    IEditorColors* colors = state_.colors.get();
    if (auto* ours = dynamic_cast<CEditorColors*>(colors)) return ours->Settings();
    ColorSettings s = DefaultColorSettings();
    if (!colors) return s;
    // A host's own colours object: its OLE colours, drawn opaque.
    using Get = HRESULT (IEditorColors::*)(OLE_COLOR*);
    static constexpr std::pair<int, Get> kGets[] = {
        {ColorSettings::kFontMarker, &IEditorColors::get_FontMarker},
        {ColorSettings::kFont, &IEditorColors::get_Font},
        {ColorSettings::kScales, &IEditorColors::get_Scales},
        {ColorSettings::kPlayCursor, &IEditorColors::get_PlayCursor},
        {ColorSettings::kGrid, &IEditorColors::get_Grid},
        {ColorSettings::kDigitalWaveform, &IEditorColors::get_DigitalWaveform},
        {ColorSettings::kCursor, &IEditorColors::get_Cursor},
        {ColorSettings::kCenterLine, &IEditorColors::get_CenterLine},
        {ColorSettings::kBoundary, &IEditorColors::get_Boundary},
        {ColorSettings::kBackground, &IEditorColors::get_Background},
        {ColorSettings::kAnalogWaveform, &IEditorColors::get_AnalogWaveform},
        {ColorSettings::kCueMarker, &IEditorColors::get_CueMarker},
        {ColorSettings::kRangeMarker, &IEditorColors::get_RangeMarker},
        {ColorSettings::kRangeMarkerBackground, &IEditorColors::get_RangeMarkerBackground},
        {ColorSettings::kEnvelopeWaveform, &IEditorColors::get_EnvelopeWaveform},
        {ColorSettings::kEnvelopeBorder, &IEditorColors::get_EnvelopeBorder},
        {ColorSettings::kSlider, &IEditorColors::get_Slider},
        {ColorSettings::kUnSelectedChannel, &IEditorColors::get_UnSelectedChannel},
    };
    for (const auto& [index, get] : kGets) {
      OLE_COLOR value = 0;
      if (Succeeded((colors->*get)(&value))) {
        if (auto rgb = TranslateOleColor(value)) s.argb[index] = OleToArgb(*rgb);
      }
    }
    OLE_COLOR select = 0;
    if (Succeeded(colors->get_Select(&select)))
      if (auto rgb = TranslateOleColor(select))
        s.argb[ColorSettings::kSelect] = OleToArgb(*rgb, AlphaOf(s.argb[ColorSettings::kSelect]));
    colors->get_SpectralLow(&s.spectralLow);
    colors->get_SpectralHigh(&s.spectralHigh);
    return s;
  }

  VisualSettings Visual() const override {
    const CEditorVisualization* v = state_.visualization.get();
    return v ? v->Settings() : VisualSettings{};
  }

  ScaleSettings Scale(bool vertical) const override {
    IEditorScale* scale = (vertical ? state_.scaleY : state_.scaleX).get();
    ScaleSettings s;
    if (!scale) {
      s.present = false;
      return s;
    }
    if (auto* ours = dynamic_cast<CEditorScale*>(scale)) return ours->Settings();
    ComPtr<IFontDisp> font;
    if (Succeeded(scale->get_Font(font.Out())) && font) s.font = DescribeFont(font.get());
    VARIANT_BOOL flag = VARIANT_TRUE;
    if (Succeeded(scale->get_Visible(&flag))) s.visible = flag != 0;
    if (Succeeded(scale->get_Grid(&flag))) s.grid = flag != 0;
    scale->get_Type(&s.type);
    scale->get_Orientation(&s.orientation);
    scale->get_FrameRate(&s.frameRate);
    return s;
  }

  const document::PeakOverview* Overview() const override {
    return doc_.IsOpen() && doc_.overviewLoaded ? &doc_.overview : nullptr;
  }

  void AdoptOverview(document::PeakOverview overview) override {
    doc_.KeepOverview(std::move(overview));
  }

 private:
  const document::HistoryStep* Step() const { return doc_.Current(); }

  ControlState& state_;
  document::Document& doc_;
};

}  // namespace

std::unique_ptr<WaveformView> CreateControlView(ControlState& state) {
  return std::make_unique<WaveformView>(std::make_unique<ControlSource>(state));
}

}  // namespace view
}  // namespace qel
