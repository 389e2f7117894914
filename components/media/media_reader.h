// Reading one media file with libavformat/libavcodec: its audio and video
// tracks, the chosen audio track as interleaved integer PCM (exact sample counts
// across reads, sample-accurate seeking where the container allows it), the
// chosen video track as unchanged packets, and the markers it carries.
#pragma once

#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ffmpeg_util.h"
#include "media_errors.h"
#include "media_marker.h"
#include "pcm_convert.h"
#include "riff.h"
#include "wave_format.h"

namespace qel::media {

// The format of a headerless file: a wave-format tag (1 integer PCM, 3 IEEE
// float, 6 A-law, 7 mu-law), rate, bits, channels and speaker mask.
struct RawInput {
  int32_t tag = kWaveFormatPcm;
  int32_t rate = 0, bits = 0, channels = 0;
  uint32_t mask = 0;
};

class MediaReader {
 public:
  MediaReader() = default;
  MediaReader(const MediaReader&) = delete;
  MediaReader& operator=(const MediaReader&) = delete;

  // Opens `path` (with `raw` describing a headerless file) and decodes the start
  // of the first audio track to make sure it can be read.
  MediaError Open(const std::string& path, const std::optional<RawInput>& raw);
  // Text that says more about the last failure (FFmpeg's words), for LastError.
  const std::string& Detail() const { return detail_; }

  int AudioTracks() const { return static_cast<int>(audioStreams_.size()); }
  int VideoTracks() const { return static_cast<int>(videoStreams_.size()); }
  int AudioTrack() const { return audioTrack_; }
  int VideoTrack() const { return videoTrack_; }
  // Choosing a track starts reading again from the beginning; −1 chooses none.
  MediaError SelectAudioTrack(int track);
  bool SelectVideoTrack(int track);

  // The file's format as delivered by default: its rate, channels and mask, and
  // its sample size where it is 8, 16, 24 or 32-bit integer (else 32).
  const PcmFormat& FileFormat() const { return fileFormat_; }
  // The format ReadAudio delivers: the file's, or the one asked for.
  const PcmFormat& OutputFormat() const { return outputFormat_; }
  // Asks for another output format (nullopt: the file's) from the current position on.
  MediaError SetOutputFormat(const std::optional<PcmFormat>& format);

  double DurationMs() const;
  int32_t FileType() const { return fileType_; }
  std::string AudioCodecName() const;
  int64_t AudioBitRate() const;
  const std::vector<MediaMarker>& Markers() const { return markers_; }
  const std::u16string& Comment() const { return comment_; }
  // The chosen video stream, or null.
  const AVStream* VideoStream() const;

  // Copies up to `frames` frames of output PCM to `into` (room for `frames`
  // frames); fewer only at the end of the track. `got` says how many.
  MediaError ReadAudio(int64_t frames, uint8_t* into, int64_t* got);
  // Output frames delivered since the start of the file.
  int64_t Position() const { return delivered_; }
  MediaError Seek(double ms);
  // The next packet of the chosen video track; false at the end.
  bool ReadVideoPacket(ff::Packet& packet);

 private:
  enum class Failure { Container, AudioCodec, VideoCodec };
  MediaError Fail(Failure kind, std::string detail);
  MediaError OpenDemuxer();
  MediaError OpenDecoder();
  MediaError Restart(double ms);
  MediaError FillFormatFrom(const AVFrame* frame);
  bool ReadPacket(ff::Packet& packet);
  MediaError Pull();
  MediaError Feed(const AVPacket* packet);
  MediaError ReceiveFrames();
  MediaError Drain();
  MediaError Deliver(const uint8_t* const* planes, int samples, int64_t pts, bool packed);
  void ReadFileMarkers();
  void DetectFileType();
  size_t Buffered() const { return fifo_.size() - fifoRead_; }

  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  using File = std::unique_ptr<std::FILE, FileCloser>;
  struct Region {
    uint64_t offset = 0, bytes = 0;
  };

  std::string path_;
  std::optional<RawInput> raw_;
  std::string detail_;
  enum class Family { Other, Mov, Avi } family_ = Family::Other;

  ff::InputContext input_;
  std::vector<int> audioStreams_, videoStreams_;  // stream indices, in file order
  int audioTrack_ = -1, videoTrack_ = -1;
  int32_t fileType_ = 0;
  std::vector<MediaMarker> markers_;
  std::u16string comment_;
  std::optional<uint32_t> riffMask_;

  // Audio decoding: PCM copied straight from packets when the file's samples
  // already are the output's, else decoded and converted.
  ff::CodecContext decoder_;
  ff::Frame frame_;
  bool passthrough_ = false;
  bool formatKnown_ = false;
  PcmFormat fileFormat_, outputFormat_;
  std::optional<PcmFormat> requested_;
  PcmConverter converter_;

  // Plain PCM read straight from the file: the samples' place in it, their
  // format, and the read position (bytes into the region).
  std::optional<Region> region_;
  std::optional<PcmFormat> regionFormat_;
  File pcmFile_;
  bool direct_ = false;
  uint64_t regionPos_ = 0;

  std::vector<uint8_t> fifo_;
  size_t fifoRead_ = 0;
  bool demuxEnded_ = false, finished_ = false;
  int decodeErrors_ = 0;
  int64_t delivered_ = 0;     // output frames handed out since the file start
  int64_t startFrames_ = 0;   // delivered_ at the last seek
  double startMs_ = 0;        // the last seek's target
  int64_t skipUntil_ = 0;     // source samples before this position are dropped
  int64_t sourcePos_ = -1;    // source sample position of the next decoded sample
  bool packetsRead_ = false;  // since the last seek
  bool fresh_ = false;        // demuxer just opened, nothing read or sought

  // Packets of the other kind met while reading one kind, kept once that kind is
  // being read (ReadAudio / ReadVideo called since the last seek).
  std::deque<ff::Packet> audioQueue_, videoQueue_;
  size_t audioQueueBytes_ = 0;
  bool wantAudio_ = true, wantVideo_ = false;
};

}  // namespace qel::media
