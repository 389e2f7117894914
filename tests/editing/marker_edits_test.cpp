// Marker edits on a stereo document of 1000 frames: each value clamped to the
// document, the current marker through deletes and sorting, the layout the
// picture reads, and splitting the document at its markers.
#include "editing/marker_edits.h"

#include <gtest/gtest.h>

#include "editing_test.h"

namespace qel::editing {
namespace {

using document::Marker;

class MarkerEditsTest : public EditingTest {
 protected:
  void SetUp() override { Open(1000); }

  void Insert(int64_t position, int64_t length = 0) {
    InsertMarker(doc, observer, position, length, u"", u"");
  }
  const std::vector<Marker>& Markers() const { return doc.Current()->markers; }
};

TEST_F(MarkerEditsTest, AnInsertedRangeEndsAtTheDocumentEndAtTheLatest) {
  Insert(900, 500);
  ASSERT_EQ(Markers().size(), 1u);
  EXPECT_EQ(Markers()[0].position, 900);
  EXPECT_EQ(Markers()[0].length, 100);
}

TEST_F(MarkerEditsTest, AMarkerPastTheEndIsNotAdded) {
  Insert(1001);
  EXPECT_TRUE(Markers().empty());
  EXPECT_EQ(doc.Current()->currentMarker, 0);
}

TEST_F(MarkerEditsTest, APositionPutIsClampedToTheDocument) {
  Insert(100);
  SetMarkerPosition(doc, observer, -5);
  EXPECT_EQ(CurrentMarker(doc)->position, 0);
  SetMarkerPosition(doc, observer, 5000);
  EXPECT_EQ(CurrentMarker(doc)->position, 1000);
}

TEST_F(MarkerEditsTest, ALengthPutEndsTheMarkerAtTheDocumentEndAtTheLatest) {
  Insert(900);
  SetMarkerLength(doc, observer, 500);
  EXPECT_EQ(CurrentMarker(doc)->length, 100);
  SetMarkerLength(doc, observer, -3);
  EXPECT_EQ(CurrentMarker(doc)->length, 0);
}

TEST_F(MarkerEditsTest, DeletingTheLastMarkerOfTheListMakesThePreviousOneCurrent) {
  Insert(100);
  Insert(200);
  Insert(300);
  SelectMarker(doc, 3);
  DeleteMarker(doc, observer);
  EXPECT_EQ(Markers().size(), 2u);
  EXPECT_EQ(doc.Current()->currentMarker, 2);
  EXPECT_EQ(CurrentMarker(doc)->position, 200);
}

TEST_F(MarkerEditsTest, SortingKeepsTheCurrentNumberWhichMayThenNameAnotherMarker) {
  Insert(500);
  Insert(100);
  SelectMarker(doc, 1);
  SortMarkers(doc, observer);
  EXPECT_EQ(Markers()[0].position, 100);
  EXPECT_EQ(Markers()[1].position, 500);
  EXPECT_EQ(CurrentMarker(doc)->position, 100);
}

TEST_F(MarkerEditsTest, EachEditRebuildsTheLayoutInBytesSortedByPosition) {
  Insert(500, 10);
  Insert(100);
  ASSERT_EQ(doc.markerLayout.size(), 2u);
  EXPECT_EQ(doc.markerLayout[0].position, 100 * 4);
  EXPECT_EQ(doc.markerLayout[0].number, 2);
  EXPECT_EQ(doc.markerLayout[1].position, 500 * 4);
  EXPECT_EQ(doc.markerLayout[1].length, 10 * 4);
  EXPECT_EQ(observer.pictureChanged, 2);
}

class SplitTest : public MarkerEditsTest {
 protected:
  std::vector<std::string> files;

  // The frame counts of the pieces; their samples joined must be the document.
  std::vector<int64_t> PieceFrames() const {
    std::vector<int64_t> frames;
    test::Samples joined;
    for (const std::string& name : files) {
      const test::Samples piece = test::ReadStore(name).Samples16();
      frames.push_back(static_cast<int64_t>(piece.size()) / channels);
      joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(joined, original);
    return frames;
  }
};

TEST_F(SplitTest, PointMarkersCutTheDocumentIntoPiecesThatHoldItsSamples) {
  Insert(100);
  Insert(300);
  ASSERT_EQ(SplitFileByMarkers(doc, observer, &files), kErrNone);
  EXPECT_EQ(PieceFrames(), (std::vector<int64_t>{100, 200, 700}));
  EXPECT_EQ(observer.splitFiles, files);
  EXPECT_TRUE(doc.Idle());
}

TEST_F(SplitTest, ARangeMarkerMakesAPieceOfItsOwn) {
  Insert(200, 100);
  ASSERT_EQ(SplitFileByMarkers(doc, observer, &files), kErrNone);
  EXPECT_EQ(PieceFrames(), (std::vector<int64_t>{200, 100, 700}));
}

TEST_F(SplitTest, AMarkerWithinOneFrameOfTheLastCutMakesNoPiece) {
  Insert(1);
  Insert(500);
  ASSERT_EQ(SplitFileByMarkers(doc, observer, &files), kErrNone);
  EXPECT_EQ(PieceFrames(), (std::vector<int64_t>{500, 500}));
}

TEST_F(SplitTest, CancellingKeepsThePiecesWrittenBeforeAndNothingOfTheNext) {
  Insert(100);
  Insert(300);
  const std::vector<std::string> before = test::FolderListing(dir.Path());
  int reports = 0;
  observer.onProgress = [&](int32_t) {
    if (++reports == 2) doc.SetStatus(status::kIdle);  // while the second piece is written
  };
  ASSERT_EQ(SplitFileByMarkers(doc, observer, &files), kErrNone);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(test::ReadStore(files[0]).Samples16(), Part(0, 100));
  EXPECT_EQ(test::FolderListing(dir.Path()).size(), before.size() + 1);
  EXPECT_EQ(observer.ended, 1);
}

}  // namespace
}  // namespace qel::editing
