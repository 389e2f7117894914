// The control's own state and lifecycle: defaults, the temporary directory and
// the stale-file purge, the undo history as the host sees it, missing
// components, and what Close and release leave behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "control_support.h"
#include "support/scratch_dir.h"

namespace qel {
namespace {

using namespace com;
using test::Impl;
using test::ScratchDir;
namespace fs = std::filesystem;

std::string TempDirectoryOf(const ComPtr<IAudioEditor>& editor) {
  Bstr dir;
  editor->get_TempDirectory(dir.Out());
  return dir.utf8();
}

// Each test gets its own lock folder, so controls made by other tests running
// at the same time on this machine do not count as "another instance".
class Lifecycle : public ::testing::Test {
 protected:
  ScratchDir locks;
  ScratchDir temp;
  void SetUp() override { setenv("QEL_LOCK_DIR", locks.Path().c_str(), 1); }
  void TearDown() override { unsetenv("QEL_LOCK_DIR"); }
  void Touch(const std::string& name) { std::ofstream(temp / name) << "x"; }
  bool Exists(const std::string& name) { return fs::exists(temp / name); }
};

TEST_F(Lifecycle, NewControlIsIdleWithTheDefaultHistoryCapacityWhichStaysInOneToTenThousand) {
  auto editor = test::NewControl();
  int32_t status = -1, count = 0;
  editor->get_Status(&status);
  editor->get_UndoRedoCount(&count);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(count, 999);
  editor->put_UndoRedoCount(0);
  editor->get_UndoRedoCount(&count);
  EXPECT_EQ(count, 1);
  editor->put_UndoRedoCount(20000);
  editor->get_UndoRedoCount(&count);
  EXPECT_EQ(count, 10000);
}

TEST_F(Lifecycle, PreviewModeOffIsRefusedWhileAnOperationRuns) {
  auto editor = test::NewControl();
  editor->put_PreviewMode(2);
  Impl(editor).Model().SetStatus(status::kPlaying);
  editor->put_PreviewMode(0);
  int32_t mode = 0;
  editor->get_PreviewMode(&mode);
  EXPECT_EQ(mode, 2);
  Impl(editor).Model().SetStatus(status::kIdle);
}

TEST_F(Lifecycle, TemporaryDirectoryStartsAsTheSystemOneAndWithoutTrailingSlashDropsTheLast) {
  auto editor = test::NewControl();
  EXPECT_EQ(TempDirectoryOf(editor), platform::WithTrailingSlash(platform::SystemTempDirectory()));
  fs::create_directory(temp / "sub");
  ASSERT_EQ(editor->put_TempDirectory(Bstr::FromUtf8(temp / "sub").get()), S_OK);
  EXPECT_EQ(TempDirectoryOf(editor), temp.Path());
  ASSERT_EQ(editor->put_TempDirectory(Bstr::FromUtf8(temp / "sub/").get()), S_OK);
  EXPECT_EQ(TempDirectoryOf(editor), temp / "sub/");
}

TEST_F(Lifecycle, TemporaryDirectoryThatCannotBeEnteredIsAnInvalidArgument) {
  auto editor = test::NewControl();
  std::string before = TempDirectoryOf(editor);
  EXPECT_EQ(editor->put_TempDirectory(Bstr::FromUtf8(temp / "missing/").get()),
            MakeHResult(0x80040308));
  EXPECT_EQ(TempDirectoryOf(editor), before);
}

TEST_F(Lifecycle, FirstControlAlivePurgesOnlyStaleSampleStoreFiles) {
  Touch("qel1A2B.qelf");
  Touch("qel1A2C.tmp");  // an overview cache file
  Touch("QelClipBoard.wav");
  Touch("other.qelf");
  auto editor = test::NewControl();
  editor->put_TempDirectory(Bstr::FromUtf8(temp.Path()).get());
  EXPECT_FALSE(Exists("qel1A2B.qelf"));
  EXPECT_TRUE(Exists("qel1A2C.tmp"));
  EXPECT_TRUE(Exists("QelClipBoard.wav"));
  EXPECT_TRUE(Exists("other.qelf"));
}

TEST_F(Lifecycle, ASecondControlAlivePurgesNothingUntilTheOtherInstanceIsGone) {
  auto first = test::NewControl();
  Touch("qel99.qelf");
  auto second = test::NewControl();
  second->put_TempDirectory(Bstr::FromUtf8(temp.Path()).get());
  EXPECT_TRUE(Exists("qel99.qelf"));
  first.Reset();
  second->put_TempDirectory(Bstr::FromUtf8(temp.Path()).get());
  EXPECT_FALSE(Exists("qel99.qelf"));
}

TEST_F(Lifecycle, EmptyClipboardSlotClearsTheClipboard) {
  auto editor = test::NewControl();
  platform::Clipboard& clipboard = *Impl(editor).Platform().clipboard;
  clipboard.Open();
  clipboard.SetData(platform::kClipboardWave, {1, 2, 3});
  clipboard.Close();
  EXPECT_EQ(editor->EmptyClipboard(), S_OK);
  EXPECT_FALSE(clipboard.HasFormat(platform::kClipboardWave));
}

// A control with a history made by hand: steps with real files in temp.
class History : public Lifecycle {
 protected:
  ComPtr<IAudioEditor> editor = test::NewControl();
  int next = 0;
  void TakeStep(int32_t code, document::DocumentFormat format = {44100, 2, 16, 3}) {
    document::HistoryStep step;
    step.sampleFile = temp / ("qel" + std::to_string(next++) + ".qelf");
    std::ofstream(step.sampleFile) << "pcm";
    step.format = format;
    step.length = 4 * next;
    Impl(editor).Model().history.TakeStep(std::move(step), code);
  }
  std::vector<int32_t> List(bool undo) {
    SafeArray list;
    undo ? editor->get_UndoList(list.Out()) : editor->get_RedoList(list.Out());
    std::vector<int32_t> out;
    if (!list.get()) return out;
    int32_t lo = -1;
    SafeArrayGetLBound(list.get(), 1, &lo);
    EXPECT_EQ(lo, 0);
    auto* data = static_cast<int32_t*>(list.get()->pvData);
    out.assign(data, data + SafeArrayElementCount(list.get()));
    return out;
  }
};

TEST_F(History, NoDocumentHasNullListsAndNothingEnabled) {
  SafeArray list;
  editor->get_UndoList(list.Out());
  EXPECT_EQ(list.get(), nullptr);
  VARIANT_BOOL undo = -1, redo = -1;
  editor->get_UndoEnabled(&undo);
  editor->get_RedoEnabled(&redo);
  EXPECT_EQ(undo, 0);
  EXPECT_EQ(redo, 0);
}

TEST_F(History, ListsNameTheOperationsMostRecentFirstAndUndoIsEnabledAsOne) {
  TakeStep(-1);
  TakeStep(opcode::kAmplify);
  TakeStep(opcode::kCut);
  EXPECT_EQ(List(true), (std::vector<int32_t>{86, 43}));
  VARIANT_BOOL enabled = 0;
  editor->get_UndoEnabled(&enabled);
  EXPECT_EQ(enabled, 1);  // true reported as one
  editor->Undo(1);
  EXPECT_EQ(List(true), (std::vector<int32_t>{43}));
  EXPECT_EQ(List(false), (std::vector<int32_t>{86}));
}

TEST_F(History, UndoBringsBackTheFormatOfTheEarlierState) {
  TakeStep(-1, {22050, 1, 8, 0});
  TakeStep(opcode::kConvertSampleType, {48000, 6, 24, 0x3F});
  editor->Undo(1);
  EXPECT_EQ(Impl(editor).Model().format, (document::DocumentFormat{22050, 1, 8, 0}));
  editor->Redo(1);
  EXPECT_EQ(Impl(editor).Model().format, (document::DocumentFormat{48000, 6, 24, 0x3F}));
  EXPECT_EQ(Impl(editor).Model().ChannelOrder()[5], 0x20u);  // the sixth speaker, bit 5
}

TEST_F(History, UndoWhileAnOperationRunsDoesNothing) {
  TakeStep(-1);
  TakeStep(opcode::kAmplify);
  Impl(editor).Model().SetStatus(status::kPlaying);
  editor->Undo(1);
  Impl(editor).Model().SetStatus(status::kIdle);
  EXPECT_EQ(List(true), (std::vector<int32_t>{43}));
}

TEST_F(History, CloseDeletesTheDocumentFilesAndResetsTheFormat) {
  TakeStep(-1);
  TakeStep(opcode::kAmplify);
  ASSERT_EQ(editor->Close(), S_OK);
  EXPECT_EQ(temp.EntryCount(), 0u);
  EXPECT_EQ(Impl(editor).Model().format, (document::DocumentFormat{44100, 2, 16, 3}));
}

TEST_F(History, ReleasingTheControlLeavesNoFileOfItsOwn) {
  TakeStep(-1);
  EXPECT_EQ(TempDirectoryOf(editor), temp.Path());  // the folder of the current file
  TakeStep(opcode::kAmplify);
  editor.Reset();
  EXPECT_EQ(temp.EntryCount(), 0u);
}

// Creation with one of the components missing from the class table.
class MissingComponent : public Lifecycle {
 protected:
  void ExpectCreationFailsShowing(REFCLSID clsid, const std::string& message) {
    ComPtr<IUnknown> warmUp;  // make sure the module is loaded before we hide the class
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IUnknown::kIID, warmUp.OutVoid());
    auto saved = ClassTable::Instance().Find(clsid);
    ASSERT_TRUE(saved.has_value());
    ClassTable::Instance().Unregister(clsid);
    testing::internal::CaptureStderr();
    HRESULT hr = S_OK;
    auto editor = test::NewControl(&hr);
    std::string shown = testing::internal::GetCapturedStderr();
    ClassTable::Instance().Register(*saved);
    EXPECT_EQ(hr, MakeHResult(0x80040309));
    EXPECT_FALSE(editor);
    EXPECT_NE(shown.find("QelAudioEditor: " + message), std::string::npos) << shown;
  }
};

TEST_F(MissingComponent, AMediaFileOrEffectComponentShowsItsMessageAndFailsCreation) {
  ExpectCreationFailsShowing(CLSID_VideoFile, "QelVideoFile3 is not registered.");
  ExpectCreationFailsShowing(CLSID_AudioData, "QelAudioTransform is not registered.");
}

}  // namespace
}  // namespace qel
