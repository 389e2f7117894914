// What the control keeps while it plays or records: the arguments of the last
// Play and Record, the format the device was given, where the next block comes
// from (or goes to), and the blocks on their way to the listener, so that the
// play cursor follows what is heard (marker gaps, backward play and a format
// the device forced on us included).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "com/object.h"
#include "external/audio.h"
#include "external/media.h"
#include "platform/message_queue.h"
#include "processing/preview_producer.h"

namespace qel {

// The way device events reach the control: a sink called on the device's
// thread posts each event to the control's queue; the control runs it on its
// own thread unless it came from a stream that has been stopped since (the
// stream number moves on at every stop) or the control has gone.
struct DeviceEventRoute {
  using Handler = std::function<void(uint64_t stream, int32_t event, int32_t a, int32_t b)>;
  std::shared_ptr<Handler> handler;  // the control's; reset when it goes
  std::atomic<uint64_t> stream{1};

  // The queue may change (a host gives the control its own) while a device
  // thread posts.
  void SetQueue(std::shared_ptr<platform::MessageQueue> q) {
    std::lock_guard lock(mutex_);
    queue_ = std::move(q);
  }
  void Post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (queue_) queue_->Post(std::move(task));
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<platform::MessageQueue> queue_;
};

// Makes the sink for one component's events and connects it (the cookie is
// kept for Disconnect). Failure: the component plays but the control hears nothing.
struct DeviceConnection {
  com::ComPtr<com::IConnectionPoint> point;
  uint32_t cookie = 0;
  void Connect(com::IUnknown* component, const com::IID& events,
               std::shared_ptr<DeviceEventRoute> route);
  void Disconnect();
};

struct PlaybackState {
  int32_t playType = 0;
  int32_t markersPlayList = 0;
  bool backward = false;
  int64_t feed = 0;  // byte position of the next block in the document
  // The format given to the device, and whether it is the 44100 Hz 16-bit
  // fallback into which blocks are converted.
  int32_t rate = 0, channels = 0, bits = 0, mask = 0;
  bool fallback = false;
  std::vector<int> channelMap;  // the document channel of each played channel
  // Blocks queued: where in the document each came from and how many bytes it
  // was for the device; position reports are spent through them in order.
  struct Segment {
    int64_t docStart;
    int64_t docBytes;
    int64_t deviceBytes;
    int64_t heard = 0;  // device bytes reported of this block
  };
  std::deque<Segment> segments;
  int64_t bytesPlayed = 0;  // device bytes reported since Play
  com::ComPtr<IDataBuffer> buffer;
  // An effect's preview: the status code it plays under and the producer of
  // its blocks; the Direction to put back when it ends (a preview always
  // plays forward).
  int32_t previewCode = 0;
  std::unique_ptr<processing::PreviewProducer> preview;
  int32_t savedDirection = 1;
};

struct RecordState {
  int32_t recordType = 1;
  int64_t feed = 0;  // where the next block is written
  int64_t bytesRecorded = 0;
  double cpuSeconds = 0;  // the process's CPU time at the last block
  int32_t displayMode = 1;
  // The error that ended the last recording early (a full disk), until Stop
  // hands it to the host.
  int32_t failure = 0;
};

}  // namespace qel
