#include <gtest/gtest.h>

#include "com/interfaces.h"
#include "com/variant.h"

namespace qel::com {
namespace {

Variant Convert(const Variant& from, VARTYPE to, HRESULT* hr = nullptr) {
  Variant out;
  HRESULT r = VariantChangeType(&out, &from, 0, to);
  if (hr) *hr = r;
  return out;
}

TEST(VariantChangeType, RealToIntegerRoundsHalfToEven) {
  EXPECT_EQ(Convert(Variant::R8(2.5), VT_I4).lVal, 2);
  EXPECT_EQ(Convert(Variant::R8(3.5), VT_I4).lVal, 4);
  EXPECT_EQ(Convert(Variant::R8(-2.5), VT_I4).lVal, -2);
}

TEST(VariantChangeType, OutOfRangeIntegerIsAnOverflow) {
  HRESULT hr;
  Convert(Variant::I8(int64_t{1} << 40), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Convert(Variant::I4(-1), VT_UI1, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
}

TEST(VariantChangeType, NumericStringsBecomeNumbers) {
  EXPECT_EQ(Convert(Variant::Str(u" 44100 "), VT_I4).lVal, 44100);
  EXPECT_DOUBLE_EQ(Convert(Variant::Str(u"-3.25"), VT_R8).dblVal, -3.25);
}

TEST(VariantChangeType, TextThatIsNoNumberIsATypeMismatch) {
  HRESULT hr;
  Convert(Variant::Str(u"12 apples"), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
}

TEST(VariantChangeType, AnyNonZeroNumberIsTrueAsMinusOne) {
  EXPECT_EQ(Convert(Variant::I4(7), VT_BOOL).boolVal, VARIANT_TRUE);
  EXPECT_EQ(Convert(Variant::R8(0.0), VT_BOOL).boolVal, VARIANT_FALSE);
}

TEST(VariantChangeType, NumbersBecomeText) {
  EXPECT_EQ(View(Convert(Variant::I4(-12), VT_BSTR).bstrVal), u"-12");
  EXPECT_EQ(View(Convert(Variant::R8(0.5), VT_BSTR).bstrVal), u"0.5");
}

TEST(VariantChangeType, ByReferenceShortIsReadThrough) {
  int16_t cancel = 1;
  Variant ref;
  ref.vt = VT_I2 | VT_BYREF;
  ref.piVal = &cancel;
  EXPECT_EQ(Convert(ref, VT_I4).lVal, 1);
  ref.vt = VT_EMPTY;  // the pointer is not ours to free
}

TEST(VariantChangeType, InPlaceConversionReplacesTheSource) {
  Variant v = Variant::Str(u"16");
  ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);
  EXPECT_EQ(v.vt, VT_I2);
  EXPECT_EQ(v.iVal, 16);
}

TEST(VariantCopy, StringsAreDuplicatedNotShared) {
  Variant a = Variant::Str(u"label");
  Variant b;
  ASSERT_EQ(VariantCopy(&b, &a), S_OK);
  EXPECT_NE(a.bstrVal, b.bstrVal);
  VariantClear(&a);
  EXPECT_EQ(View(b.bstrVal), u"label");
}

}  // namespace
}  // namespace qel::com
