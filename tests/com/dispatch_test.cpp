// Late binding through a table: argument order, named arguments, coercion,
// property puts, indexed properties, out-parameters and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

#include "com/dispatch.h"

namespace qel::com {
namespace {

struct ITestSurface : IDispatch {
  using Base = IDispatch;
  static constexpr IID kIID = MakeGuid("{0B9F6E41-3C4D-4E0A-9C43-7D8E2A1F5B60}");
  static const DispTable& DispatchTable();
  virtual HRESULT Mix(double select, double paste) = 0;
  virtual HRESULT get_Rate(int32_t* value) = 0;
  virtual HRESULT put_Rate(int32_t value) = 0;
  virtual HRESULT get_Flag(VARIANT_BOOL* value) = 0;
  virtual HRESULT get_Item(int32_t index, VARIANT* value) = 0;
  virtual HRESULT put_Item(int32_t index, VARIANT value) = 0;
  virtual HRESULT Describe(int32_t code, BSTR* text) = 0;
  virtual HRESULT Sum(SAFEARRAY** values, double* total) = 0;
  virtual HRESULT get_Codes(SAFEARRAY** codes) = 0;
  virtual HRESULT Grow(int32_t by, tagRECT* rect) = 0;
  virtual HRESULT Fail() = 0;

 protected:
  ~ITestSurface() = default;
};

constexpr ParamInfo In(const char16_t* name, VARTYPE vt) {
  return {name, vt, ParamDir::In};
}
constexpr ParamInfo Ret(VARTYPE vt) {
  return {u"pVal", vt, ParamDir::Retval};
}

// One row of the table, its invoker and slot probe taken from the member.
template <auto Member>
DispEntry Entry(DISPID id, const char16_t* name, MemberKind kind, int slot,
                std::initializer_list<ParamInfo> params = {}) {
  DispEntry e{id, name, kind, slot, 0, {}, &InvokeMember<Member>, &AbiSlot<Member>};
  e.paramCount = static_cast<uint8_t>(params.size());
  std::copy(params.begin(), params.end(), e.params.begin());
  return e;
}

using S = ITestSurface;
using enum MemberKind;
const DispEntry kEntries[] = {
    Entry<&S::Mix>(1, u"Mix", Method, 7, {In(u"select", VT_R8), In(u"paste", VT_R8)}),
    Entry<&S::get_Rate>(2, u"Rate", PropGet, 8, {Ret(VT_I4 | VT_BYREF)}),
    Entry<&S::put_Rate>(2, u"Rate", PropPut, 9, {In(u"newVal", VT_I4)}),
    Entry<&S::get_Flag>(3, u"Flag", PropGet, 10, {Ret(VT_BOOL | VT_BYREF)}),
    Entry<&S::get_Item>(4, u"Item", PropGet, 11, {In(u"index", VT_I4), Ret(VT_VARIANT | VT_BYREF)}),
    Entry<&S::put_Item>(4, u"Item", PropPut, 12, {In(u"index", VT_I4), In(u"newVal", VT_VARIANT)}),
    Entry<&S::Describe>(5, u"Describe", Method, 13,
                        {In(u"code", VT_I4), {u"text", VT_BSTR | VT_BYREF, ParamDir::Out}}),
    Entry<&S::Sum>(
        6, u"Sum", Method, 14,
        {In(u"values", VT_ARRAY | VT_R8), {u"total", VT_R8 | VT_BYREF, ParamDir::Retval}}),
    Entry<&S::get_Codes>(7, u"Codes", PropGet, 15, {Ret(VT_ARRAY | VT_I4)}),
    Entry<&S::Grow>(8, u"Grow", Method, 16,
                    {In(u"by", VT_I4), {u"rect", VT_USERDEFINED | VT_BYREF, ParamDir::InOut}}),
    Entry<&S::Fail>(9, u"Fail", Method, 17),
};
const DispTable kTable{ITestSurface::kIID, u"ITestSurface", kEntries};
const DispTable& ITestSurface::DispatchTable() {
  return kTable;
}

class TestObject final : public DispatchObject<TestObject, ITestSurface> {
 public:
  double lastSelect = 0, lastPaste = 0;
  int32_t rate = 8000;
  Variant items[3];

