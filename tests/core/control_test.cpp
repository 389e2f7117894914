// The control as a host sees it: creation, its sub-objects, late binding through
// the same members as early binding, events to connected sinks.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "control_support.h"
#include "core/surface.h"
#include "external/plugins.h"
#include "support/recording_sink.h"

namespace qel {
namespace {

using namespace com;
using test::Call;
using test::RecordingSink;

TEST(Control, CreatedByEitherProgIdSpelling) {
  for (const char16_t* progId :
       {u"QelAudioEditor4.AudioEditor", u"QelAudioEditor4.AudioEditor.1"}) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_AudioEditor);
  }
}

TEST(Control, EveryClassIsRegisteredAndCreatable) {
  for (const ClassDescription& c : kSurfaceClasses) {
    auto info = ClassTable::Instance().Find(c.clsid);
    ASSERT_TRUE(info.has_value()) << c.name;
    ComPtr<IDispatch> obj;
    EXPECT_EQ(
        CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, c.defaultInterface, obj.OutVoid()),
        S_OK)
        << c.name;
  }
}

TEST(Control, NamesItsEventInterfaceAsDefaultSource) {
  auto editor = test::NewControl();
  auto info = editor.As<IProvideClassInfo2>();
  ASSERT_TRUE(info);
  GUID source{};
  ASSERT_EQ(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_EQ(source, IID__IAudioEditorEvents);
  EXPECT_EQ(ClassTable::Instance().Find(CLSID_AudioEditor)->defaultSource, source);
}

TEST(Control, SubObjectsAnswerTheirInterfacesAndAScalePutReplacesTheHeldOne) {
  auto editor = test::NewControl();
  ComPtr<IEditorPosition> position;
  ASSERT_EQ(editor->get_Position(position.Out()), S_OK);
  EXPECT_TRUE(position);
  ComPtr<IEditorScale> scaleX, scaleY;
  editor->get_ScaleX(scaleX.Out());
  editor->get_ScaleY(scaleY.Out());
  EXPECT_NE(scaleX.get(), scaleY.get());
  ComPtr<IEditorScale> replacement;
  ASSERT_EQ(CoCreateInstance(CLSID_EditorScale, nullptr, CLSCTX_INPROC_SERVER, IEditorScale::kIID,
                             replacement.OutVoid()),
            S_OK);
  ASSERT_EQ(editor->put_ScaleX(replacement.get()), S_OK);  // a put replaces the held object
  editor->get_ScaleX(scaleX.Out());
  EXPECT_EQ(scaleX.get(), replacement.get());
}

TEST(Control, LateAndEarlyBoundAccessReadWhatTheOtherWrote) {
  auto editor = test::NewControl();
  ASSERT_EQ(editor->put_PreviewMode(3), S_OK);
  Variant got;
  ASSERT_EQ(Call(editor.get(), u"previewmode", DISPATCH_PROPERTYGET, {}, &got), S_OK);
  EXPECT_EQ(got.lVal, 3);
  ASSERT_EQ(Call(editor.get(), u"MouseEventsEnabled", DISPATCH_PROPERTYPUT, {Variant::Bool(false)}),
            S_OK);
  VARIANT_BOOL value = VARIANT_TRUE;
  editor->get_MouseEventsEnabled(&value);
  EXPECT_EQ(value, VARIANT_FALSE);
}

TEST(Control, SubObjectComesBackLateBoundAsADispatchObject) {
  auto editor = test::NewControl();
  Variant got;
  ASSERT_EQ(Call(editor.get(), u"Markers", DISPATCH_PROPERTYGET, {}, &got), S_OK);
  ASSERT_EQ(got.vt, VT_DISPATCH);
  ComPtr<IEditorMarkers> markers;
  EXPECT_EQ(got.pdispVal->QueryInterface(IEditorMarkers::kIID, markers.OutVoid()), S_OK);
}

TEST(Control, FailingSubObjectMemberRaisesItsCodeThroughDispatch) {
  auto editor = test::NewControl();
  ComPtr<IEditorDXTransform> plugins;
  editor->get_DXTransform(plugins.Out());
  EXCEPINFO excep{};
  // No plug-in is listed while the host is off: every number is refused.
  EXPECT_EQ(
      Call(plugins.get(), u"FilterNum", DISPATCH_PROPERTYPUT, {Variant::I4(0)}, nullptr, &excep),
      DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, MakeHResult(0x80040309));
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
}

TEST(Control, EnablingAPluginHostThatIsNotRegisteredShowsItAndStaysOff) {
  for (const auto& [clsid, name, message] :
       {std::tuple{CLSID_AudioDXTransform, u"DXTransformEnabled", "QelAudioDXTransform3"},
        std::tuple{CLSID_AudioVSTTransform, u"VSTTransformEnabled", "QelAudioVSTTransform3"}}) {
    ComPtr<IUnknown> warmUp;  // the module is loaded before its class is hidden
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IUnknown::kIID, warmUp.OutVoid());
    const auto saved = ClassTable::Instance().Find(clsid);
    ASSERT_TRUE(saved.has_value());
    ClassTable::Instance().Unregister(clsid);
    auto editor = test::NewControl();
    testing::internal::CaptureStderr();
    const HRESULT put = Call(editor.get(), name, DISPATCH_PROPERTYPUT, {Variant::Bool(true)});
    const std::string shown = testing::internal::GetCapturedStderr();
    ClassTable::Instance().Register(*saved);
    EXPECT_EQ(put, S_OK);
    EXPECT_NE(shown.find(std::string("QelAudioEditor: ") + message + " is not registered."),
              std::string::npos)
        << shown;
    Variant flag;
    ASSERT_EQ(Call(editor.get(), name, DISPATCH_PROPERTYGET, {}, &flag), S_OK);
    EXPECT_EQ(flag.boolVal, VARIANT_FALSE);
  }
}

