// Writing one media file: wave files (RIFF, RF64, headerless) by the component's
// own writer, every other type through libavcodec encoders and libavformat
// muxers, optionally with a video stream copied packet for packet. The file is
// written beside the target under a hidden temporary name and takes the
// target's name only when it is complete; a writer destroyed before Finish
// removes it, so the target is never left half-written.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ffmpeg_util.h"
#include "media_errors.h"
#include "media_marker.h"
#include "riff.h"
#include "wave_format.h"

namespace qel::media {

// The markers and comment a written file carries.
struct WriterMarkers {
  std::vector<MediaMarker> markers;
  std::u16string comment;
};

struct VideoSource {
  ff::Parameters parameters;  // codec parameters of the copied stream
  AVRational timeBase{0, 1};
  AVRational frameRate{0, 1};
};

struct WriterSettings {
  int32_t fileType = 0;
  PcmFormat format;     // the audio as WriteAudio receives it
  int32_t bitRate = 0;  // bits per second for lossy types; 0 = the type's default
  WriterMarkers markers;
  const VideoSource* video = nullptr;  // a video stream to copy, or null
};

class MediaWriter {
 public:
  virtual ~MediaWriter() = default;
  // Frames of interleaved PCM in the settings' format.
  virtual MediaError WriteAudio(const uint8_t* pcm, size_t frames) = 0;
  // One packet of the copied video stream, timed in `timeBase`.
  virtual MediaError WriteVideo(AVPacket* packet, AVRational timeBase);
  // Appends `bytes` of PCM in the file's own format, read from fd at offset.
  // Wave files copy them inside the kernel; other types read them in blocks.
  virtual MediaError WriteAudioFromFd(int fd, uint64_t offset, uint64_t bytes, int blockAlign);
  // Markers given after the file was created (kept where the type allows).
  virtual void UpdateMarkers(const WriterMarkers&) {}
  // Completes the file and gives it the target's name.
  virtual MediaError Finish() = 0;
  const std::string& Detail() const { return detail_; }

 protected:
  std::string detail_;
};

MediaError CreateWriter(const std::string& target, const WriterSettings& settings,
                        std::unique_ptr<MediaWriter>* writer, std::string* detail);

}  // namespace qel::media
