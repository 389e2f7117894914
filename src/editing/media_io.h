// Opening media files and saving the document through the media-file
// component (the contract in external/media.h).
#pragma once

#include <string>

#include "com/object.h"
#include "document/document.h"
#include "external/media.h"

namespace qel::editing {

// What an open asks for. Format values below 1 take the file's own.
struct OpenRequest {
  std::string name;
  int32_t videoTrack = -1;
  int32_t audioTrack = 0;
  document::DocumentFormat wanted{-1, -1, -1, 0};
  IAudioFormat* rawFormat = nullptr;  // the input format of a raw file
};

// What an open found besides the document.
struct OpenResult {
  com::ComPtr<IAudioFormat> audioFormat;  // the file's audio format
  com::ComPtr<IVideoFormat> videoFormat;  // its video format, when it has video
  com::HRESULT component = com::S_OK;     // the component's own failure, if any
};

// Whether a name ends in ".raw" (any case): such files have no header.
bool HasRawExtension(const std::string& name);

// Reads a media file through the reader into a new first version of the
// document, with its markers. An error number, or kErrNone with
// result->component set when the component refused the file. A failed open
// leaves no file behind.
ErrorNumber ReadMediaFile(document::Document& doc, document::OperationObserver& observer,
                          IMediaFile& reader, const OpenRequest& request, OpenResult* result);

struct SaveRequest {
  std::string name;
  bool selectionOnly = false;
  int32_t markersSaveList = 0;     // 0 or less: the markers of the saved range go along
  IAudioFormat* format = nullptr;  // the format to write; null: documentFormat
  IAudioFormat* documentFormat = nullptr;
  IVideoFormat* videoFormat = nullptr;
  int32_t fileType = 0;
  bool withVideo = false;           // the source's video stream is copied beside the audio
  IExtraData* hostExtra = nullptr;  // the host's extra data for the save, if any
};

// Writes the document (or its selection) through the writer. The named file
// is written beside its name and renamed into place once complete, so a save
// that fails or is cancelled leaves whatever was there before untouched.
ErrorNumber WriteMediaFile(document::Document& doc, document::OperationObserver& observer,
                           IMediaFile& writer, const SaveRequest& request, com::HRESULT* component);

// Markers of an opened file, from its extra data (milliseconds).
void ReadMarkers(document::Document& doc, IExtraData& extra);
// The markers of the saved range [from, to) (frames) into extra data, in
// milliseconds relative to the range start, with their attribute text.
void WriteMarkers(const document::HistoryStep& step, int64_t from, int64_t to, int32_t sampleRate,
                  IExtraData& extra);

}  // namespace qel::editing
