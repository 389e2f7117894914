// Message boxes and the clipboard without a desktop.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/platform.h"

namespace qel::platform {
namespace {

TEST(HeadlessMessageBoxes, EachBoxIsKeptWithCaptionTextAndFlags) {
  std::ostringstream log;
  HeadlessMessageBoxes boxes(&log);
  boxes.Show("QelAudioEditor", "QelVideoFile3 is not registered.", MB_OK | MB_ICONSTOP);
  ASSERT_EQ(boxes.Count(), 1u);
  auto shown = boxes.All().front();
  EXPECT_EQ(shown.caption, "QelAudioEditor");
  EXPECT_EQ(shown.text, "QelVideoFile3 is not registered.");
  EXPECT_EQ(shown.flags & MB_ICONMASK, MB_ICONSTOP);
}

TEST(HeadlessClipboard, WaveBytesPutInOneSessionAreReadInTheNext) {
  HeadlessClipboard clipboard;
  {
    ClipboardSession session(clipboard);
    ASSERT_TRUE(session.IsOpen());
    session->Empty();
    session->SetData(kClipboardWave, {'R', 'I', 'F', 'F'});
  }
  ClipboardSession session(clipboard);
  EXPECT_EQ(session->GetData(kClipboardWave), (std::vector<uint8_t>{'R', 'I', 'F', 'F'}));
}

TEST(HeadlessClipboard, SecondOpenFailsWhileTheFirstIsOpen) {
  HeadlessClipboard clipboard;
  ClipboardSession first(clipboard);
  ClipboardSession second(clipboard);
  EXPECT_FALSE(second.IsOpen());
}

TEST(HeadlessClipboard, EmptyRemovesEveryFormat) {
  HeadlessClipboard clipboard;
  ClipboardSession session(clipboard);
  session->SetData(kClipboardWave, {1});
  session->SetData("text/plain", {2});
  session->Empty();
  EXPECT_FALSE(clipboard.HasFormat(kClipboardWave) || clipboard.HasFormat("text/plain"));
}

}  // namespace
}  // namespace qel::platform
