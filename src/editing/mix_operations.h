// Bringing outside audio into the document and handing it out again: Mix (the
// control clipboard file mixed in at the cursor), MixFromFile and PasteFromFile
// (a media file decoded and converted to the document's format by the media
// component), the selection as a wave image for the system clipboard, and
// sample arrays taken from and put into the document.
//
// Each runs on the operation frame and answers an error number; a cancelled
// operation, or one whose read or write fails, takes no step: the document,
// its history and the temporary folder stay as they were.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "com/object.h"
#include "document/document.h"
#include "external/media.h"

namespace qel::editing {

// Gains as factors (a host's percentages divided by 100): the document's own
// samples and the incoming ones.
struct MixGains {
  double document = 1.0;
  double incoming = 1.0;
};

// d × gains.document + p × gains.incoming, truncated toward zero and clipped,
// for one sample of `bits` (8: the stored unsigned byte, offset included,
// clipped to 0..255; 16: −32768..32767; 24: the sample in the upper bytes of 32,
// each product truncated to 64 bits before the sum, clipped to ±2147483647 and
// the upper three bytes stored; 32: clipped to ±2147483647). Writes into d.
void MixSample(uint8_t* d, const uint8_t* p, int bits, MixGains gains);

// Mixes `frames` incoming frames into document frames of `channels` channels.
// With incomingChannels equal to channels each channel takes its own sample;
// with a mono input every mixed channel takes the same one. Only channels
// whose entry of `mixed` is true change.
void MixFrames(uint8_t* document, const uint8_t* incoming, size_t frames, int bits, int channels,
               int incomingChannels, std::span<const bool> mixed, MixGains gains);

// What a media-file operation found besides its own error number: the result
// of the component's open or read that ended it (S_OK when none failed).
struct MediaOutcome {
  ErrorNumber error = kErrNone;
  com::HRESULT component = com::S_OK;
};

// The media file and how to read it: `rawFormat` is the input format kept for
// ".raw" names.
struct MediaSource {
  IMediaFile& reader;
  std::string name;
  IAudioFormat* rawFormat = nullptr;
};

// The control clipboard mixed in from StartSelect, at most up to EndSelect
// (with a selection) or the end; the length never changes. A stereo clip mixes
// every channel, a mono one the enabled channels; the flags read back as they
// were.
ErrorNumber Mix(document::Document& doc, document::OperationObserver& observer, MixGains gains);
// The media file mixed into the selection, every channel alike.
MediaOutcome MixFromFile(document::Document& doc, document::OperationObserver& observer,
                         const MediaSource& source, MixGains gains);
// The media file inserted at the cursor or over the selection, then selected.
MediaOutcome PasteFromFile(document::Document& doc, document::OperationObserver& observer,
                           const MediaSource& source);

// A wave image from the system clipboard pasted as PasteFromFile pastes a
// file: through an exchange file in the system's temporary folder, deleted
// afterwards.
MediaOutcome PasteWaveImage(document::Document& doc, document::OperationObserver& observer,
                            IMediaFile& reader, std::span<const uint8_t> image);

// The selection as a RIFF WAVE image, for the system clipboard. Nothing (and
// kErrNone) without a selection or when the host cancelled.
ErrorNumber CopyWaveImage(document::Document& doc, document::OperationObserver& observer,
                          std::vector<uint8_t>* image);

// Up to `frames` frames from StartSelect into `buffer`, behind the exchanged
// wave-format record; DataSize counts record and samples.
ErrorNumber GetAudioArray(document::Document& doc, int32_t frames, IDataBuffer& buffer);
// While recording: the last (up to) `frames` frames before byte `end`, the
// record position, in the same form.
ErrorNumber GetRecordedAudio(document::Document& doc, int64_t end, int32_t frames,
                             IDataBuffer& buffer);
// The bytes, as samples of the document's format, over the selection or at the
// cursor. A size that is not a whole number of frames is kErrInvalidArgument.
ErrorNumber PutAudioArray(document::Document& doc, document::OperationObserver& observer,
                          std::span<const uint8_t> bytes);

}  // namespace qel::editing
