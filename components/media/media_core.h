// The media-core objects: an audio format, a data buffer, a block of audio
// frames behind its wave-format record, and the extra data (markers, comment)
// that travels with a media file.
#pragma once

#include <string>
#include <vector>

#include "com/classtable.h"
#include "external/media_defaults.h"

namespace qel::media {

class AudioFormat final : public com::DispatchObject<AudioFormat, IAudioFormatDefaults> {
 public:
  com::HRESULT get_FormatTag(int32_t* v) override { return Get(formatTag_, v); }
  com::HRESULT put_FormatTag(int32_t v) override { return Put(formatTag_, v); }
  com::HRESULT get_SampleRate(int32_t* v) override { return Get(sampleRate_, v); }
  com::HRESULT put_SampleRate(int32_t v) override { return Put(sampleRate_, v); }
  com::HRESULT get_SampleSize(int32_t* v) override { return Get(sampleSize_, v); }
  com::HRESULT put_SampleSize(int32_t v) override { return Put(sampleSize_, v); }
  com::HRESULT get_Channels(int32_t* v) override { return Get(channels_, v); }
  com::HRESULT put_Channels(int32_t v) override { return Put(channels_, v); }
  com::HRESULT get_ChannelsMask(int32_t* v) override { return Get(channelsMask_, v); }
  com::HRESULT put_ChannelsMask(int32_t v) override { return Put(channelsMask_, v); }
  com::HRESULT get_BlockAlign(int32_t* v) override { return Get(sampleSize_ / 8 * channels_, v); }
  com::HRESULT get_Codec(com::BSTR* v) override;
  com::HRESULT put_Codec(com::BSTR v) override;
  com::HRESULT get_BitRate(int32_t* v) override { return Get(bitRate_, v); }
  com::HRESULT put_BitRate(int32_t v) override { return Put(bitRate_, v); }

 private:
  static com::HRESULT Get(int32_t value, int32_t* out) {
    if (!out) return com::E_POINTER;
    *out = value;
    return com::S_OK;
  }
  static com::HRESULT Put(int32_t& field, int32_t value) {
    field = value;
    return com::S_OK;
  }
  int32_t formatTag_ = 1, sampleRate_ = 0, sampleSize_ = 0, channels_ = 0, channelsMask_ = 0;
  int32_t bitRate_ = 0;
  std::u16string codec_;
};

// A growable byte buffer with a used size, shared by the buffer objects.
struct ByteBlock {
  std::vector<uint8_t> bytes;
  int32_t size = 0;
  com::HRESULT Allocate(int32_t count);
  com::HRESULT SetSize(int32_t count);
};

class DataBuffer final : public com::DispatchObject<DataBuffer, IDataBufferDefaults> {
 public:
  com::HRESULT get_DataSize(int32_t* v) override;
  com::HRESULT put_DataSize(int32_t v) override { return data_.SetSize(v); }
  com::HRESULT AllocateBuffer(int32_t bytes) override { return data_.Allocate(bytes); }
  com::HRESULT GetBuffer(uint8_t** buffer) override;

 private:
  ByteBlock data_;
};

class AudioFrameData final
    : public com::DispatchObject<AudioFrameData, IAudioFrameDataDefaults, IDataBuffer> {
 public:
  com::HRESULT get_DataSize(int32_t* v) override;
  com::HRESULT put_DataSize(int32_t v) override { return data_.SetSize(v); }
  com::HRESULT AllocateBuffer(int32_t bytes) override { return data_.Allocate(bytes); }
  com::HRESULT get_FormatSize(int32_t* v) override;
  com::HRESULT AllocateFormat(int32_t bytes) override;
  com::HRESULT get_TimeStamp(double* v) override;
  com::HRESULT put_TimeStamp(double v) override;
  com::HRESULT get_Duration(double* v) override;
  com::HRESULT put_Duration(double v) override;
  com::HRESULT GetBuffer(uint8_t** buffer) override;
  com::HRESULT GetFormat(uint8_t** format) override;

 private:
  ByteBlock data_;
  std::vector<uint8_t> format_;
  double timeStamp_ = 0, duration_ = 0;
};

class ExtraData final : public com::DispatchObject<ExtraData, IExtraDataDefaults> {
 public:
  struct Marker {
    double position = 0, length = 0;  // milliseconds
    std::u16string label, note, attributes;
  };
  com::HRESULT get_MarkersCount(int32_t* v) override;
  com::HRESULT AddMarker(double position, double length, com::BSTR label, com::BSTR note,
                         com::BSTR attributes) override;
  com::HRESULT ClearMarkers() override;
  com::HRESULT get_MarkerPosition(int32_t index, double* v) override;
  com::HRESULT get_MarkerLength(int32_t index, double* v) override;
  com::HRESULT get_MarkerLabel(int32_t index, com::BSTR* v) override;
  com::HRESULT get_MarkerNote(int32_t index, com::BSTR* v) override;
  com::HRESULT get_MarkerAttributes(int32_t index, com::BSTR* v) override;
  com::HRESULT get_Comment(com::BSTR* v) override;
  com::HRESULT put_Comment(com::BSTR v) override;

  const std::vector<Marker>& Markers() const { return markers_; }

 private:
  const Marker* At(int32_t index) const;
  std::vector<Marker> markers_;
  std::u16string comment_;
};

}  // namespace qel::media
