// ViewSource over the control: the current history step gives the document
// version, positions and markers; the settings objects give colours, options
// and scales (through their interfaces when a host replaced them with its own);
// the control keeps the peak overview of the version and its cache file.
#include "view/control_adapter.h"

#include "core/audio_editor.h"
#include "document/temp_names.h"
#include "platform/files.h"
#include "view/colors.h"
#include "view/font_object.h"
#include "view/settings.h"
#include "view/store_reader.h"

namespace qel {

using namespace com;

// SpectralResolution belongs to the view: the FFT size of the spectral view.
HRESULT CAudioEditor::put_SpectralResolution(int32_t value) {
  if (view::WaveformView* v = Waveform()) v->SetSpectralResolution(value);
  return S_OK;
}

namespace view {

namespace {

class ControlSource final : public ViewSource {
 public:
  explicit ControlSource(CAudioEditor& editor) : editor_(editor) {}

  DocumentState Document() const override {
    DocumentState d;
    const document::DocumentFormat& f = editor_.Format();
    d.open = editor_.DocumentOpen();
    d.sampleRate = f.sampleRate;
    d.channels = f.channels;
    d.sampleSize = f.sampleSize;
    d.channelsMask = f.channelsMask;
    d.lengthBytes = d.open ? editor_.LengthBytes() : 0;
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

  int32_t VerticalZoom() const override { return editor_.VerticalZoom(); }
  int32_t Status() const override { return editor_.Status(); }
  void SetStatus(int32_t status) override { editor_.SetStatus(status); }

  bool ChannelVisible(int channel) const override {
    return channel < editor_.Format().channels && editor_.Channels().Visible(channel);
  }
  bool ChannelOperated(int channel) const override {
    return channel < editor_.Format().channels && editor_.Channels().OperationEnabled(channel);
  }

  std::vector<MarkerMark> Markers() const override {
    std::vector<MarkerMark> marks;
    for (const CEditorMarkers::LayoutEntry& e : editor_.Markers().Layout())
      marks.push_back(MarkerMark{e.position, e.length, e.color, e.label});
    return marks;
  }

  std::u16string UnitLabel(Unit unit) const override {
    switch (unit) {
      case Unit::Sample:
        return editor_.Unit(CAudioEditor::kUnitSample);
      case Unit::Hz:
        return editor_.Unit(CAudioEditor::kUnitHz);
      case Unit::Hms:
        return editor_.Unit(CAudioEditor::kUnitHms);
      case Unit::Frame:
        return editor_.Unit(CAudioEditor::kUnitFrame);
      case Unit::Db:
        return editor_.Unit(CAudioEditor::kUnitDb);
    }
    return {};
  }

  std::unique_ptr<SampleReader> OpenSamples() const override {
    const document::HistoryStep* step = Step();
    if (!step) return nullptr;
    auto reader = std::make_unique<StoreReader>();
    if (!reader->Open(step->sampleFile)) return nullptr;
    return reader;
  }

  cairo_surface_t* HostBitmap(bool dark) const override {
    return reinterpret_cast<cairo_surface_t*>(editor_.HostBitmap(dark));
  }

  ColorSettings Colors() const override {
    IEditorColors* colors = editor_.ColorsObject();
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
    const CEditorVisualization* v = editor_.VisualizationObject();
    return v ? v->Settings() : VisualSettings{};
  }

  ScaleSettings Scale(bool vertical) const override {
    IEditorScale* scale = editor_.ScaleObject(vertical);
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

  const std::vector<document::OverviewChannel>* Overview() const override {
    return editor_.DocumentOpen() && editor_.OverviewLoaded() ? &editor_.OverviewData() : nullptr;
  }

  void AdoptOverview(std::vector<document::OverviewChannel> overview) override {
    document::HistoryStep* step = Step();
    if (!step) return;
    // The version keeps its overview in a cache file, so undo and redo read it
    // back instead of scanning the samples again.
    std::string name;
    if (document::MakeTempFileName(editor_.TempDirectoryPath(), &name, true) &&
        document::WriteOverviewCache(name, overview)) {
      if (!step->overviewFile.empty()) platform::DeleteFile(step->overviewFile);
      step->overviewFile = name;
    }
    editor_.OverviewData() = std::move(overview);
    editor_.SetOverviewLoaded(true);
  }

 private:
  document::HistoryStep* Step() const {
    return editor_.DocumentOpen() ? editor_.Position().History().Current() : nullptr;
  }

  CAudioEditor& editor_;
};

}  // namespace

std::unique_ptr<WaveformView> CreateControlView(CAudioEditor& editor) {
  return std::make_unique<WaveformView>(std::make_unique<ControlSource>(editor));
}

}  // namespace view
}  // namespace qel
