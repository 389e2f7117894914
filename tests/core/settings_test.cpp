// The settings objects through the control as a host reaches them: colours
// with their stored forms, visualisation options and cursors, the scales with
// their font object, and the control's own view members and window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "control_support.h"
#include "document/sample_store.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "support/scratch_dir.h"
#include "view/colors.h"
#include "view/waveform_view.h"

namespace qel {
namespace {

using namespace com;
using test::Call;
using test::ScratchDir;
using view::ColorSettings;

// Controls of these tests work in a folder of their own.
class ViewSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("QEL_LOCK_DIR", locks.Path().c_str(), 1);
    setenv("TMPDIR", temp.Path().c_str(), 1);
    editor = test::NewControl();
    ASSERT_TRUE(editor);
    editor->get_Colors(colors.Out());
    editor->get_Visualization(visualization.Out());
    editor->get_ScaleX(scaleX.Out());
    editor->get_ScaleY(scaleY.Out());
  }
  void TearDown() override {
    unsetenv("QEL_LOCK_DIR");
    unsetenv("TMPDIR");
  }
  CAudioEditor& Control() { return test::Impl(editor); }
  const ColorSettings& Stored() {
    return static_cast<CEditorColors*>(Control().State().colors.get())->Settings();
  }

  ScratchDir locks;
  ScratchDir temp;
  ComPtr<IAudioEditor> editor;
  ComPtr<IEditorColors> colors;
  ComPtr<IEditorVisualization> visualization;
  ComPtr<IEditorScale> scaleX;
  ComPtr<IEditorScale> scaleY;
};

TEST_F(ViewSettings, ColoursAreStoredOpaqueExceptTheTranslucentSelectAndScales) {
  ASSERT_EQ(colors->put_Select(0x00FF0000), S_OK);  // pure blue
  EXPECT_EQ(Stored().argb[ColorSettings::kSelect], 0x640000FFu);
  OLE_COLOR value = 1;
  colors->get_Select(&value);
  EXPECT_EQ(value, 0x00FF0000u);
  colors->put_Grid(0x00123456);
  EXPECT_EQ(Stored().argb[ColorSettings::kGrid], 0xFF563412u);
  // The scales start as the button face at alpha 254.
  EXPECT_EQ(Stored().argb[ColorSettings::kScales], 0xFEF0F0F0u);
  colors->get_Scales(&value);
  EXPECT_EQ(value, 0x00F0F0F0u);
}

TEST_F(ViewSettings, SystemColoursAreResolvedAndUnknownOnesRefused) {
  ASSERT_EQ(colors->put_Cursor(0x80000005), S_OK);  // window colour
  EXPECT_EQ(Stored().argb[ColorSettings::kCursor], 0xFFFFFFFFu);
  EXPECT_EQ(colors->put_Cursor(0x80000063), E_INVALIDARG);
  EXPECT_EQ(Stored().argb[ColorSettings::kCursor], 0xFFFFFFFFu);
}

// What a property reads back after a put of `value`.
template <class Object>
int32_t RoundTrip(Object* o, HRESULT (Object::*put)(int32_t), HRESULT (Object::*get)(int32_t*),
                  int32_t value) {
  (o->*put)(value);
  int32_t back = -12345;
  (o->*get)(&back);
  return back;
}

TEST_F(ViewSettings, IntervalRecordTypePointerAndOrientationAreClampedToTheirRanges) {
  IEditorVisualization* v = visualization.get();
  using V = IEditorVisualization;
  EXPECT_EQ(RoundTrip(v, &V::put_ChannelsInterval, &V::get_ChannelsInterval, 1), 3);
  EXPECT_EQ(RoundTrip(v, &V::put_RecordType, &V::get_RecordType, 7), 3);
  EXPECT_EQ(RoundTrip(v, &V::put_MousePointer, &V::get_MousePointer, 40), 15);
  using S = IEditorScale;
  EXPECT_EQ(RoundTrip(scaleY.get(), &S::put_Orientation, &S::get_Orientation, 7), 2);
}

TEST_F(ViewSettings, ViewTypeWhilePlayingIsIgnoredWithSuccess) {
  Control().Model().SetStatus(1);
  EXPECT_EQ(visualization->put_ViewType(1), S_OK);
  int32_t value = -1;
  visualization->get_ViewType(&value);
  EXPECT_EQ(value, 0);
  Control().Model().SetStatus(0);
  visualization->put_ViewType(1);
  visualization->get_ViewType(&value);
  EXPECT_EQ(value, 1);
}

