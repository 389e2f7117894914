// The undo history against a plain model: long random sequences of steps, undos,
// redos and capacity changes, checking the current state, both code lists and
// exactly which files are left on disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>

#include "document/history.h"
#include "support/scratch_dir.h"

namespace qel::document {
namespace {

using test::ScratchDir;

class HistoryTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  int next = 0;

  // A step with its own sample-store and overview files on disk.
  HistoryStep MakeStep(bool ownName = true) {
    HistoryStep step;
    std::string base = dir.Path() + (ownName ? "qel" : "host") + std::to_string(next++);
    step.sampleFile = base + ".qelf";
    step.overviewFile = base + ".tmp";
    std::ofstream(step.sampleFile) << "pcm";
    std::ofstream(step.overviewFile) << "peaks";
    step.length = next;
    return step;
  }
  std::set<std::string> FilesOnDisk() const {
    std::set<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
      out.insert(e.path());
    return out;
  }
};

TEST_F(HistoryTest, ClearKeepsAnAdoptedFileThatIsNotOneOfOurs) {
  UndoHistory h;
  HistoryStep adopted = MakeStep(/*ownName=*/false);
  std::string adoptedFile = adopted.sampleFile;
  h.TakeStep(std::move(adopted), -1);
  h.Clear();
  EXPECT_TRUE(std::filesystem::exists(adoptedFile));
  EXPECT_EQ(h.Current(), nullptr);
}

TEST_F(HistoryTest, StepNotOwningItsFilesKeepsItsSampleFileOnClear) {
  UndoHistory h;
  HistoryStep step = MakeStep();
  step.ownsFiles = false;
  std::string file = step.sampleFile, overview = step.overviewFile;
  h.TakeStep(std::move(step), -1);
  h.Clear();
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_FALSE(std::filesystem::exists(overview));  // the overview goes in any case
}

TEST_F(HistoryTest, DestructionPurgesRegisteredOwnFilesLeftBehind) {
  std::string file;
  {
    UndoHistory h;
    HistoryStep step = MakeStep();
    step.ownsFiles = false;  // Clear leaves it; the register purge must not
    file = step.sampleFile;
    h.TakeStep(std::move(step), -1);
  }
  EXPECT_FALSE(std::filesystem::exists(file));
}

// The model: a vector of states (each its own files), a current index and the
// two code lists, written out the plain way. The first step records no code,
// a new step drops what was undone, and the oldest step goes at capacity.
struct Model {
  struct State {
    std::string sample, overview;
  };
  std::vector<State> steps;
  size_t current = 0;
  std::vector<int32_t> undo, redo;
  int32_t capacity = 1000;
};

TEST_F(HistoryTest, RandomSequencesMatchThePlainModelAndLeaveOnlyLiveFiles) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 40; ++round) {
    UndoHistory h;
    Model m;
    for (int op = 0; op < 200; ++op) {
      int what = static_cast<int>(rng() % 10);
      if (what < 5 || m.steps.empty()) {
        static constexpr int32_t kCodes[] = {-1, 0, 2, 9, 43, 85, 86};
        int32_t code = kCodes[rng() % 7];
        HistoryStep step = MakeStep();
        Model::State s{step.sampleFile, step.overviewFile};
        h.TakeStep(std::move(step), code);
        if (m.steps.empty()) {
          m.steps.push_back(s);
          m.current = 0;
          continue;
        }
        m.steps.resize(m.current + 1);
        if (static_cast<int32_t>(m.current + 1) >= m.capacity) {
          m.steps.erase(m.steps.begin());
          --m.current;
          if (!m.undo.empty()) m.undo.pop_back();
        }
        m.steps.push_back(s);
        m.current = m.steps.size() - 1;
        if (code >= 1) {
          m.undo.insert(m.undo.begin(), code);
          m.redo.clear();
        }
      } else if (what < 7) {
        int32_t n = static_cast<int32_t>(rng() % 5) - 1;
        const uint32_t undone = h.Undo(n);  // a negative count undoes all it can
        uint32_t k = std::min<uint32_t>(static_cast<uint32_t>(n), m.undo.size()), i = 0;
        for (; i < k && m.current > 0; ++i) {
          --m.current;
          m.redo.insert(m.redo.begin(), m.undo.front());
          m.undo.erase(m.undo.begin());
        }
        ASSERT_EQ(undone, i) << round << ":" << op;
      } else if (what < 9) {
        int32_t n = static_cast<int32_t>(rng() % 5) - 1;
        const uint32_t redone = h.Redo(n);
        uint32_t k = std::min<uint32_t>(static_cast<uint32_t>(n), m.redo.size()), i = 0;
        for (; i < k && m.current + 1 < m.steps.size(); ++i) {
          ++m.current;
          m.undo.insert(m.undo.begin(), m.redo.front());
          m.redo.erase(m.redo.begin());
        }
        ASSERT_EQ(redone, i) << round << ":" << op;
      } else {
        int32_t v = static_cast<int32_t>(rng() % 6) - 1;
        h.SetUndoRedoCount(v);
        m.capacity = v < 1 ? 2 : v + 1;
      }
      ASSERT_EQ(h.Current()->sampleFile, m.steps[m.current].sample) << round << ":" << op;
      ASSERT_EQ(h.Depth(), static_cast<int32_t>(m.current + 1));
      ASSERT_EQ(h.StepCount(), m.steps.size());
      ASSERT_EQ(h.UndoCodes(), m.undo);
      ASSERT_EQ(h.RedoCodes(), m.redo);
      std::set<std::string> live;
      for (const auto& s : m.steps)
        live.insert({s.sample, s.overview});
      ASSERT_EQ(FilesOnDisk(), live) << round << ":" << op;
    }
    h.Clear();
    EXPECT_TRUE(FilesOnDisk().empty());
  }
}

}  // namespace
}  // namespace qel::document
