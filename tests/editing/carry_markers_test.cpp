// Markers carried from one version to the next: an edit replaced the previous
// selection (frames p0 to p1) by the new one (c0 to c1), and markers before,
// inside, after and across it move with the audio. Mono 16-bit steps, so a
// frame is two bytes.
#include <gtest/gtest.h>

#include <vector>

#include "document/markers.h"

namespace qel::document {
namespace {

struct Span {
  int64_t position;
  int64_t length;
  bool operator==(const Span&) const = default;
};

void PrintTo(const Span& s, std::ostream* os) {
  *os << "(" << s.position << ", " << s.length << ")";
}

HistoryStep Step(int32_t rate, int64_t from, int64_t to) {
  HistoryStep step;
  step.format = {rate, 1, 16, 0};
  step.view.startSelect[0] = from * 2;
  step.view.endSelect[0] = to * 2;
  return step;
}

class CarryMarkersTest : public ::testing::Test {
 protected:
  std::vector<int32_t> changed;

  // The markers after an edit of [p0, p1) into [c0, c1), with rates.
  std::vector<Span> Carry(const std::vector<Span>& markers, int64_t p0, int64_t p1, int64_t c0,
                          int64_t c1, int32_t rateBefore = 44100, int32_t rateAfter = 44100) {
    HistoryStep previous = Step(rateBefore, p0, p1);
    for (const Span& m : markers)
      AddMarker(previous, 1 << 20, m.position, m.length, u"", u"", u"");
    HistoryStep current = Step(rateAfter, c0, c1);
    CarryMarkers(previous, current, [&](int32_t number) { changed.push_back(number); });
    std::vector<Span> out;
    for (const Marker& m : current.markers)
      out.push_back({m.position, m.length});
    return out;
  }
  // A deletion of [p0, p1): the new version has a cursor at p0.
  std::vector<Span> Delete(const std::vector<Span>& markers, int64_t p0, int64_t p1) {
    return Carry(markers, p0, p1, p0, p0);
  }
};

TEST_F(CarryMarkersTest, ADeletionMovesMarkersAfterItBackByItsLength) {
  EXPECT_EQ(Delete({{250, 0}, {200, 30}}, 100, 200), (std::vector<Span>{{150, 0}, {100, 30}}));
}

TEST_F(CarryMarkersTest, ARangeRunningIntoADeletionEndsWhereTheDeletionBegan) {
  EXPECT_EQ(Delete({{50, 100}}, 100, 200), (std::vector<Span>{{50, 50}}));
}

TEST_F(CarryMarkersTest, ARangeAcrossADeletionShrinksByItsLength) {
  EXPECT_EQ(Delete({{50, 300}}, 100, 200), (std::vector<Span>{{50, 200}}));
}

TEST_F(CarryMarkersTest, ARangeRunningOutOfADeletionKeepsWhatLiesAfterIt) {
  EXPECT_EQ(Delete({{150, 100}}, 100, 200), (std::vector<Span>{{100, 50}}));
}

TEST_F(CarryMarkersTest, AMarkerWhollyInsideADeletionKeepsItsValuesButIsReported) {
  EXPECT_EQ(Delete({{150, 20}}, 100, 200), (std::vector<Span>{{150, 20}}));
  EXPECT_EQ(changed, std::vector<int32_t>{1});
}

TEST_F(CarryMarkersTest, AnInsertionMovesMarkersFromTheCursorOnByItsLength) {
  // 40 frames inserted at frame 100.
  EXPECT_EQ(Carry({{50, 0}, {100, 0}, {300, 10}}, 100, 100, 100, 140),
            (std::vector<Span>{{50, 0}, {140, 0}, {340, 10}}));
}

TEST_F(CarryMarkersTest, AReplacementScalesMarkersInsideByTheRatioOfTheLengths) {
  // Frames 100 to 200 replaced by 50 frames: inside, everything halves.
  EXPECT_EQ(Carry({{140, 20}, {250, 0}}, 100, 200, 100, 150),
            (std::vector<Span>{{120, 10}, {200, 0}}));
}

TEST_F(CarryMarkersTest, ARateChangeScalesPositionsAndLengthsRoundingHalvesUp) {
  EXPECT_EQ(Carry({{101, 51}, {40, 0}}, 0, 0, 0, 0, 44100, 22050),
            (std::vector<Span>{{51, 26}, {20, 0}}));
}

TEST_F(CarryMarkersTest, ExactlyTheMarkersThatMovedAreReportedByTheirNumbers) {
  Delete({{10, 0}, {250, 0}, {20, 5}, {300, 0}}, 100, 200);
  EXPECT_EQ(changed, (std::vector<int32_t>{2, 4}));
}

}  // namespace
}  // namespace qel::document