  HRESULT Mix(double select, double paste) override {
    lastSelect = select;
    lastPaste = paste;
    return S_OK;
  }
  HRESULT get_Rate(int32_t* v) override {
    *v = rate;
    return S_OK;
  }
  HRESULT put_Rate(int32_t v) override {
    rate = v;
    return S_OK;
  }
  HRESULT get_Flag(VARIANT_BOOL* v) override {
    *v = 1;  // some getters report true as 1: the caller must see 1, not -1
    return S_OK;
  }
  HRESULT get_Item(int32_t i, VARIANT* v) override {
    if (i < 0 || i >= 3) return DISP_E_BADINDEX;
    return VariantCopy(v, &items[i]);
  }
  HRESULT put_Item(int32_t i, VARIANT v) override {
    if (i < 0 || i >= 3) return DISP_E_BADINDEX;
    return VariantCopy(&items[i], &v);
  }
  HRESULT Describe(int32_t code, BSTR* text) override {
    *text = SysAllocString(code == 1 ? u"one" : u"other");
    return S_OK;
  }
  HRESULT Sum(SAFEARRAY** values, double* total) override {
    *total = 0;
    auto* data = static_cast<double*>((*values)->pvData);
    for (uint64_t i = 0; i < SafeArrayElementCount(*values); ++i)
      *total += data[i];
    return S_OK;
  }
  HRESULT get_Codes(SAFEARRAY** codes) override {
    *codes = MakeLongArray({86, 43});
    return S_OK;
  }
  HRESULT Grow(int32_t by, tagRECT* rect) override {
    if (rect) rect->right += by;
    return S_OK;
  }
  HRESULT Fail() override {
    return SetError(MakeHResult(0x80040308), kIID, u"Test.Source", u"Invalid argument.");
  }
};

class Dispatch : public ::testing::Test {
 protected:
  ComPtr<TestObject> obj = TestObject::Create();

  DISPID Id(const char16_t* name) {
    OLECHAR* names[] = {const_cast<OLECHAR*>(name)};
    DISPID id = -99;
    obj->GetIDsOfNames(GUID_NULL, names, 1, 0, &id);
    return id;
  }
  // Arguments in declaration order; reversed here as callers must.
  HRESULT Call(DISPID id, uint16_t flags, std::vector<Variant> args, Variant* result = nullptr,
               std::vector<DISPID> named = {}, EXCEPINFO* excep = nullptr,
               uint32_t* argErr = nullptr) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
      reversed.push_back(*it);
    DISPPARAMS p{reversed.data(), named.data(), static_cast<uint32_t>(reversed.size()),
                 static_cast<uint32_t>(named.size())};
    Variant ignored;
    return obj->Invoke(id, GUID_NULL, 0, flags, &p, result ? result : &ignored, excep, argErr);
  }
};

TEST_F(Dispatch,
       NamesAndParameterNamesResolveWithoutRegardToCaseAndUnknownOnesAreReportedAsUnknown) {
  EXPECT_EQ(Id(u"mIX"), 1);
  EXPECT_EQ(Id(u"RATE"), 2);
  OLECHAR* names[] = {const_cast<OLECHAR*>(u"Nope")};
  DISPID id = 0;
  EXPECT_EQ(obj->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
  OLECHAR* withParameter[] = {const_cast<OLECHAR*>(u"Mix"), const_cast<OLECHAR*>(u"PASTE")};
  DISPID ids[2] = {};
  ASSERT_EQ(obj->GetIDsOfNames(GUID_NULL, withParameter, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[1], 1);  // a parameter name resolves to its position
}

TEST_F(Dispatch, ArgumentsArriveInDeclarationOrderCoercedToTheDeclaredType) {
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Variant::R8(0.25), Variant::R8(0.75)}), S_OK);
  EXPECT_EQ(obj->lastSelect, 0.25);
  EXPECT_EQ(obj->lastPaste, 0.75);
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Variant::Str(u"1.5"), Variant::I4(2)}), S_OK);
  EXPECT_EQ(obj->lastSelect, 1.5);
  EXPECT_EQ(obj->lastPaste, 2.0);
}

TEST_F(Dispatch, NamedArgumentsGoToTheNamedParameter) {
  // paste named, select positional
  ASSERT_EQ(Call(1, DISPATCH_METHOD, {Variant::R8(0.5), Variant::R8(0.125)}, nullptr, {1}), S_OK);
  // rgvarg[0] (the last in declaration order here) is the named one.
  EXPECT_EQ(obj->lastPaste, 0.125);
  EXPECT_EQ(obj->lastSelect, 0.5);
}

TEST_F(Dispatch, UnconvertibleArgumentIsATypeMismatchNamingTheArgument) {
  uint32_t argErr = 99;
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Variant::R8(1), Variant::Str(u"loud")}, nullptr, {}, nullptr,
                 &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 0u);  // the last argument sits first in rgvarg
}

TEST_F(Dispatch, TooManyArgumentsIsABadParameterCountAndTooFewNotOptional) {
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Variant::R8(1), Variant::R8(2), Variant::R8(3)}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(1, DISPATCH_METHOD, {Variant::R8(1)}), DISP_E_PARAMNOTOPTIONAL);
}

