// The media-file object (`QelVideoFile3.VideoFile`, IMediaFile): opens and reads
// any audio track of the files FFmpeg reads, writes the types of file_types.h,
// and carries a video stream from a read file into a written one unchanged.
// Also the video-format object it hands out.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "com/classtable.h"
#include "external/media_defaults.h"
#include "media_errors.h"
#include "media_reader.h"
#include "media_writer.h"
#include "pcm_convert.h"

namespace qel::media {

// Component-private: what a video-format object of this component knows beyond
// IVideoFormat, so that a writer can copy the stream it describes.
struct IVideoStreamSource : com::IUnknown {
  static constexpr com::IID kIID = com::MakeGuid("{5C3F0D4B-8E51-4B8B-9B8E-2C6F1E0A7D31}");
  virtual const VideoSource& Source() const = 0;

 protected:
  ~IVideoStreamSource() = default;
};

class VideoFormat final
    : public com::DispatchObject<VideoFormat, IVideoFormatDefaults, IVideoStreamSource> {
 public:
  // A description of `stream` (with a copy of its codec parameters); null when
  // the parameters cannot be copied.
  static com::ComPtr<VideoFormat> From(const AVStream& stream);

  com::HRESULT get_Width(int32_t* v) override;
  com::HRESULT get_Height(int32_t* v) override;
  com::HRESULT get_FrameRate(double* v) override;
  com::HRESULT get_Codec(com::BSTR* v) override;
  const VideoSource& Source() const override { return source_; }

 private:
  VideoSource source_;
};

class VideoFile final : public com::DispatchObject<VideoFile, IMediaFileDefaults> {
 public:
  com::HRESULT OpenFile(com::BSTR fileName, int32_t* result) override;
  com::HRESULT CreateFile(com::BSTR fileName, int32_t* result) override;
  com::HRESULT CloseFile() override;
  com::HRESULT SetAdditionalParam(com::BSTR name, com::VARIANT value) override;
  com::HRESULT ReadAudio(double milliseconds, com::IUnknown** audioData) override;
  com::HRESULT WriteAudio(com::IUnknown* audioData) override;
  com::HRESULT Seek(double milliseconds) override;
  com::HRESULT get_VideoFormat(com::IUnknown** v) override;
  com::HRESULT put_VideoFormat(com::IUnknown* v) override;
  com::HRESULT get_AudioFormat(com::IUnknown** v) override;
  com::HRESULT put_AudioFormat(com::IUnknown* v) override;
  com::HRESULT get_Duration(double* v) override;
  com::HRESULT get_VideoTracksCount(int32_t* v) override;
  com::HRESULT put_VideoTracksCount(int32_t v) override;
  com::HRESULT get_AudioTracksCount(int32_t* v) override;
  com::HRESULT put_AudioTracksCount(int32_t v) override;
  com::HRESULT get_VideoTrack(int32_t* v) override;
  com::HRESULT put_VideoTrack(int32_t v) override;
  com::HRESULT get_AudioTrack(int32_t* v) override;
  com::HRESULT put_AudioTrack(int32_t v) override;
  com::HRESULT get_ExtraData(com::IUnknown** v) override;
  com::HRESULT put_ExtraData(com::IUnknown* v) override;
  com::HRESULT get_FileType(int32_t* v) override;
  com::HRESULT put_FileType(int32_t v) override;
  com::HRESULT get_OutputAudioFormat(com::IUnknown** v) override;
  com::HRESULT put_OutputAudioFormat(com::IUnknown* v) override;
  com::HRESULT put_Prepare(int32_t v) override;
  com::HRESULT ReadVideo(com::IUnknown** videoData) override;
  com::HRESULT WriteVideo(com::IUnknown* videoData) override;
  com::HRESULT WriteAudioFromFile(com::BSTR fileName, int64_t offset, int64_t bytes) override;
  com::HRESULT get_LastError(com::BSTR* v) override;

 private:
  enum class Mode { Idle, Reading, RawPending, Writing };

  // Records `error` as the last error and answers it as a failed call.
  com::HRESULT Failure(MediaError error, const std::string& detail = {});
  // Ends whatever is open; a file being written and not closed is discarded.
  void Reset();
  MediaError OpenReader(const std::optional<RawInput>& raw);
  void PublishMarkers();
  WriterMarkers CollectMarkers() const;
  static std::optional<PcmFormat> ReadFormat(IAudioFormat* format, int32_t* tag);

  Mode mode_ = Mode::Idle;
  std::string path_;
  std::unique_ptr<MediaReader> reader_;
  std::unique_ptr<MediaWriter> writer_;
  std::u16string lastError_;
  MediaError failedWrite_ = MediaError::None;

  // What the caller put.
  int32_t fileType_ = 37;
  int32_t videoTracksCount_ = 0, audioTracksCount_ = 1;
  int32_t videoTrack_ = -1, audioTrack_ = 0;
  com::ComPtr<IAudioFormat> audioFormat_, outputFormat_;
  com::ComPtr<IVideoFormat> videoFormat_;
  com::ComPtr<IExtraData> extraData_;

  // Writing: blocks whose record differs from the file's format are converted.
  PcmFormat writeFormat_;
  std::optional<PcmFormat> blockFormat_;
  PcmConverter blockConverter_;
  std::vector<uint8_t> converted_;
};

}  // namespace qel::media
