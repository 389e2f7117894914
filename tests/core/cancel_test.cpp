// Stop from a progress handler with "StopDiscardsEffects" set: an effect
// cancelled part-way leaves the document, its undo and redo lists and the
// temporary folder as they were.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "com/classtable.h"
#include "core/audio_editor.h"
#include "support/recording_sink.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel {
namespace {

using namespace com;

constexpr int32_t kRate = 8000;
constexpr int64_t kFrames = 4 * kRate;  // four one-second blocks

class Cancel : public ::testing::Test {
 protected:
  test::ScratchDir locks;
  test::ScratchDir temp;
  ComPtr<IAudioEditor> editor;
  ComPtr<test::RecordingSink> sink = test::RecordingSink::Create();
  ComPtr<IConnectionPoint> point;
  uint32_t cookie = 0;
  test::Samples original = test::Ramp(kFrames, 1);

  void SetUp() override {
    // Its own lock folder: controls of other tests are no "other instance".
    setenv("QEL_LOCK_DIR", locks.Path().c_str(), 1);
    ASSERT_EQ(CoCreateInstance(CLSID_AudioEditor, nullptr, CLSCTX_INPROC_SERVER, IAudioEditor::kIID,
                               editor.OutVoid()),
              S_OK);
    editor->put_TempDirectory(Bstr::FromUtf8(temp.Path()).get());
    const std::string file = test::WriteStore(temp.Path(), {kRate, 1, 16, 4}, original);
    ASSERT_FALSE(file.empty());
    ASSERT_EQ(editor->OpenFileFromTmp(Bstr::FromUtf8(file).get(), 0, 0, 0, 0), S_OK);
    auto container = editor.As<IConnectionPointContainer>();
    ASSERT_EQ(container->FindConnectionPoint(IID__IAudioEditorEvents, point.Out()), S_OK);
    ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
  }
  void TearDown() override {
    if (point) point->Unadvise(cookie);
    editor.Reset();
    unsetenv("QEL_LOCK_DIR");
  }

  void Amplify(double percent) {
    ComPtr<IEditorPosition> position;
    editor->get_Position(position.Out());
    position->put_Selected(VARIANT_TRUE);
    position->put_StartSelect(0);
    position->put_EndSelect(kFrames);
    ComPtr<IEditorTransform> transform;
    editor->get_Transform(transform.Out());
    transform->Amplify(percent);
  }
  // Stops the next operation at its second block, with stops set to discard
  // a stopped effect or to keep what it processed.
  void StopAtSecondBlock(bool discard) {
    Variant flag;
    flag.vt = VT_BOOL;
    flag.boolVal = discard ? VARIANT_TRUE : VARIANT_FALSE;
    editor->SetAdditionalParam(Bstr::FromUtf8("StopDiscardsEffects").get(), flag);
    int blocks = 0;
    IAudioEditor* control = editor.get();
    sink->onCall = [=](DISPID id, DISPPARAMS*) mutable {
      if (id == static_cast<DISPID>(AudioEditorEventsId::BlockOperation) && ++blocks == 2)
        control->Stop();
    };
  }
  std::vector<int32_t> List(bool redo) {
    SafeArray list;
    redo ? editor->get_RedoList(list.Out()) : editor->get_UndoList(list.Out());
    std::vector<int32_t> out;
    if (!list.get()) return out;
    auto* data = static_cast<int32_t*>(list.get()->pvData);
    out.assign(data, data + SafeArrayElementCount(list.get()));
    return out;
  }
  test::Samples Current() {
    return test::CurrentSamples(static_cast<CAudioEditor*>(editor.get())->Model());
  }
};

TEST_F(Cancel, ACancelledEffectLeavesTheSamplesAndTakesNoStep) {
  StopAtSecondBlock(true);
  Amplify(200);
  int32_t status = -1;
  editor->get_Status(&status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(List(false).empty());
  EXPECT_TRUE(List(true).empty());
  EXPECT_EQ(Current(), original);
}

TEST_F(Cancel, ACancelledEffectKeepsTheRedoListItFound) {
  Amplify(200);
  editor->Undo(1);
  ASSERT_EQ(List(true), std::vector<int32_t>{opcode::kAmplify});
  StopAtSecondBlock(true);
  Amplify(50);
  EXPECT_EQ(List(true), std::vector<int32_t>{opcode::kAmplify});
  EXPECT_TRUE(List(false).empty());
}

TEST_F(Cancel, ACancelledEffectLeavesNoFileBehind) {
  const std::vector<std::string> before = test::FolderListing(temp.Path());
  StopAtSecondBlock(true);
  Amplify(200);
  EXPECT_EQ(test::FolderListing(temp.Path()), before);
}

TEST_F(Cancel, ByDefaultAStoppedEffectKeepsTheProcessedBlocksAsAStep) {
  // The contrast that makes the setting worth having.
  StopAtSecondBlock(false);
  Amplify(200);
  EXPECT_EQ(List(false), std::vector<int32_t>{opcode::kAmplify});
}

}  // namespace
}  // namespace qel
