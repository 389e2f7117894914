#include <gtest/gtest.h>

#include "com/safearray.h"

namespace qel::com {
namespace {

TEST(SafeArray, IndexOutsideTheBoundsIsBadIndex) {
  SafeArray a(SafeArrayCreateVector(VT_I4, 0, 2));
  int32_t index = 2, value = 0;
  EXPECT_EQ(SafeArrayGetElement(a.get(), &index, &value), DISP_E_BADINDEX);
}

TEST(SafeArray, TwoDimensionsStoreTheFirstIndexFastest) {
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {3, 10}};
  SafeArray a(SafeArrayCreate(VT_I2, 2, bounds));
  int32_t at[2] = {1, 11};  // first dimension 1, second dimension 11
  int16_t v = 42;
  ASSERT_EQ(SafeArrayPutElement(a.get(), at, &v), S_OK);
  // Linear position: 1 + 2 * (11 - 10) = 3.
  EXPECT_EQ(static_cast<int16_t*>(a.get()->pvData)[3], 42);
  int32_t lo2 = 0;
  SafeArrayGetLBound(a.get(), 2, &lo2);
  EXPECT_EQ(lo2, 10);
}

TEST(SafeArray, StringElementsAreCopiedInAndOut) {
  SafeArray a(SafeArrayCreateVector(VT_BSTR, 0, 2));
  int32_t i = 1;
  Bstr text(u"marker");
  ASSERT_EQ(SafeArrayPutElement(a.get(), &i, text.get()), S_OK);
  Bstr out;
  ASSERT_EQ(SafeArrayGetElement(a.get(), &i, out.Out()), S_OK);
  EXPECT_EQ(out.view(), u"marker");
  EXPECT_NE(out.get(), text.get());
}

TEST(SafeArray, CopyOfVariantArrayOwnsItsStrings) {
  SafeArray a(SafeArrayCreateVector(VT_VARIANT, 0, 1));
  int32_t i = 0;
  Variant v = Variant::Str(u"abc");
  SafeArrayPutElement(a.get(), &i, &v);
  SAFEARRAY* copy = nullptr;
  ASSERT_EQ(SafeArrayCopy(a.get(), &copy), S_OK);
  SafeArray owned(copy);
  a = SafeArray();  // the original goes away first
  Variant out;
  SafeArrayGetElement(owned.get(), &i, &out);
  EXPECT_EQ(View(out.bstrVal), u"abc");
}

TEST(SafeArray, LockedArrayCannotBeDestroyed) {
  SAFEARRAY* a = SafeArrayCreateVector(VT_I4, 0, 1);
  void* data = nullptr;
  SafeArrayAccessData(a, &data);
  EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
  SafeArrayUnaccessData(a);
  EXPECT_EQ(SafeArrayDestroy(a), S_OK);
}

}  // namespace
}  // namespace qel::com
