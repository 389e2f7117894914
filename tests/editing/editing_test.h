// What the editing tests share: a document in a scratch folder, opened the way a
// host's OpenFileFromTmp opens one (AdoptFile, then StartDocument), an observer
// that records the reports, and the host's ways of selecting.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "document/document.h"
#include "editing/documents.h"
#include "editing/positions.h"
#include "support/recording_observer.h"
#include "support/sample_documents.h"
#include "support/scratch_dir.h"

namespace qel::editing {

class EditingTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  document::Document doc{dir.Path()};
  test::RecordingObserver observer;
  test::Samples original;
  int channels = 0;

  // A document of `frames` ramp frames in 16 bits; the reports of the opening
  // are forgotten.
  void Open(int64_t frames, int channelCount = 2, int32_t rate = 44100) {
    OpenSamples(test::Ramp(frames, channelCount), channelCount, rate);
  }
  void OpenSamples(const test::Samples& samples, int channelCount, int32_t rate) {
    doc.Reset();  // what the control's Close does before every new document
    original = samples;
    channels = channelCount;
    const std::string name =
        test::WriteStore(dir.Path(), {rate, channelCount, 16, 0}, test::ToBytes(samples));
    ASSERT_FALSE(name.empty());
    document::HistoryStep first;
    double durationMs = 0;
    ASSERT_EQ(AdoptFile(doc, name, {}, &first, &durationMs), kErrNone);
    StartDocument(doc, observer, std::move(first), durationMs);
    observer.Clear();
  }

  // The host selects: a cursor at the start, Selected on, then the end.
  void Select(int64_t from, int64_t to) {
    SetSelected(doc, observer, 0);
    SetStartSelect(doc, observer, from);
    SetSelected(doc, observer, -1);
    SetEndSelect(doc, observer, to);
  }
  // The host places a cursor: Selected off, then Current.
  void Cursor(int64_t at) {
    SetSelected(doc, observer, 0);
    SetCurrent(doc, observer, at);
  }
  std::pair<int64_t, int64_t> Selection() const {
    const FramePositions p = GetFramePositions(doc);
    return {p.startSelect, p.endSelect};
  }
  std::pair<int64_t, int64_t> ViewRange() const {
    const FramePositions p = GetFramePositions(doc);
    return {p.startView, p.endView};
  }
  test::Samples Part(int64_t from, int64_t to) const {
    return test::Frames(original, channels, from, to);
  }
  // Enables only channel `only` for operations (0-based).
  void OperateOnlyOn(int only) {
    for (int c = 0; c < channels; ++c)
      doc.channels.SetOperation(c, c == only ? -1 : 0);
    doc.RecountChannels();
    doc.RecomputeOperationMask();
  }
};

}  // namespace qel::editing