TEST_F(Dispatch, PropertyPutTakesTheValueNamedPropertyPutAndGetsComeBackTyped) {
  ASSERT_EQ(Call(2, DISPATCH_PROPERTYPUT, {Variant::I4(48000)}, nullptr, {DISPID_PROPERTYPUT}),
            S_OK);
  Variant got;
  ASSERT_EQ(Call(2, DISPATCH_PROPERTYGET, {}, &got), S_OK);
  EXPECT_EQ(got.vt, VT_I4);
  EXPECT_EQ(got.lVal, 48000);
  ASSERT_EQ(Call(3, DISPATCH_PROPERTYGET, {}, &got), S_OK);
  EXPECT_EQ(got.vt, VT_BOOL);
  EXPECT_EQ(got.boolVal, 1);  // a boolean getter keeps the value one
}

TEST_F(Dispatch, IndexedPropertyPutAndGetAddressTheSameItem) {
  ASSERT_EQ(Call(4, DISPATCH_PROPERTYPUT, {Variant::I4(2), Variant::Str(u"gain")}, nullptr,
                 {DISPID_PROPERTYPUT}),
            S_OK);
  Variant got;
  ASSERT_EQ(Call(4, DISPATCH_PROPERTYGET, {Variant::I4(2)}, &got), S_OK);
  EXPECT_EQ(View(got.bstrVal), u"gain");
}

TEST_F(Dispatch, OutParameterPassedByReferenceIsWrittenThroughAndLeftOffIsTheResult) {
  Variant got;
  ASSERT_EQ(Call(5, DISPATCH_METHOD, {Variant::I4(1)}, &got), S_OK);
  EXPECT_EQ(View(got.bstrVal), u"one");
  BSTR text = nullptr;
  Variant ref;
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(Call(5, DISPATCH_METHOD, {Variant::I4(2), ref}), S_OK);
  ref.vt = VT_EMPTY;
  EXPECT_EQ(View(text), u"other");
  SysFreeString(text);
}

TEST_F(Dispatch, VariantArrayIsConvertedToTheDeclaredElementType) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 3);
  for (int32_t i = 0; i < 3; ++i) {
    Variant v = i == 1 ? Variant::Str(u"2.5") : Variant::I4(i + 1);
    SafeArrayPutElement(a, &i, &v);
  }
  Variant arg;
  arg.vt = VT_ARRAY | VT_VARIANT;
  arg.parray = a;
  Variant got;
  ASSERT_EQ(Call(6, DISPATCH_METHOD, {arg}, &got), S_OK);
  EXPECT_DOUBLE_EQ(got.dblVal, 1 + 2.5 + 3);
}

TEST_F(Dispatch, ArrayResultCarriesItsElementType) {
  Variant got;
  ASSERT_EQ(Call(7, DISPATCH_PROPERTYGET, {}, &got), S_OK);
  EXPECT_EQ(got.vt, VT_ARRAY | VT_I4);
  EXPECT_EQ(static_cast<int32_t*>(got.parray->pvData)[0], 86);
}

TEST_F(Dispatch, RectangleArrayIsUpdatedInPlace) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 4);
  static_cast<int32_t*>(a->pvData)[2] = 100;
  Variant ref;
  ref.vt = VT_ARRAY | VT_I4 | VT_BYREF;
  ref.pparray = &a;
  ASSERT_EQ(Call(8, DISPATCH_METHOD, {Variant::I4(20), ref}), S_OK);
  ref.vt = VT_EMPTY;
  EXPECT_EQ(static_cast<int32_t*>(a->pvData)[2], 120);
  SafeArrayDestroy(a);
}

TEST_F(Dispatch, FailureFillsTheExceptionFromTheErrorInformation) {
  EXCEPINFO excep{};
  ASSERT_EQ(Call(9, DISPATCH_METHOD, {}, nullptr, {}, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, MakeHResult(0x80040308));
  EXPECT_EQ(View(excep.bstrDescription), u"Invalid argument.");
  EXPECT_EQ(View(excep.bstrSource), u"Test.Source");
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);
  // Without the structure the code itself comes back.
  EXPECT_EQ(Call(9, DISPATCH_METHOD, {}), MakeHResult(0x80040308));
}

TEST_F(Dispatch, AnUnknownIdentifierOrAPutOnAReadOnlyPropertyIsMemberNotFound) {
  EXPECT_EQ(Call(42, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(3, DISPATCH_PROPERTYPUT, {Variant::Bool(true)}, nullptr, {DISPID_PROPERTYPUT}),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(Dispatch, TypeInformationTellsPropertiesFromMethods) {
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(obj->GetTypeInfo(0, 0, info.Out()), S_OK);
  FUNCDESC* f = nullptr;
  ASSERT_EQ(info->GetFuncDesc(4, &f), S_OK);  // Item get
  EXPECT_EQ(f->invkind, INVOKE_PROPERTYGET);
  EXPECT_EQ(f->cParams, 1);  // the index; the value is the result
  info->ReleaseFuncDesc(f);
}

TEST_F(Dispatch, TableSlotsAreTheVtableSlots) {
  for (const DispEntry& e : kTable.entries)
    EXPECT_EQ(e.abiSlot(), e.slot) << Utf16ToUtf8(e.name);
}

}  // namespace
}  // namespace qel::com
