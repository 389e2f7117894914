#include "processing/operation_frame.h"

#include <algorithm>

#include "document/temp_names.h"
#include "platform/files.h"

namespace qel::processing {

using document::HistoryStep;
using document::ViewStack;

uint64_t CopyBlockBytes(const document::DocumentFormat& format, int64_t toCopy) {
  const uint64_t second =
      std::max<uint64_t>(static_cast<uint64_t>(format.sampleRate) *
                             static_cast<uint64_t>(std::max(format.BlockAlign(), 1)),
                         1);
  const uint64_t ten = second * 10;
  return ten > static_cast<uint64_t>(std::max<int64_t>(toCopy, 0)) ? second : ten;
}

bool CopyInBlocks(document::CSampleStoreFile& source, uint64_t from,
                  document::CSampleStoreFile& target, int64_t count,
                  const document::DocumentFormat& format,
                  const std::function<void(int64_t done)>& progress,
                  const std::function<bool()>& cancelled) {
  const uint64_t block = CopyBlockBytes(format, count);
  int64_t done = 0;
  while (done < count) {
    const uint64_t n = std::min<uint64_t>(block, static_cast<uint64_t>(count - done));
    if (!document::CopySampleData(source, from + static_cast<uint64_t>(done), target,
                                  target.Position(), n))
      return false;
    done += static_cast<int64_t>(n);
    progress(done);
    if (cancelled()) break;
  }
  return true;
}

OperationFrame::OperationFrame(document::Document& doc, document::OperationObserver& observer,
                               int32_t code)
    : doc_(doc), observer_(observer), code_(code) {
  if (const HistoryStep* step = doc.Current()) previous_ = *step;
}

OperationFrame::~OperationFrame() {
  if (!finished_) Discard();
}

int64_t OperationFrame::SelectionStart() const {
  return previous_.view.startSelect[previous_.view.zoom];
}

int64_t OperationFrame::SelectionEnd() const {
  return previous_.view.endSelect[previous_.view.zoom];
}

void OperationFrame::Progress(double done, double total) const {
  const double fraction = total > 0 ? std::min(done / total, 1.0) : 1.0;
  observer_.Progress(static_cast<int32_t>(fraction * doc_.progressScale));
}

void OperationFrame::Discard() {
  source_.Close();
  destination_.Close();
  if (!destinationName_.empty()) platform::DeleteFile(destinationName_);
  destinationName_.clear();
}

void OperationFrame::Abandon(bool report) {
  finished_ = true;
  Discard();
  doc_.SetStatus(status::kIdle);
  if (report) observer_.OperationEnded();
}

bool OperationFrame::CopyRun(int64_t count) {
  const double sourceSize = static_cast<double>(source_.DataSize());
  return CopyInBlocks(
      source_, source_.Position(), destination_, count, previous_.format,
      [&](int64_t) { Progress(static_cast<double>(source_.Position()), sourceSize); },
      [&] { return Cancelled(); });
}

OperationFrame::Outcome OperationFrame::Begin(const document::DocumentFormat& format,
                                              int64_t headBytes, bool reportFailure) {
  doc_.SetStatus(code_);
  headBytes_ = headBytes;
  bool ok = document::MakeTempFileName(doc_.TempDirectory(), &destinationName_) &&
            destination_.Create(destinationName_, format.sampleRate, format.channels,
                                format.sampleSize, format.channelsMask) &&
            source_.Open(previous_.sampleFile, document::kModeRead) && CopyRun(headBytes);
  if (!ok) {
    Abandon(reportFailure);
    return Outcome::kFailed;
  }
  if (Cancelled()) {
    Abandon();
    return Outcome::kCancelled;
  }
  return Outcome::kDone;
}

OperationFrame::Outcome OperationFrame::Finish(int64_t tailFrom) {
  doc_.SetStatus(code_);
  tailFrom_ = tailFrom;
  const int64_t middleEnd = static_cast<int64_t>(destination_.Position());
  const int64_t rest = static_cast<int64_t>(source_.DataSize()) - tailFrom;
  if (!source_.Seek(tailFrom) || (rest > 0 && !CopyRun(rest))) {
    Abandon();
    return Outcome::kFailed;
  }
  if (Cancelled()) {
    Abandon();
    return Outcome::kCancelled;
  }
  return TakeStep(HistoryStep{}, true, middleEnd);
}

OperationFrame::Outcome OperationFrame::FinishWhole(ViewStack view, bool rewrite) {
  if (Cancelled()) {
    Abandon();
    return Outcome::kCancelled;
  }
  HistoryStep step;
  step.view = view;
  return TakeStep(std::move(step), false, 0, rewrite);
}

OperationFrame::Outcome OperationFrame::TakeStep(HistoryStep step, bool placeBySelection,
                                                 int64_t middleEnd, bool rewrite) {
  const document::DocumentFormat format{destination_.SampleRate(), destination_.Channels(),
                                        destination_.SampleSize(), destination_.ChannelsMask()};
  const int64_t length = static_cast<int64_t>(destination_.DataSize());
  source_.Close();
  if (!destination_.Close()) {
    Abandon();
    return Outcome::kFailed;
  }
  step.sampleFile = destinationName_;
  step.format = format;
  step.length = length;
  step.ownsFiles = true;
  ViewStack& view = step.view;
  view.endView[0] = length;
  if (placeBySelection) {
    // The new state: the written range selected (when there was a selection and
    // something was written), a zoomed view stretched by the change in length.
    const ViewStack& before = previous_.view;
    const int zb = before.zoom;
    const int64_t ss = before.startSelect[zb], es = before.endSelect[zb];
    const int64_t d0 = es - ss;
    const int64_t d1 = middleEnd - ss;
    if (zb > 0) {
      const int64_t e = before.endView[zb] - d0 + d1;
      if (before.startView[zb] < e) {
        view.zoom = 1;
        view.startView[1] = before.startView[zb];
        view.endView[1] = e;
      }
    }
    const int z = view.zoom;
    view.startSelect[z] = ss;
    const int64_t e2 = es - d0 + d1;
    view.endSelect[z] = e2 >= 0 ? e2 : 0;
    if (before.selected && d1 > 0) view.selected = 1;
    if (!view.selected) view.endSelect[z] = view.startSelect[z];
  } else if (view.selected) {
    view.endSelect[0] = length;  // everything is selected
  }

  std::optional<document::PeakOverview> overview;
  if (placeBySelection) overview = CarriedOverview(middleEnd);
  finished_ = true;
  destinationName_.clear();  // the history owns the file now
  doc_.history.TakeStep(std::move(step), code_);
  // The overview in memory follows the new version, or goes when it was not
  // carried (the picture then builds one when it needs it).
  if (overview)
    doc_.KeepOverview(std::move(*overview));
  else
    doc_.DropOverview();
  doc_.SetStatus(status::kIdle);
  auto changed = [&](int32_t number) { observer_.MarkerChanged(number); };
  if (rewrite) {
    // The whole old document became the whole new one: carried as a
    // replacement of everything, counted in the old frame size.
    HistoryStep before = previous_;
    before.view = ViewStack{};
    before.view.endSelect[0] = previous_.length;
    HistoryStep& current = *doc_.Current();
    const ViewStack placed = current.view;
    const int64_t oldFrame = std::max(previous_.format.BlockAlign(), 1);
    const int64_t newFrame = std::max(current.format.BlockAlign(), 1);
    current.view = ViewStack{};
    current.view.endSelect[0] = current.length / newFrame * oldFrame;
    document::CarryMarkers(before, current, changed);
    current.view = placed;
  } else {
    document::CarryMarkers(previous_, *doc_.Current(), changed);
  }
  AdoptCurrentStep(doc_, observer_);
  observer_.OperationEnded();
  return Outcome::kDone;
}

std::optional<document::PeakOverview> OperationFrame::CarriedOverview(int64_t middleEnd) const {
  const document::DocumentFormat& f = previous_.format;
  const int64_t align = f.BlockAlign();
  if (!doc_.overviewLoaded || tailFrom_ < 0 || align <= 0 ||
      doc_.overview.Frames() != previous_.length / align || destination_.Channels() != f.channels ||
      destination_.SampleSize() != f.sampleSize || destination_.SampleRate() != f.sampleRate)
    return std::nullopt;
  document::CSampleStoreFile written;
  if (!written.Open(destinationName_, document::kModeRead)) return std::nullopt;
  const document::VersionSplice splice{headBytes_ / align, (middleEnd - headBytes_) / align,
                                       tailFrom_ / align};
  document::PeakOverview carried;
  if (!document::SpliceOverview(doc_.overview, splice, written, &carried)) return std::nullopt;
  return carried;
}

}  // namespace qel::processing
