// The peak overview of one document version: per channel, the smallest and the
// largest sample of every block of frames. A picture of a long document, or of
// any long range of it, is drawn from it without a pass over the samples, and an
// edit rebuilds only the part of it that the edit changed.
//
// Blocks. A freshly built overview cuts the document into blocks of
// kBlockFrames frames from frame 0, the last one shorter. An overview made by
// SpliceOverview keeps the blocks it carried over from the previous version
// (the tail's shifted as a whole) and cuts the part it scanned again the same
// way from that part's first frame, so a block may also end short where the
// scanned part ends. The blocks are held as runs: a run is a stretch of frames
// cut into kBlockFrames-frame blocks from its first frame, only its last block
// shorter, and the runs follow one another without a gap. BlockAt tells where
// the block around a frame lies. Each edit adds at most two runs.
//
// Values are in the scale of PCM_CODEC::ReadWideSample (8-bit as byte - 128,
// 16-bit signed, 24-bit shifted left by 8, 32-bit signed) and are the true
// extremes of every frame of a block (no halfway rule, no frame skipped).
//
// Memory: 8 bytes per channel and block, and 1/64 of that again for a coarse
// level that keeps long queries short. One hour of 44.1 kHz stereo has 310 079
// blocks: 5 MB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "document/sample_store.h"

namespace qel::document {

// The frames [first, last).
struct FrameSpan {
  int64_t first = 0;
  int64_t last = 0;
  bool operator==(const FrameSpan&) const = default;
};

struct Peak {
  int32_t minimum = 0;
  int32_t maximum = 0;
  bool operator==(const Peak&) const = default;
};

// How an edit made a new version of the document from the previous one: the
// previous frames [0, head), then middleFrames new frames, then the previous
// frames [tailFrom, end). A delete has no middle; an insert has tailFrom ==
// head; a replace has both; a whole rewrite has head 0 and tailFrom at the
// previous end.
struct VersionSplice {
  int64_t head = 0;
  int64_t middleFrames = 0;
  int64_t tailFrom = 0;
};

class PeakOverview {
 public:
  // Frames per block. 512 keeps an hour at 5 MB and leaves a 1920-column
  // picture of the hour more than 160 blocks per column.
  static constexpr int64_t kBlockFrames = 512;
  // Blocks per entry of the coarse level.
  static constexpr int64_t kCoarseBlocks = 64;

  // No channels, no frames.
  PeakOverview() = default;

  int Channels() const { return static_cast<int>(channels_.size()); }
  int SampleSize() const { return sampleSize_; }
  int64_t Frames() const { return frames_; }
  int64_t BlockCount() const { return blocks_; }

  // The block that holds frame; an empty span when frame lies outside the
  // document.
  FrameSpan BlockAt(int64_t frame) const;

  // The extremes of a channel over every block that the frames [first, last)
  // touch: exactly the extremes of those frames when first and last are block
  // boundaries, otherwise taking in at most the rest of the block at each end.
  // Nothing when the range holds no frame of the document or there is no such
  // channel. Costs a step per coarse entry inside the range and at most 126
  // single blocks at its ends: about 130 for a column of a 1920-column
  // picture of an hour.
  std::optional<Peak> Extremes(int channel, int64_t first, int64_t last) const;

  // The cache file that lets undo and redo restore an overview without a scan.
  // Written beside path and renamed onto it, so a failure leaves what was at
  // path before (and no other file). Layout, little-endian: "QELPEAKS", the
  // block frames (u32, must be kBlockFrames), channels and sample size (u16
  // each), frames, block count N and run count R (u64 each); R runs as first
  // frame and frame count (u64 each); then for each channel its N minimums and
  // its N maximums (i32).
  bool Save(const std::string& path, std::error_code* error = nullptr) const;
  // Reads a cache file. A file whose size does not match its counts, or whose
  // runs do not add up, is refused before anything is allocated for its
  // blocks; on any failure *this is left as it was.
  bool Load(const std::string& path, std::error_code* error = nullptr);

  bool operator==(const PeakOverview&) const = default;

 private:
  friend class PeakOverviewBuilder;
  friend class OverviewAssembly;
  friend bool SpliceOverview(const PeakOverview& previous, const VersionSplice& splice,
                             CSampleStoreFile& newFile, PeakOverview* out);