// A one-image X cursor file of the given size.
std::string WriteCursor(const ScratchDir& dir, int side) {
  std::vector<uint8_t> b;
  auto u32 = [&b](uint32_t v) {
    for (int i = 0; i < 4; ++i)
      b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  u32(0x72756358);  // "Xcur"
  u32(16);          // header size
  u32(0x10000);     // version
  u32(1);           // one entry
  u32(0xFFFD0002);  // image
  u32(32);          // nominal size
  u32(28);          // at
  u32(36);
  u32(0xFFFD0002);
  u32(32);
  u32(1);
  u32(side);
  u32(side);
  u32(1);  // hot spot
  u32(1);
  u32(0);
  for (int i = 0; i < side * side; ++i)
    u32(0xFF00FF00);
  return dir.Write("pointer.cur", b);
}

TEST_F(ViewSettings, ACursorFileThatCannotBeLoadedChangesNothing) {
  const std::string good = WriteCursor(temp, 4);
  visualization->put_MouseCustom(Bstr::FromUtf8(good).get());
  const std::string bad = temp / "missing.cur";
  EXPECT_EQ(visualization->put_MouseCustom(Bstr::FromUtf8(bad).get()), S_OK);
  Bstr name;
  visualization->get_MouseCustom(name.Out());
  EXPECT_EQ(name.utf8(), good);
}

TEST_F(ViewSettings, PointerNinetyNineLoadsTheCustomCursorIntoTheWindowOnceThereIsAFile) {
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 300, 200);
  Control().Waveform()->AttachWindow(&window);
  visualization->put_MousePointer(99);
  EXPECT_FALSE(Control().State().visualization.get()->PointerCursor().has_value());
  visualization->put_MouseCustom(Bstr::FromUtf8(WriteCursor(temp, 4)).get());
  visualization->put_MousePointer(99);
  const CEditorVisualization& v = *Control().State().visualization.get();
  ASSERT_TRUE(v.CustomCursor().has_value());
  EXPECT_EQ(v.CustomCursor()->width, 4);
  EXPECT_EQ(v.CustomCursor()->pixels[5], 0xFF00FF00u);
  EXPECT_EQ(window.CurrentCursor(), view::kCustomFileCursor);
  visualization->put_MousePointer(2);
  EXPECT_EQ(window.CurrentCursor(), static_cast<int>(platform::Cursor::Cross));
  Control().Waveform()->AttachWindow(nullptr);
}

TEST_F(ViewSettings, AScaleOfTheControlClampsItsTypeWhenItLaysOut) {
  using S = IEditorScale;
  EXPECT_EQ(RoundTrip(scaleX.get(), &S::put_Type, &S::get_Type, 9), 3);
  ComPtr<IEditorScale> standalone;
  ASSERT_EQ(CoCreateInstance(CLSID_EditorScale, nullptr, CLSCTX_INPROC_SERVER, IEditorScale::kIID,
                             standalone.OutVoid()),
            S_OK);
  EXPECT_EQ(RoundTrip(standalone.get(), &S::put_Type, &S::get_Type, 9), 9);
}

TEST_F(ViewSettings, TheScaleFontsBoldAndWeightFollowEachOtherLateBound) {
  ComPtr<IFontDisp> font;
  ASSERT_EQ(scaleX->get_Font(font.Out()), S_OK);
  ASSERT_TRUE(font);
  Variant weight;
  ASSERT_EQ(Call(font.get(), u"Bold", DISPATCH_PROPERTYPUT, {Variant::Bool(true)}), S_OK);
  ASSERT_EQ(Call(font.get(), u"weight", DISPATCH_PROPERTYGET, {}, &weight), S_OK);
  EXPECT_EQ(weight.iVal, 700);
}

TEST_F(ViewSettings, ASizeSetOnTheFontLaysTheViewOutWithTheNewFont) {
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 400, 200);
  view::WaveformView& v = *Control().Waveform();
  v.AttachWindow(&window);
  window.Paint();
  const int cell = v.GetLayout().fontX.cellHeight;
  ComPtr<IFontDisp> font;
  scaleX->get_Font(font.Out());
  ASSERT_EQ(Call(font.get(), u"Size", DISPATCH_PROPERTYPUT, {Variant::R8(12)}), S_OK);
  EXPECT_TRUE(window.IsInvalid());
  window.Paint();
  EXPECT_GT(v.GetLayout().fontX.cellHeight, cell);
  EXPECT_EQ(v.GetLayout().fontX.emSize, 16.0f);  // 12 pt is 16 logical pixels
  v.AttachWindow(nullptr);
}

