#include "processing/convert_sample_type.h"

#include <algorithm>
#include <vector>

#include "pcm/pcm_convert.h"
#include "processing/operation_frame.h"

namespace qel::processing {

ErrorNumber ConvertSampleType(document::Document& doc, document::OperationObserver& observer,
                              const document::DocumentFormat& wanted) {
  if (!doc.IsOpen() || !doc.Idle()) return kErrNone;
  doc.progressScale = 95;
  const document::DocumentFormat from = doc.format;
  if (wanted.sampleRate == from.sampleRate && wanted.channels == from.channels &&
      wanted.sampleSize == from.sampleSize)
    return kErrNone;

  PCM_CODEC::CPcmConvert converter;
  converter.Configure(doc.convertSettings);
  converter.SetInputFormat(from.sampleRate, from.channels, from.sampleSize, from.channelsMask);
  converter.SetOutputFormat(wanted.sampleRate, wanted.channels, wanted.sampleSize,
                            wanted.channelsMask);
  const PCM_CODEC::PcmFormat& out = converter.OutputFormat();
  const document::DocumentFormat to{out.Rate(), out.Channels(), out.Bits(), out.channelMask};

  OperationFrame frame(doc, observer, status::kConvertSampleType);
  // Preparation failures change nothing, are no error and fire no event.
  if (frame.Begin(to, 0, /*reportFailure=*/false) != OperationFrame::Outcome::kDone)
    return kErrNone;
  document::CSampleStoreFile& source = frame.Source();
  document::CSampleStoreFile& target = frame.Destination();
  const int64_t align = std::max(from.BlockAlign(), 1);
  const int64_t perSecond = int64_t{from.sampleRate} * align;
  const size_t block =
      static_cast<size_t>(std::max<int64_t>(perSecond / 10 / align * align, align));
  std::vector<uint8_t> buffer(block + 1024);

  // A conversion the converter cannot prepare changes nothing and is no error.
  if (!converter.Init()) {
    frame.Abandon();
    return kErrNone;
  }
  bool ok = true;
  const double total = static_cast<double>(source.DataSize());
  while (ok && !frame.Cancelled()) {
    const size_t got = source.Read(buffer.data(), block);
    if (got == 0) break;
    PCM_CODEC::ConvertedBlock converted =
        converter.Convert(buffer.data(), static_cast<int64_t>(got));
    if (converted.length > 0 &&
        !target.Write(converted.data, static_cast<size_t>(converted.length)))
      ok = false;
    frame.Progress(static_cast<double>(source.Position()), total);
  }
  // A failed read ends the loop as the end of the data would.
  if (source.LastError()) ok = false;
  if (!ok) {
    frame.Abandon();
    return kErrFileAccess;
  }
  switch (frame.FinishWhole(document::ViewStack{}, /*rewrite=*/true)) {
    case OperationFrame::Outcome::kFailed:
      return kErrFileAccess;
    default:
      return kErrNone;
  }
}

}  // namespace qel::processing
