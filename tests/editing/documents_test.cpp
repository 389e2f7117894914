// Making documents (an empty one, one adopted from a sample-store file), what
// every new document starts with, and the end of a batch.
#include "editing/documents.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "editing/clip_operations.h"
#include "editing/marker_edits.h"
#include "editing_test.h"

namespace qel::editing {
namespace {

using document::HistoryStep;

class DocumentsTest : public EditingTest {};

TEST_F(DocumentsTest, MakeEmptyWritesAnEmptySampleStoreInTheTempFolder) {
  HistoryStep first;
  ASSERT_EQ(MakeEmpty(doc, {48000, 2, 24, 3}, &first), kErrNone);
  EXPECT_EQ(std::filesystem::path(first.sampleFile).parent_path(),
            std::filesystem::path(dir.Path()).parent_path());
  const test::StoreContents stored = test::ReadStore(first.sampleFile);
  ASSERT_TRUE(stored.opened);
  EXPECT_EQ(stored.format.sampleRate, 48000);
  EXPECT_EQ(stored.format.sampleSize, 24);
  EXPECT_TRUE(stored.data.empty());
}

TEST_F(DocumentsTest, MakeEmptyInAVanishedTempFolderIsAMemoryErrorAndLeavesNothing) {
  const std::string temp = dir / "temp";
  std::filesystem::create_directory(temp);
  doc.SetTempDirectory(temp);
  std::filesystem::remove(temp);
  HistoryStep first;
  EXPECT_EQ(MakeEmpty(doc, {44100, 2, 16, 3}, &first), kErrMemory);
  EXPECT_TRUE(test::FolderListing(dir.Path()).empty());
}

TEST_F(DocumentsTest, AnAdoptedFileTakesItsHeaderFormatUnlessAValueOverridesIt) {
  const std::string name = test::WriteStore(dir.Path(), {8000, 2, 16, 0}, test::Ramp(4000, 2));
  HistoryStep first;
  double durationMs = 0;
  ASSERT_EQ(AdoptFile(doc, name, {16000, 0, 0, 0}, &first, &durationMs), kErrNone);
  EXPECT_EQ(doc.format.sampleRate, 16000);
  EXPECT_EQ(doc.format.channels, 2);
  EXPECT_EQ(doc.format.sampleSize, 16);
  EXPECT_EQ(first.sampleFile, name);  // adopted as it is, not copied
  EXPECT_NEAR(durationMs, 250.0, 1e-9);
}

TEST_F(DocumentsTest, ANewDocumentShowsEverythingWithACursorAtTheStart) {
  const std::string name = test::WriteStore(dir.Path(), {44100, 2, 16, 0}, test::Ramp(500, 2));
  HistoryStep first;
  double durationMs = 0;
  ASSERT_EQ(AdoptFile(doc, name, {}, &first, &durationMs), kErrNone);
  StartDocument(doc, observer, std::move(first), durationMs);
  EXPECT_EQ(doc.history.Depth(), 1);
  EXPECT_TRUE(doc.history.UndoCodes().empty());
  EXPECT_EQ(doc.View()->zoom, 0);
  EXPECT_EQ(ViewRange(), std::make_pair(int64_t{0}, int64_t{500}));
  EXPECT_EQ(Selection(), std::make_pair(int64_t{0}, int64_t{0}));
  EXPECT_EQ(doc.channels.OperationCount(), 2);
  EXPECT_EQ(observer.documentStarted, 1);
}

TEST_F(DocumentsTest, InsideABatchTheMarkerLayoutWaitsForTheEnd) {
  Open(1000);
  InsertMarker(doc, observer, 500, 0, u"", u"");
  doc.batch = true;
  Select(100, 200);
  ASSERT_EQ(DeleteSelect(doc, observer), kErrNone);
  ASSERT_EQ(doc.markerLayout.size(), 1u);
  EXPECT_EQ(doc.markerLayout[0].position, 500 * 4);  // still the layout before the edit
  EXPECT_EQ(doc.batchCount, 1);
  EndBatch(doc, observer);
  EXPECT_FALSE(doc.batch);
  EXPECT_EQ(doc.markerLayout[0].position, 400 * 4);
}

}  // namespace
}  // namespace qel::editing
