// Error information, connection points, the class table and the registration file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "com/classtable.h"
#include "com/connection.h"
#include "com/errorinfo.h"
#include "com/registry.h"
#include "support/recording_sink.h"

namespace qel::com {
namespace {

using test::RecordingSink;

TEST(ErrorInfo, CurrentErrorIsHandedOutOnceAndThenCleared) {
  SetError(E_FAIL, IDispatch::kIID, u"Src", u"Broken.");
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  Bstr description;
  info->GetDescription(description.Out());
  EXPECT_EQ(description.view(), u"Broken.");
  ComPtr<IErrorInfo> again;
  EXPECT_EQ(GetErrorInfo(0, again.Out()), S_FALSE);
}

TEST(ErrorInfo, EachThreadHasItsOwnCurrentError) {
  SetError(E_FAIL, IDispatch::kIID, u"Main", u"Main thread error.");
  HRESULT seenOnOtherThread = S_OK;
  std::thread([&] {
    ComPtr<IErrorInfo> info;
    seenOnOtherThread = GetErrorInfo(0, info.Out());
  }).join();
  EXPECT_EQ(seenOnOtherThread, S_FALSE);
  SetErrorInfo(0, nullptr);
}

class Container final : public ComObject<Container, IConnectionPointContainer> {
 public:
  Container() : events(this, kEventsIid) {}
  static constexpr IID kEventsIid = MakeGuid("{3E1F0A52-6B7C-4D8E-9F01-23456789ABCD}");
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** p) override {
    return events.EnumConnectionPoints(p);
  }
  HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** p) override {
    return events.FindConnectionPoint(iid, p);
  }
  EventSource events;
};

class ConnectionPoints : public ::testing::Test {
 protected:
  ComPtr<Container> container = Container::Create();
  ComPtr<IConnectionPoint> point;
  void SetUp() override {
    ASSERT_EQ(container->FindConnectionPoint(Container::kEventsIid, point.Out()), S_OK);
  }
};

