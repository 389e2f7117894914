// The result codes the component answers (shared with the control's error table,
// which hands them to the host unchanged) and their messages.
#pragma once

#include <cstdint>
#include <string_view>

namespace qel::media {

enum class MediaError : uint32_t {
  None = 0,
  FileAccess = 0x80040303,
  FileFormat = 0x80040304,
  VideoUnsupported = 0x80040305,
  AudioUnsupported = 0x80040306,
  InvalidOperation = 0x80040307,
  InvalidArgument = 0x80040308,
  QuickTimeContainer = 0x80040401,
  QuickTimeAudioCodec = 0x80040404,
  QuickTimeVideoCodec = 0x80040405,
  AviContainer = 0x80040501,
  AcmAudioCodec = 0x80040502,
  AcmVideoCodec = 0x80040503,
};

constexpr int32_t Code(MediaError e) {
  return static_cast<int32_t>(e);
}

constexpr std::u16string_view Message(MediaError e) {
  switch (e) {
    case MediaError::None:
      return u"";
    case MediaError::FileAccess:
      return u"File access error.";
    case MediaError::FileFormat:
      return u"File format error.";
    case MediaError::VideoUnsupported:
      return u"Video format unsupported.";
    case MediaError::AudioUnsupported:
      return u"Audio format unsupported.";
    case MediaError::InvalidOperation:
      return u"Invalid operation.";
    case MediaError::InvalidArgument:
      return u"Invalid argument.";
    case MediaError::QuickTimeContainer:
      return u"QuickTime container not correct.";
    case MediaError::QuickTimeAudioCodec:
      return u"QuickTime audio codec not installed.";
    case MediaError::QuickTimeVideoCodec:
      return u"QuickTime video codec is not installed.";
    case MediaError::AviContainer:
      return u"AVI container not correct.";
    case MediaError::AcmAudioCodec:
      return u"ACM audio codec is not installed.";
    case MediaError::AcmVideoCodec:
      return u"ACM video codec is not installed.";
  }
  return u"Unexpected error.";
}

}  // namespace qel::media
