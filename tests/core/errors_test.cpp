#include <gtest/gtest.h>

#include "com/errorinfo.h"
#include "core/errors.h"

namespace qel {
namespace {

using namespace com;

TEST(ErrorTable, NumbersMapToTheirResultCodesAndMessages) {
  EXPECT_EQ(ErrorResult(1), MakeHResult(0x80040301));
  EXPECT_EQ(ErrorMessage(1), u"Busy error.");
  EXPECT_EQ(ErrorResult(15), MakeHResult(0x80040405));
  EXPECT_EQ(ErrorMessage(15), u"QuickTime video codec is not installed.");
}

TEST(ErrorTable, NumbersOutsideTheTableAreUnexpected) {
  for (int32_t n : {25, -1, 1000}) {
    EXPECT_EQ(ErrorResult(n), MakeHResult(0x80040300));
    EXPECT_EQ(ErrorMessage(n), u"Unexpected error.");
  }
}

TEST(RaiseError, ZeroIsSuccessAndSetsNoError) {
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(RaiseError(0), S_OK);
  ComPtr<IErrorInfo> info;
  EXPECT_EQ(GetErrorInfo(0, info.Out()), S_FALSE);
}

TEST(RaiseError, ErrorInformationNamesTheControlAndItsInterface) {
  EXPECT_EQ(RaiseError(8), MakeHResult(0x80040308));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  Bstr source, description;
  GUID iid{};
  info->GetSource(source.Out());
  info->GetDescription(description.Out());
  info->GetGUID(&iid);
  EXPECT_EQ(source.view(), u"QelAudioEditor4.AudioEditor.1");
  EXPECT_EQ(description.view(), u"Invalid argument.");
  EXPECT_EQ(FormatGuid(iid), "{B3154886-F2F8-40F9-94AF-B1BAF929FEBD}");
}

TEST(RaiseError, FixedCodeAndMessageAreRaisedAsGiven) {
  EXPECT_EQ(RaiseError(MakeHResult(0x80040303), u"File access error."), MakeHResult(0x80040303));
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, info.Out()), S_OK);
  Bstr description;
  info->GetDescription(description.Out());
  EXPECT_EQ(description.view(), u"File access error.");
}

}  // namespace
}  // namespace qel