TEST_F(ConnectionPoints, UnknownInterfaceHasNoConnectionPoint) {
  ComPtr<IConnectionPoint> none;
  EXPECT_EQ(container->FindConnectionPoint(IDispatch::kIID, none.Out()), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPoints, EventsReachEverySinkInConnectionOrder) {
  std::vector<std::string> order;
  auto first = RecordingSink::Create();
  auto second = RecordingSink::Create();
  first->order = second->order = &order;
  first->tag = "first";
  second->tag = "second";
  uint32_t c1 = 0, c2 = 0;
  point->Advise(second.get(), &c2);  // connected first
  point->Advise(first.get(), &c1);
  Variant arg = Variant::I4(50);
  container->events.Fire(8, {static_cast<VARIANT*>(&arg), 1});
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  ASSERT_EQ(first->calls.size(), 1u);
  EXPECT_EQ(first->calls[0].args[0].lVal, 50);
}

TEST_F(ConnectionPoints, UnadvisedSinkHearsNothingMore) {
  auto sink = RecordingSink::Create();
  uint32_t cookie = 0;
  point->Advise(sink.get(), &cookie);
  ASSERT_EQ(point->Unadvise(cookie), S_OK);
  container->events.Fire(9, {});
  EXPECT_TRUE(sink->calls.empty());
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
}

TEST_F(ConnectionPoints, ArgumentsArriveReversedAsDispatchRequires) {
  auto sink = RecordingSink::Create();
  std::vector<int32_t> rawOrder;
  sink->onCall = [&](DISPID, DISPPARAMS* p) {
    for (uint32_t i = 0; i < p->cArgs; ++i)
      rawOrder.push_back(p->rgvarg[i].lVal);
  };
  uint32_t cookie = 0;
  point->Advise(sink.get(), &cookie);
  Variant args[2] = {Variant::I4(1), Variant::I4(2)};
  container->events.Fire(1, {static_cast<VARIANT*>(&args[0]), 2});
  EXPECT_EQ(rawOrder, (std::vector<int32_t>{2, 1}));
}

TEST_F(ConnectionPoints, SinkCanWriteAByReferenceCancel) {
  auto sink = RecordingSink::Create();
  sink->onCall = [](DISPID, DISPPARAMS* p) { *p->rgvarg[0].piVal = 1; };
  uint32_t cookie = 0;
  point->Advise(sink.get(), &cookie);
  int16_t cancel = 0;
  Variant ref;
  ref.vt = VT_I2 | VT_BYREF;
  ref.piVal = &cancel;
  container->events.Fire(10, {static_cast<VARIANT*>(&ref), 1});
  ref.vt = VT_EMPTY;
  EXPECT_EQ(cancel, 1);
}

TEST_F(ConnectionPoints, SinkMayDisconnectItselfWhileBeingCalled) {
  auto sink = RecordingSink::Create();
  uint32_t cookie = 0;
  sink->onCall = [&](DISPID, DISPPARAMS*) { point->Unadvise(cookie); };
  point->Advise(sink.get(), &cookie);
  container->events.Fire(9, {});
  container->events.Fire(9, {});
  EXPECT_EQ(sink->calls.size(), 1u);
}

HRESULT CreateNothing(REFIID, void**) {
  return E_OUTOFMEMORY;
}

TEST(ClassTable, ProgIdsResolveInEitherSpellingAndAnyCase) {
  const CLSID clsid = MakeGuid("{11111111-2222-3333-4444-555555555555}");
  ClassTable::Instance().Register({clsid, "Thing", "Lib.Thing.1", "Lib.Thing", "Thing Class",
                                   IDispatch::kIID, GUID_NULL, false, &CreateNothing});
  CLSID found{};
  ASSERT_EQ(CLSIDFromProgID(u"lib.thing", &found), S_OK);
  EXPECT_EQ(found, clsid);
  ASSERT_EQ(CLSIDFromProgID(u"Lib.Thing.1", &found), S_OK);
  EXPECT_EQ(found, clsid);
  EXPECT_EQ(CLSIDFromProgID(u"Lib.Other", &found), CO_E_CLASSSTRING);
  ClassTable::Instance().Unregister(clsid);
}

TEST(ClassTable, UnknownClassIsNotRegistered) {
  void* obj = nullptr;
  EXPECT_EQ(CoCreateInstance(MakeGuid("{99999999-2222-3333-4444-555555555555}"), nullptr,
                             CLSCTX_INPROC_SERVER, IUnknown::kIID, &obj),
            REGDB_E_CLASSNOTREG);
}

class Registry : public ::testing::Test {
 protected:
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qel-registry-test-" + std::to_string(::getpid()));
  void TearDown() override { std::filesystem::remove_all(dir); }
};

TEST_F(Registry, ValuesSurviveASaveAndLoad) {
  RegistryFile reg(dir / "r.reg");
  reg.SetValue("HKEY_CLASSES_ROOT\\A\\B", "", "quoted \"text\" with \\ backslash");
  reg.SetValue("HKEY_CLASSES_ROOT\\A\\B", "ThreadingModel", "Apartment");
  ASSERT_TRUE(reg.Save());
  RegistryFile back(dir / "r.reg");
  ASSERT_TRUE(back.Load());
  EXPECT_EQ(back.GetValue("hkey_classes_root\\a\\b", ""), "quoted \"text\" with \\ backslash");
  EXPECT_EQ(back.GetValue("HKEY_CLASSES_ROOT\\A\\B", "threadingmodel"), "Apartment");
}

TEST_F(Registry, DeletingAKeyRemovesItsSubkeysButNotItsSiblings) {
  RegistryFile reg(dir / "r.reg");
  reg.SetValue("R\\Key", "", "1");
  reg.SetValue("R\\Key\\Sub", "", "2");
  reg.SetValue("R\\KeyOther", "", "3");
  reg.DeleteTree("R\\Key");
  EXPECT_FALSE(reg.HasKey("R\\Key\\Sub"));
  EXPECT_TRUE(reg.HasKey("R\\KeyOther"));
}

TEST_F(Registry, SaveIntoAnUnwritablePlaceFailsAndLeavesNoFile) {
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "file") << "x";
  RegistryFile reg(dir / "file" / "r.reg");  // a folder under a plain file cannot exist
  reg.SetValue("K", "", "v");
  EXPECT_FALSE(reg.Save());
}

}  // namespace
}  // namespace qel::com
