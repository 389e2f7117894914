// The view's settings objects: colours (IEditorColors), visualisation options
// (IEditorVisualization) and the two scales (IEditorScale). Each holds its
// values and the control's shared state; a put stores the value and asks the
// view for the smallest repaint that covers it. Made on their own (by class
// identifier), or kept after the control has gone, they only store.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/font_object.h"
#include "core/picture.h"
#include "core/surface_defaults.h"
#include "view/cursors.h"
#include "view/view_source.h"

namespace qel {

// The colour properties of IEditorColors, in one list for declarations and definitions.
#define QEL_COLOR_NAMES(X) \
  X(Select)                \
  X(FontMarker)            \
  X(Font)                  \
  X(Scales)                \
  X(PlayCursor)            \
  X(Grid)                  \
  X(DigitalWaveform)       \
  X(Cursor)                \
  X(CenterLine)            \
  X(Boundary)              \
  X(Background)            \
  X(AnalogWaveform)        \
  X(CueMarker)             \
  X(RangeMarker)           \
  X(RangeMarkerBackground) \
  X(EnvelopeWaveform)      \
  X(EnvelopeBorder)        \
  X(Slider)                \
  X(UnSelectedChannel)

class CEditorColors final : public AutomationObject<CEditorColors, IEditorColorsDefaults>,
                            public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);
  CEditorColors();

#define QEL_COLOR_PROPERTY(Name)                           \
  com::HRESULT get_##Name(com::OLE_COLOR* value) override; \
  com::HRESULT put_##Name(com::OLE_COLOR value) override;
  QEL_COLOR_NAMES(QEL_COLOR_PROPERTY)
#undef QEL_COLOR_PROPERTY
  com::HRESULT get_SpectralLow(int32_t* value) override;
  com::HRESULT put_SpectralLow(int32_t value) override;
  com::HRESULT get_SpectralHigh(int32_t* value) override;
  com::HRESULT put_SpectralHigh(int32_t value) override;

  // The colours as the view draws them (ARGB; Select with its translucency).
  const view::ColorSettings& Settings() const {
    return settings_;
  }

 private:
  using Index = view::ColorSettings::Index;
  com::HRESULT Get(Index which, com::OLE_COLOR* value) const;
  com::HRESULT Put(Index which, com::OLE_COLOR value);
  Picture* View() const;

  view::ColorSettings settings_;
};

class CEditorVisualization final
    : public AutomationObject<CEditorVisualization, IEditorVisualizationDefaults>,
      public StateLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT get_BorderType(int32_t* value) override;
  com::HRESULT put_BorderType(int32_t value) override;
  com::HRESULT get_MousePointer(int32_t* value) override;
  com::HRESULT put_MousePointer(int32_t value) override;
  com::HRESULT get_MouseCustom(com::BSTR* value) override;
  com::HRESULT put_MouseCustom(com::BSTR value) override;
  com::HRESULT get_ViewType(int32_t* value) override;
  com::HRESULT put_ViewType(int32_t value) override;
  com::HRESULT get_RecordType(int32_t* value) override;
  com::HRESULT put_RecordType(int32_t value) override;
  com::HRESULT get_MarkerType(int32_t* value) override;
  com::HRESULT put_MarkerType(int32_t value) override;
  com::HRESULT get_MarkerBarEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerBarEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_MarkerBackgroundEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerBackgroundEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_MarkerToolTipEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerToolTipEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_MarkerPointEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerPointEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_MarkerLabelEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerLabelEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_ChannelLabelEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_ChannelLabelEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_ChannelsInterval(int32_t* value) override;
  com::HRESULT put_ChannelsInterval(int32_t value) override;
  com::HRESULT get_FastChannelResize(com::VARIANT_BOOL* value) override;
  com::HRESULT put_FastChannelResize(com::VARIANT_BOOL value) override;
  com::HRESULT get_BoundaryEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_BoundaryEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_CenterLineEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_CenterLineEnabled(com::VARIANT_BOOL value) override;

  const view::VisualSettings& Settings() const { return settings_; }
  bool FastChannelResize() const { return fastChannelResize_ != 0; }
  int32_t MousePointer() const { return mousePointer_; }
  // The cursor the pointer loads: a stock shape's window number, or
  // view::kCustomFileCursor with the loaded picture; none after a failed load.
  std::optional<int> PointerCursor() const { return pointerCursor_; }
  const std::optional<view::CursorImage>& CustomCursor() const { return customCursor_; }

 private:
  com::HRESULT PutFlag(bool view::VisualSettings::*field, com::VARIANT_BOOL value, bool compose);
  com::HRESULT GetFlag(bool view::VisualSettings::*field, com::VARIANT_BOOL* value) const;
  void ApplyPointer();
  Picture* View() const;

  view::VisualSettings settings_;
  com::VARIANT_BOOL fastChannelResize_ = com::VARIANT_TRUE;
  int32_t mousePointer_ = 0;
  std::string mouseCustom_;
  std::optional<int> pointerCursor_ = 0;
  std::optional<view::CursorImage> customCursor_;
};

class CEditorScale final : public AutomationObject<CEditorScale, IEditorScaleDefaults>,
                           public StateLink,
                           public view::FontListener {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);
  CEditorScale();
  ~CEditorScale() override;

  com::HRESULT get_Font(IFontDisp** value) override;
  com::HRESULT put_Font(IFontDisp* value) override;
  com::HRESULT putref_Font(IFontDisp* value) override;
  com::HRESULT get_Type(int32_t* value) override;
  com::HRESULT put_Type(int32_t value) override;
  com::HRESULT get_Visible(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Visible(com::VARIANT_BOOL value) override;
  com::HRESULT get_Grid(com::VARIANT_BOOL* value) override;
  com::HRESULT put_Grid(com::VARIANT_BOOL value) override;
  com::HRESULT get_Orientation(int32_t* value) override;
  com::HRESULT put_Orientation(int32_t value) override;
  com::HRESULT get_FrameRate(double* value) override;
  com::HRESULT put_FrameRate(double value) override;

  // The settings as the view reads them (the font described afresh).
  view::ScaleSettings Settings() const;
  // Type to 1 ... 3 and Orientation to 1 ... 2, as the layout does on a refresh.
  void ClampForLayout();

  void FontChanged() override;

 private:
  void Refresh();
  void Listen(bool on);

  com::ComPtr<IFontDisp> font_;
  int32_t type_ = 1;
  com::VARIANT_BOOL visible_ = com::VARIANT_TRUE;
  com::VARIANT_BOOL grid_ = com::VARIANT_TRUE;
  int32_t orientation_ = 1;
  double frameRate_ = 25.0;
};

}  // namespace qel
