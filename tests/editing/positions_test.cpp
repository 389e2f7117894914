// Selection, view and zoom on a stereo 16-bit document (four bytes a frame):
// frames from the host clamped to the document, the ordering rule of each put,
// the zoom stack, and what each change reports.
#include "editing/positions.h"

#include <gtest/gtest.h>

#include "editing_test.h"

namespace qel::editing {
namespace {

using Range = std::pair<int64_t, int64_t>;

class PositionsTest : public EditingTest {
 protected:
  void SetUp() override { Open(1000); }
};

TEST_F(PositionsTest, FramesAreClampedToTheDocument) {
  SetStartSelect(doc, observer, -5);
  EXPECT_EQ(Selection(), Range(0, 0));
  SetStartSelect(doc, observer, 5000);
  EXPECT_EQ(Selection(), Range(1000, 1000));
}

TEST_F(PositionsTest, WithoutASelectionAnEndPutPlacesACursor) {
  SetEndSelect(doc, observer, 100);
  EXPECT_EQ(Selection(), Range(100, 100));
}

TEST_F(PositionsTest, AnEndBeforeTheStartSwapsTheEnds) {
  Select(100, 200);
  SetEndSelect(doc, observer, 50);
  EXPECT_EQ(Selection(), Range(50, 100));
}

TEST_F(PositionsTest, AStartPastTheEndMakesACursorAndKeepsTheHostsSelectedValue) {
  Select(100, 200);
  SetStartSelect(doc, observer, 300);
  EXPECT_EQ(Selection(), Range(300, 300));
  EXPECT_EQ(doc.View()->selected, -1);
}

TEST_F(PositionsTest, CurrentDoesNotMoveTheSelectionDuringPlayback) {
  Cursor(50);
  observer.Clear();
  doc.SetStatus(status::kPlaying);
  SetCurrent(doc, observer, 300);
  EXPECT_EQ(Selection(), Range(50, 50));
  EXPECT_EQ(observer.selectionChanged, 0);
}

TEST_F(PositionsTest, SelectionPutsReportTheSelectionAndNothingElse) {
  SetStartSelect(doc, observer, 10);
  SetEndSelect(doc, observer, 20);
  EXPECT_EQ(observer.selectionChanged, 2);
  EXPECT_EQ(observer.viewChanged, 0);
  EXPECT_EQ(observer.pictureChanged, 0);
}

TEST_F(PositionsTest, TheFirstViewPutLeavesTheFullView) {
  SetStartView(doc, observer, 100);
  const document::ViewStack& view = *doc.View();
  EXPECT_EQ(view.zoom, 1);
  EXPECT_EQ(ViewRange(), Range(100, 1000));
  // Level 0 keeps showing the whole document.
  EXPECT_EQ(view.startView[0], 0);
  EXPECT_EQ(view.endView[0], 1000 * 4);
  EXPECT_EQ(observer.viewChanged, 1);
}

TEST_F(PositionsTest, ZoomFullShowsEverythingAtLevelZeroAndKeepsTheSelection) {
  SetStartView(doc, observer, 100);
  SetEndView(doc, observer, 400);
  Select(150, 250);
  ZoomFull(doc, observer);
  EXPECT_EQ(doc.View()->zoom, 0);
  EXPECT_EQ(ViewRange(), Range(0, 1000));
  EXPECT_EQ(Selection(), Range(150, 250));
  EXPECT_EQ(doc.View()->selected, 1);
}

TEST_F(PositionsTest, ZoomPastTheEndShowsTheLastFramesAtTheAskedWidth) {
  Zoom(doc, observer, 1500, 1700);
  EXPECT_EQ(ViewRange(), Range(800, 1000));
}

// A range past the end slides back to end at the document's end, but a range
// wider than the document must not start before it.
TEST_F(PositionsTest, ZoomPastTheEndWiderThanTheDocumentStartsAtTheDocumentStart) {
  Zoom(doc, observer, 1500, 3000);
  EXPECT_EQ(ViewRange(), Range(0, 1000));
}

TEST_F(PositionsTest, ZoomStopsAtTheDeepestLevel) {
  for (int i = 0; i < 120; ++i)
    Zoom(doc, observer, 100, 900);
  EXPECT_EQ(doc.View()->zoom, document::kZoomLevels - 1);
  const Range before = ViewRange();
  Zoom(doc, observer, 200, 300);
  EXPECT_EQ(ViewRange(), before);
}

TEST_F(PositionsTest, ANewLevelTakesTheSelectionOfTheSelectionLevel) {
  Select(100, 200);
  SetStartView(doc, observer, 50);  // level 1, a copy of level 0
  Select(300, 400);                 // only level 1 changes
  ASSERT_EQ(doc.selectionLevel, 0);
  Zoom(doc, observer, 0, 800);
  EXPECT_EQ(doc.View()->zoom, 2);
  EXPECT_EQ(Selection(), Range(100, 200));
}

class ZoomTest : public EditingTest {
 protected:
  void SetUp() override { Open(900); }
};

TEST_F(ZoomTest, ZoomInShowsTheMiddleThirdOfTheView) {
  ZoomIn(doc, observer);
  EXPECT_EQ(ViewRange(), Range(300, 600));
  ZoomIn(doc, observer);
  EXPECT_EQ(ViewRange(), Range(400, 500));
  EXPECT_EQ(doc.View()->zoom, 2);
  EXPECT_EQ(doc.selectionLevel, 2);
}

TEST_F(ZoomTest, ZoomInCentresOnASelectionThatLiesWhollyInTheView) {
  Select(600, 660);
  ZoomIn(doc, observer);
  EXPECT_EQ(ViewRange(), Range(480, 780));
}

TEST_F(ZoomTest, ZoomOutClimbsOneLevelThreeTimesAsWide) {
  ZoomIn(doc, observer);
  ZoomIn(doc, observer);
  ZoomOut(doc, observer);
  EXPECT_EQ(doc.View()->zoom, 1);
  EXPECT_EQ(ViewRange(), Range(300, 600));
}

TEST_F(ZoomTest, ZoomingReportsTheViewTheSelectionAndThePicture) {
  ZoomIn(doc, observer);
  EXPECT_EQ(observer.viewChanged, 1);
  EXPECT_EQ(observer.selectionChanged, 1);
  EXPECT_EQ(observer.pictureChanged, 1);
}

TEST_F(ZoomTest, VerticalZoomIsKeptBetweenTenAndAThousandPercent) {
  ZoomVertical(doc, observer, 0);
  EXPECT_EQ(doc.verticalZoom, 10);
  ZoomVertical(doc, observer, 5000);
  EXPECT_EQ(doc.verticalZoom, 1000);
  EXPECT_EQ(observer.pictureChanged, 2);
}

}  // namespace
}  // namespace qel::editing