TEST(Control, AdditionalParamReadLeavesTheValueAsPassed) {
  auto editor = test::NewControl();
  Variant value = Variant::I4(77);
  ASSERT_EQ(editor->GetAdditionalParam(Bstr(u"Hz").get(), &value), S_OK);
  EXPECT_EQ(value.vt, VT_I4);
  EXPECT_EQ(value.lVal, 77);
}

class ControlEvents : public ::testing::Test {
 protected:
  ComPtr<IAudioEditor> editor = test::NewControl();
  ComPtr<IConnectionPoint> point;
  void SetUp() override {
    auto container = editor.As<IConnectionPointContainer>();
    ASSERT_EQ(container->FindConnectionPoint(IID__IAudioEditorEvents, point.Out()), S_OK);
  }
  ComPtr<RecordingSink> Connect() {
    auto sink = RecordingSink::Create();
    uint32_t cookie = 0;
    EXPECT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    return sink;
  }
};

TEST_F(ControlEvents, TimerWithNothingQueuedFiresNothingAndWorksWithNoSink) {
  EXPECT_EQ(editor->_ParsingFile(), S_OK);
  EXPECT_EQ(editor->_OnTimer(), S_OK);  // the queued event reaches no one
  auto sink = Connect();
  ASSERT_EQ(editor->_OnTimer(), S_OK);
  EXPECT_TRUE(sink->calls.empty());
}

TEST_F(ControlEvents, ParsingFileQueuesOneEndOperationForTheTimer) {
  auto first = Connect();
  auto second = Connect();
  ASSERT_EQ(editor->_ParsingFile(), S_OK);
  EXPECT_TRUE(first->calls.empty());  // nothing until the host's timer call
  editor->_OnTimer();
  editor->_OnTimer();
  ASSERT_EQ(first->calls.size(), 1u);
  EXPECT_EQ(first->calls[0].id, static_cast<DISPID>(AudioEditorEventsId::EndOperation));
  EXPECT_EQ(second->calls.size(), 1u);
}

}  // namespace
}  // namespace qel