TEST_F(ViewSettings, AFontPutByReferenceReplacesTheScalesOwnAndItsChangesFollow) {
  ComPtr<IFontDisp> other;
  scaleY->get_Font(other.Out());
  ASSERT_EQ(scaleX->putref_Font(other.get()), S_OK);
  ComPtr<IFontDisp> got;
  scaleX->get_Font(got.Out());
  EXPECT_EQ(got.get(), other.get());
  // The control lays out again when the shared font changes.
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 400, 200);
  Control().Waveform()->AttachWindow(&window);
  window.Paint();
  Call(other.get(), u"Size", DISPATCH_PROPERTYPUT, {Variant::R8(11)});
  EXPECT_TRUE(window.IsInvalid());
  Control().Waveform()->AttachWindow(nullptr);
}

TEST_F(ViewSettings, ZoomVerticalZeroStoresTenAndSpectralResolutionSetsTheTransformSize) {
  editor->ZoomVertical(0);
  EXPECT_EQ(Control().Model().verticalZoom, 10);
  editor->put_SpectralResolution(9);
  EXPECT_EQ(Control().Waveform()->FftSize(), 4096);
}

// A mono 8-bit sample-store file of `frames` frames of a sine advancing `step`
// radians a frame.
std::string WriteStore(const ScratchDir& dir, const std::string& name, int64_t frames,
                       double step) {
  document::CSampleStoreFile f;
  const std::string path = dir / name;
  EXPECT_TRUE(f.Create(path, 8000, 1, 8, 0));
  std::vector<uint8_t> block(65536);
  for (int64_t at = 0; at < frames; at += static_cast<int64_t>(block.size())) {
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = static_cast<uint8_t>(128 + 100 * std::sin((at + i) * step));
    f.Write(block.data(), static_cast<size_t>(std::min<int64_t>(block.size(), frames - at)));
  }
  f.Close();
  return path;
}

TEST_F(ViewSettings, TheHostsWindowShowsTheDocument) {
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 400, 200);
  view::WaveformView& v = *Control().Waveform();
  v.AttachWindow(&window);
  const std::string path = WriteStore(temp, "doc.qelf", 20000, 0.5);
  ASSERT_EQ(editor->OpenFileFromTmp(Bstr::FromUtf8(path).get(), 0, 0, 0, 0), S_OK);
  EXPECT_TRUE(window.IsInvalid());
  window.Paint();
  const view::Layout& l = v.GetLayout();
  const int top = v.LaneTops()[0];
  int lit = 0;
  for (int y = top; y < top + l.laneHeight[0]; ++y)
    if (window.PixelAt(l.left + 100, y) == 0xFF1CF0ABu) ++lit;
  EXPECT_GT(lit, l.laneHeight[0] / 2);
  colors->put_Background(0x00202020);
  EXPECT_TRUE(window.IsInvalid());
  window.Paint();
  EXPECT_EQ(window.PixelAt(l.left + 100, top + 1), 0xFF202020u);
  v.AttachWindow(nullptr);
}

TEST_F(ViewSettings, UndoReadsTheOverviewBackFromTheCacheFileOfItsVersion) {
  platform::MessageQueue queue;
  platform::HeadlessWindow window(queue, 400, 200);
  Control().Waveform()->AttachWindow(&window);
  const std::string path = WriteStore(temp, "long.qelf", 3'000'100, 0.001);
  ASSERT_EQ(editor->OpenFileFromTmp(Bstr::FromUtf8(path).get(), 0, 0, 0, 0), S_OK);
  window.Paint();
  ASSERT_TRUE(Control().Model().overviewLoaded);
  const std::string cache = Control().Model().history.Current()->overviewFile;
  ASSERT_FALSE(cache.empty());
  const document::PeakOverview first = Control().Model().overview;
  // An edit makes a version without an overview; drawing it builds one.
  ComPtr<IEditorPosition> position;
  editor->get_Position(position.Out());
  position->put_Selected(VARIANT_TRUE);
  position->put_StartSelect(10);
  position->put_EndSelect(20);
  ASSERT_EQ(editor->DeleteSelect(), S_OK);
  window.Paint();
  EXPECT_NE(Control().Model().history.Current()->overviewFile, cache);
  ASSERT_EQ(editor->Undo(1), S_OK);
  EXPECT_TRUE(Control().Model().overviewLoaded);  // read back, not rebuilt
  EXPECT_EQ(Control().Model().overview, first);
  Control().Waveform()->AttachWindow(nullptr);
}

}  // namespace
}  // namespace qel
