// Who owns what: sub-objects a host keeps after releasing the control, a host
// that releases the control from an event handler, and the message queue the
// control works through.
#include <gtest/gtest.h>

#include <thread>

#include "control_support.h"
#include "support/recording_sink.h"
#include "support/scratch_dir.h"

namespace qel {
namespace {

using namespace com;
using test::Impl;
using test::RecordingSink;
using test::ScratchDir;

constexpr HRESULT kInvalidOperation = MakeHResult(0x80040307);

class Ownership : public ::testing::Test {
 protected:
  ScratchDir locks;
  ScratchDir temp;
  ComPtr<IAudioEditor> editor;
  void SetUp() override {
    setenv("QEL_LOCK_DIR", locks.Path().c_str(), 1);
    editor = test::NewControl();
    ASSERT_TRUE(editor);
    ASSERT_EQ(editor->put_TempDirectory(Bstr::FromUtf8(temp.Path() + "/").get()), S_OK);
    ASSERT_EQ(editor->New(8000, 1, 16, 0), S_OK);
  }
  void TearDown() override { unsetenv("QEL_LOCK_DIR"); }
};

// These run under AddressSanitizer in CI: a sub-object that still reached the
// released control would read freed memory there.
TEST_F(Ownership, AScaleKeptAfterTheControlIsReleasedStillStoresItsValues) {
  ComPtr<IEditorScale> scale;
  ASSERT_EQ(editor->get_ScaleX(scale.Out()), S_OK);
  editor.Reset();
  EXPECT_EQ(scale->put_Visible(VARIANT_FALSE), S_OK);
  EXPECT_EQ(scale->put_Type(2), S_OK);
  int32_t type = 0;
  EXPECT_EQ(scale->get_Type(&type), S_OK);
  EXPECT_EQ(type, 2);
}

TEST_F(Ownership, KeptColorsAndVisualizationStillStoreTheirValues) {
  ComPtr<IEditorColors> colors;
  ComPtr<IEditorVisualization> visualization;
  editor->get_Colors(colors.Out());
  editor->get_Visualization(visualization.Out());
  editor.Reset();
  EXPECT_EQ(colors->put_Background(0x123456), S_OK);
  EXPECT_EQ(visualization->put_ViewType(1), S_OK);
  EXPECT_EQ(visualization->put_MarkerType(2), S_OK);
}

TEST_F(Ownership, AKeptPositionAnswersAnErrorOnceTheControlIsGone) {
  ComPtr<IEditorPosition> position;
  editor->get_Position(position.Out());
  editor.Reset();
  int64_t value = -1;
  EXPECT_EQ(position->put_StartSelect(10), kInvalidOperation);
  EXPECT_EQ(position->get_TotalSamples(&value), kInvalidOperation);
  EXPECT_EQ(value, 0);
}

TEST_F(Ownership, AKeptFileInfoDescribesNoDocumentOnceTheControlIsGone) {
  ComPtr<IEditorFileInfo> info;
  editor->get_FileInfo(info.Out());
  editor.Reset();
  int32_t rate = -1;
  Bstr name;
  EXPECT_EQ(info->get_SampleRate(&rate), S_OK);
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(info->get_TempFileName(name.Out()), S_OK);
  EXPECT_EQ(name.get(), nullptr);
}

TEST_F(Ownership, ReleasingTheControlFromAnEventHandlerLetsTheOperationFinish) {
  auto container = editor.As<IConnectionPointContainer>();
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(container->FindConnectionPoint(IID__IAudioEditorEvents, point.Out()), S_OK);
  auto sink = RecordingSink::Create();
  uint32_t cookie = 0;
  ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
  point.Reset();
  container.Reset();
  // The host lets go of its last reference in the first event the zoom fires.
  IAudioEditor* raw = editor.Detach();
  sink->onCall = [&](DISPID, DISPPARAMS*) {
    if (raw) std::exchange(raw, nullptr)->Release();
  };
  ComPtr<IEditorPosition> position;
  raw->get_Position(position.Out());
  EXPECT_EQ(position->put_EndSelect(0), S_OK);  // fires ChangePosition
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(position->put_EndSelect(0), kInvalidOperation);
}

TEST_F(Ownership, TheControlRunsPostedWorkOnTheThreadThatMadeIt) {
  platform::MessageQueue& queue = Impl(editor).Queue();
  EXPECT_TRUE(queue.IsOwnerThread());
  std::thread::id ranOn;
  std::thread poster([&] { queue.Post([&] { ranOn = std::this_thread::get_id(); }); });
  poster.join();
  EXPECT_TRUE(platform::RunMessageLoop(
      queue, [&] { return ranOn != std::thread::id{}; }, std::chrono::milliseconds(2000)));
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(Ownership, AHostsOwnQueueReplacesTheControlsOwn) {
  auto queue = std::make_shared<platform::MessageQueue>();
  platform::Platform services = platform::MakeHeadlessPlatform();
  services.queue = queue;
  Impl(editor).SetPlatform(services);
  EXPECT_EQ(&Impl(editor).Queue(), queue.get());
}

}  // namespace
}  // namespace qel