  struct Run {
    int64_t firstFrame = 0;
    int64_t frames = 0;
    int64_t firstBlock = 0;
    int64_t Blocks() const { return (frames + kBlockFrames - 1) / kBlockFrames; }
    bool operator==(const Run&) const = default;
  };
  struct ChannelPeaks {
    std::vector<int32_t> minimum;  // one per block
    std::vector<int32_t> maximum;
    std::vector<int32_t> coarseMinimum;  // one per kCoarseBlocks blocks
    std::vector<int32_t> coarseMaximum;
    bool operator==(const ChannelPeaks&) const = default;
  };

  // The run and the index of the block that hold frame (0 <= frame < frames_).
  const Run& RunAt(int64_t frame) const;
  int64_t BlockIndex(int64_t frame) const;
  void BuildCoarseLevel();

  std::vector<ChannelPeaks> channels_;
  std::vector<Run> runs_;
  int sampleSize_ = 0;
  int64_t frames_ = 0;
  int64_t blocks_ = 0;
};

// Builds the overview of whole frames fed in document order: while a file
// opens, block by block, or from a scan.
class PeakOverviewBuilder {
 public:
  // channels 1 ... 18 and a sample size of 8, 16, 24 or 32 bits; any other
  // format builds an overview without channels or frames.
  PeakOverviewBuilder(int channels, int sampleSize);

  // Interleaved frames as the sample store keeps them. A block may end inside
  // a frame; the frame is completed by the next block.
  void Feed(const uint8_t* data, size_t bytes);
  int64_t Frames() const { return frames_; }
  // Makes room for the blocks of this many frames in all, when the length is
  // known beforehand, so that the arrays need not grow block by block.
  void Reserve(int64_t frames);
  // Bytes of one frame; 0 for a format the builder does not take.
  int FrameBytes() const { return align_; }
  // The overview of everything fed (a trailing part of a frame is dropped);
  // the builder starts afresh.
  PeakOverview Finish();

 private:
  void FeedWhole(const uint8_t* data, int64_t frames);
  void CloseBlock();

  PeakOverview result_;
  int channels_ = 0;
  int sampleSize_ = 0;
  int align_ = 0;
  int vectors_ = 0;    // of the vector loop over whole blocks
  bool wide_ = false;  // 32-byte vectors for that loop
  int64_t frames_ = 0;
  int64_t inBlock_ = 0;  // frames of the block being gathered
  std::array<int32_t, kMaxChannels> low_{};
  std::array<int32_t, kMaxChannels> high_{};
  std::array<uint8_t, kMaxChannels * 4> partial_{};  // a frame split between two blocks
  size_t partialBytes_ = 0;
};

// Bytes a scan reads at a time: large enough that the calls cost nothing,
// small enough that the kernel's copy into the buffer and the scan of it both
// stay in the processor's second-level cache. A pass over an hour then takes
// about 1.1 times a plain read of the file, with 4 MiB blocks twice that
// (bench/view). Memory mappings of the file, whole or a window at a time,
// scanned slower still on the virtual machine measured.
inline constexpr size_t kScanBlockBytes = size_t{256} << 10;

// Where a scan gets its bytes: up to count data bytes at data position
// `position` into buffer; the bytes read (fewer only at the end of the data or
// after an error).
using DataReader = std::function<size_t(int64_t position, void* buffer, size_t count)>;

// Feeds the frames [first, first + count) to builder, read in blocks of
// kScanBlockBytes. False when they could not all be read (what was read is fed).
bool ScanFrames(const DataReader& read, int64_t first, int64_t count, PeakOverviewBuilder& builder);
bool ScanFrames(CSampleStoreFile& file, int64_t first, int64_t count, PeakOverviewBuilder& builder);

// The overview of every frame of an open sample-store file.
bool BuildPeakOverview(CSampleStoreFile& file, PeakOverview* out);

// The overview of the new version in newFile (open for reading), made from the
// previous version's overview: the blocks before head and after tailFrom are
// carried over without reading; only the middle is scanned, together with the
// block at each seam that the seam splits (and a short last block that an
// append continues). False, with *out untouched, when the splice does not fit
// the previous overview, newFile's length or format does not match it, or a
// read fails. A whole rewrite may change the format. out may be &previous.
bool SpliceOverview(const PeakOverview& previous, const VersionSplice& splice,
                    CSampleStoreFile& newFile, PeakOverview* out);

}  // namespace qel::document
