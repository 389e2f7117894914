// Playing the document: Play, Pause, Continue and Stop for playback, the
// player's events and the play cursor. The player runs a thread of its own;
// its events reach this file only through the control's message queue, so
// everything here runs on the host's thread.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "core/audio_editor.h"
#include "document/sample_store.h"
#include "editing/positions.h"
#include "processing/effect_catalogue.h"

namespace qel {

using namespace com;
using namespace document;

namespace {

constexpr std::u16string_view kPlayerNotRegistered = u"QelAudioDXPlayer4 is not registered.";
constexpr std::u16string_view kRecorderNotRegistered = u"QelAudioRecord4 is not registered.";
constexpr int32_t kPlayerEndOfData = 5;
constexpr int32_t kPlayerPosition = 3;

// The sink of one component's events: called on the device's thread, it only
// posts the event to the control's queue.
class DeviceSink final : public ComObject<DeviceSink, IDispatch> {
 public:
  DeviceSink(std::shared_ptr<DeviceEventRoute> route, bool recorder)
      : route_(std::move(route)), recorder_(recorder) {}

  HRESULT GetTypeInfoCount(uint32_t* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                 uint32_t*) override {
    // Arguments arrive reversed; the events carry at most two longs.
    int32_t args[2] = {0, 0};
    const uint32_t count = params ? std::min<uint32_t>(params->cArgs, 2) : 0;
    for (uint32_t i = 0; i < count; ++i) {
      const VARIANT& v = params->rgvarg[params->cArgs - 1 - i];
      if (v.vt == VT_I4) args[i] = v.lVal;
    }
    const uint64_t stream = route_->stream.load(std::memory_order_acquire);
    std::weak_ptr<DeviceEventRoute::Handler> handler = route_->handler;
    const int32_t event = (recorder_ ? 100 : 0) + static_cast<int32_t>(id);
    route_->Post([handler, stream, event, a = args[0], b = args[1]] {
      if (auto h = handler.lock()) (*h)(stream, event, a, b);
    });
    return S_OK;
  }

 private:
  std::shared_ptr<DeviceEventRoute> route_;
  bool recorder_;
};

template <class I>
HRESULT CreateDevice(REFCLSID clsid, ComPtr<I>* out) {
  return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, I::kIID, out->OutVoid());
}

// Fires an event while holding a reference of the control's own: a handler
// may release the control.
template <class F>
void HoldWhile(CAudioEditor* control, F&& fire) {
  const ComPtr<CAudioEditor> self(control);
  fire();
}

int64_t ReadLE(const uint8_t* p, int bytes) {
  switch (bytes) {
    case 1:
      return static_cast<int64_t>(p[0]) - 128;
    case 2:
      return static_cast<int16_t>(p[0] | (p[1] << 8));
    case 3:
      return static_cast<int32_t>((p[0] << 8) | (p[1] << 16) |
                                  (static_cast<uint32_t>(p[2]) << 24)) >>
             8;
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

// The 44100 Hz 16-bit stream a device that refused the document's format gets:
// the nearest frame, the top 16 bits of each sample.
std::vector<uint8_t> ToFallback(const std::vector<uint8_t>& in, int32_t channels,
                                int32_t sampleSize, int32_t rate) {
  const int sampleBytes = sampleSize / 8;
  const int64_t align = int64_t{sampleBytes} * channels;
  const int64_t frames = static_cast<int64_t>(in.size()) / std::max<int64_t>(align, 1);
  const int64_t outFrames = frames * 44100 / std::max(rate, 1);
  std::vector<uint8_t> out(static_cast<size_t>(outFrames * channels * 2));
  uint8_t* o = out.data();
  for (int64_t f = 0; f < outFrames; ++f) {
    const uint8_t* frame = in.data() + (f * rate / 44100) * align;
    for (int32_t c = 0; c < channels; ++c) {
      const int64_t v = ReadLE(frame + c * sampleBytes, sampleBytes);
      const int shift = sampleSize - 16;
      const auto s16 = static_cast<int16_t>(shift >= 0 ? v >> shift : v << -shift);
      o[0] = static_cast<uint8_t>(s16 & 0xFF);
      o[1] = static_cast<uint8_t>((s16 >> 8) & 0xFF);
      o += 2;
    }
  }
  return out;
}

}  // namespace

void DeviceConnection::Connect(IUnknown* component, const IID& events,
                               std::shared_ptr<DeviceEventRoute> route) {
  ComPtr<IConnectionPointContainer> container;
  if (!component ||
      Failed(component->QueryInterface(IConnectionPointContainer::kIID, container.OutVoid())) ||
      Failed(container->FindConnectionPoint(events, point.Out())))
    return;
  const bool recorder = events == IID__IAudioRecord4Events;
  auto sink = DeviceSink::Create(std::move(route), recorder);
  if (!sink || Failed(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie))) point.Reset();
}

void DeviceConnection::Disconnect() {
  if (point) point->Unadvise(cookie);
  point.Reset();
}

// ---- creation ----

void CAudioEditor::CreateDevices() {
  deviceRoute_ = std::make_shared<DeviceEventRoute>();
  deviceRoute_->SetQueue(platform_.queue);
  deviceRoute_->handler = std::make_shared<DeviceEventRoute::Handler>(
      [this](uint64_t stream, int32_t event, int32_t a, int32_t b) {
        if (stream != deviceRoute_->stream.load(std::memory_order_acquire)) return;
        const ComPtr<CAudioEditor> self(this);
        OnDeviceEvent(event >= 100, event % 100, a, b);
      });

  state_->seekPlayback = [this](int64_t frames) {
    const ComPtr<CAudioEditor> self(this);
    StopPlayer();
    Model().SetStatus(status::kIdle);
    editing::SetCurrent(Model(), *state_, frames);
    return Play(play_.playType, play_.markersPlayList);
  };

  ComPtr<IAudioPlayer> player;
  if (Succeeded(CreateDevice(CLSID_AudioDXPlayer, &player))) {
    playerEvents_.Connect(player.get(), IID__IAudioDxPlayer4Events, deviceRoute_);
    playback_->Device().SetBufferSize(500);
    player->put_TimerInterval(20);
    player->put_BufferSize(500);
    player->SetAdditionalParam(Bstr(u"VolumeVersion").get(), Variant::I4(2));
    playback_->SetPlayer(player);
  } else {
    ShowNotRegistered(kPlayerNotRegistered);
  }
  ComPtr<IAudioRecorder> recorder;
  if (Succeeded(CreateDevice(CLSID_AudioRecord, &recorder))) {
    recorderEvents_.Connect(recorder.get(), IID__IAudioRecord4Events, deviceRoute_);
    recorder_->Device().SetBufferSize(1000);
    recorder_->SetRecorder(recorder);
  } else {
    ShowNotRegistered(kRecorderNotRegistered);
  }
}

void CAudioEditor::ReleaseDevices() {
  if (!deviceRoute_) return;
  if (IAudioPlayer* p = playback_ ? playback_->Player() : nullptr) p->Stop();
  if (IAudioRecorder* r = recorder_ ? recorder_->Recorder() : nullptr) r->Stop();
  deviceRoute_->stream.fetch_add(1, std::memory_order_acq_rel);
  playerEvents_.Disconnect();
  recorderEvents_.Disconnect();
  deviceRoute_->handler.reset();
  state_->seekPlayback = nullptr;
  const int32_t status = Model().Status();
  if (play_.previewCode != 0 && status == play_.previewCode) EndPreview();
  if (status == status::kPlaying || status == status::kPlayPaused ||
      status == status::kVideoPlayback || status == status::kRecording ||
      status == status::kRecordPaused)
    Model().SetStatus(status::kIdle);
}

void CAudioEditor::OnDeviceEvent(bool recorder, int32_t event, int32_t a, int32_t b) {
  if (recorder) {
    switch (event) {
      case 1:
        TakeRecordedBlock();
        break;
      case 2: {
        const int32_t status = Model().Status();
        if (status != status::kRecording) break;
        if (HistoryStep* step = Model().Current()) step->playPosition += a;
        record_.bytesRecorded += a;
        HoldWhile(this, [&] { sender_.ChangePlayPosition(); });
        break;
      }
      case 3:
        HoldWhile(this, [&] { sender_.GainChange(a); });
        break;
      default:
        break;
    }
    (void)b;
    return;
  }
  document::Document& doc = Model();
  switch (event) {
    case 1:
    case 4:
      if (doc.Status() == status::kPlaying ||
          (play_.previewCode != 0 && doc.Status() == play_.previewCode))
        QueueBlock();
      break;
    case kPlayerPosition:
      if (state_->previewMode == 0 && doc.Status() == status::kPlaying) AdvancePlayCursor(a);
      break;
    case kPlayerEndOfData:
      if (doc.Status() != status::kIdle) {
        Stop();
        if (play_.playType == 3) Play(3, play_.markersPlayList);
      }
      break;
    default:
      break;
  }
}

// ---- the player ----

void CAudioEditor::StopPlayer() {
  if (IAudioPlayer* p = playback_->Player()) p->Stop();
  // Whatever the stopped stream still had in the queue is stale now.
  deviceRoute_->stream.fetch_add(1, std::memory_order_acq_rel);
  play_.segments.clear();
}

int32_t CAudioEditor::InitPlayer() {
  IAudioPlayer* player = playback_->Player();
  int32_t result = kErrOutputDriver;
  if (Failed(player->Init(play_.rate, play_.channels, play_.bits, play_.mask, &result)))
    return kErrOutputDriver;
  return result;
}

HRESULT CAudioEditor::Play(int32_t playType, int32_t markersPlayList) {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  const int32_t status = doc.Status();
  if (status == status::kPlayPaused) return ContinuePlayback();
  if (status != status::kIdle && state_->previewMode == 0) return S_OK;
  HistoryStep* step = doc.Current();
  if (!step) return S_OK;
  if (doc.length == 0 && !(status >= 68 && status <= 72)) return S_OK;
  IAudioPlayer* player = playback_->Player();
  if (!player) {
    ShowNotRegistered(kPlayerNotRegistered);
    return RaiseError(kErrNotInstalled);
  }

  // An effect asked for its preview: the status word holds its code.
  const bool previewing = state_->previewMode != 0 && status != status::kIdle;
  play_.playType = playType;
  play_.markersPlayList = markersPlayList;
  // A preview started again keeps the Direction saved by the first.
  if (play_.previewCode == 0) play_.savedDirection = playback_->DirectionValue();
  play_.preview.reset();
  play_.previewCode = previewing ? status : 0;
  if (previewing) playback_->SetDirectionValue(1);
  play_.backward = !previewing && playback_->DirectionValue() == 2;
  // A preview that does not get to play leaves the control idle again.
  bool started = false;
  struct PreviewGuard {
    CAudioEditor* control;
    const bool& started;
    ~PreviewGuard() {
      if (!started && control->play_.previewCode != 0) control->EndPreview();
    }
  } guard{this, started};

  ViewStack& vs = step->view;
  const int z = vs.zoom;
  const int64_t startSelect = vs.startSelect[z], endSelect = vs.endSelect[z];
  if (!play_.backward && startSelect > vs.endView[z]) return S_OK;
  if (play_.backward && endSelect < vs.startView[z]) return S_OK;
  if ((!play_.backward && startSelect < vs.startView[z]) ||
      (play_.backward && startSelect > vs.endView[z])) {
    // Bring the start into view, centred, with the same width.
    const int64_t width = vs.endView[z] - vs.startView[z];
    const int64_t align = doc.format.BlockAlign();
    int64_t start =
        std::clamp<int64_t>(startSelect - width / 2, 0, std::max<int64_t>(0, doc.length - width));
    start -= start % align;
    vs.startView[z] = start;
    vs.endView[z] = std::min(start + width, doc.length);
    state_->ViewChanged();
    state_->PictureChanged();
  }

  StopPlayer();
  if (!previewing && doc.source.hasVideo) {
    doc.SetStatus(status::kVideoPlayback);
    HoldWhile(this, [&] { sender_.PlayVideo(); });
    return S_OK;
  }

  // The channels played: every operated one, or two as stereo; a preview
  // plays what its producer makes.
  const int32_t docChannels = doc.format.channels;
  const uint32_t docMask = doc.format.channelsMask;
  play_.channelMap.clear();
  if (previewing) {
    if (!MakePreview()) return S_OK;
    play_.channels = play_.preview->OutputChannels();
    play_.mask = static_cast<int32_t>(docMask);
    if (play_.channels < docChannels) play_.mask = play_.channels == 2 ? 3 : 1;
  } else {
    if (playOnlyStereo_) {
      for (int c = 0; c < docChannels && play_.channelMap.size() < 2; ++c)
        if (doc.channels.IsOperated(c)) play_.channelMap.push_back(c);
      if (play_.channelMap.empty()) play_.channelMap.push_back(0);
      if (play_.channelMap.size() == 1) play_.channelMap.push_back(play_.channelMap[0]);
    } else {
      for (int c = 0; c < docChannels; ++c)
        if (doc.channels.IsOperated(c)) play_.channelMap.push_back(c);
      if (play_.channelMap.empty()) return S_OK;  // no channel enabled: nothing to hear
    }
    play_.channels = static_cast<int32_t>(play_.channelMap.size());
    play_.mask = (playOnlyStereo_ || docMask == 8) ? 3 : static_cast<int32_t>(docMask);
  }
  play_.rate = doc.format.sampleRate;
  play_.bits = doc.format.sampleSize;
  play_.fallback = false;

  playback_->Device().SetBufferSize(previewing ? 500 : 1000);
  int32_t result = InitPlayer();
  if (result != kErrNone) {
    // The device refuses the document's format: play it as 44100 Hz, 16 bits.
    play_.rate = 44100;
    play_.bits = 16;
    play_.fallback = true;
    result = InitPlayer();
    if (result != kErrNone) {
      StopPlayer();
      return RaiseError(result);
    }
  }
  ApplySpeed();

  play_.feed = play_.backward ? endSelect : startSelect;
  step->playPosition = play_.feed;
  play_.bytesPlayed = 0;
  play_.segments.clear();
  if (!previewing) doc.SetStatus(status::kPlaying);
  started = true;
  int32_t queued = 0;
  for (; queued < std::max(1, playback_->Device().BufferCount()); ++queued)
    if (!QueueBlock()) break;
  // A preview that has nothing to play would wait for an end that never comes.
  if (queued == 0 && play_.previewCode != 0 && doc.Status() == play_.previewCode) {
    StopPlayer();
    EndPreview();
  }
  return S_OK;
}

void CAudioEditor::ApplySpeed() {
  // Each Init starts the device at normal speed.
  if (playback_->SpeedOn() && playback_->Speed() != 100.0)
    playback_->Player()->SetAdditionalParam(Bstr(u"SpeedRate").get(),
                                            Variant::I4(static_cast<int32_t>(playback_->Speed())));
}

bool CAudioEditor::MakePreview() {
  document::Document& doc = Model();
  const std::optional<processing::EffectEntry> entry = processing::FindEffect(play_.previewCode);
  if (!entry) return false;
  processing::PreviewSetup setup;
  setup.effect = *entry;
  setup.format = doc.format;
  setup.processed = processing::PreviewProducer::ProcessedChannels(*entry, doc);
  for (int32_t c : setup.processed) {
    processing::ChannelProcessor* p =
        state_->effects.Channel(entry->kind, c, doc.format.sampleRate, doc.format.sampleSize);
    const bool plugins =
        play_.previewCode == opcode::kDxProcess || play_.previewCode == opcode::kVstProcess;
    if (!p && plugins && state_->previewChannels) p = state_->previewChannels(c);
    // The effects the control computes itself have no processors to play through.
    if (!p) return false;
    setup.processors.push_back(p);
  }
  if (setup.processors.empty()) return false;
  setup.mode = state_->previewMode == 2 ? 2 : 1;
  setup.packed = doc.stereoMode;
  const int64_t align = std::max(doc.format.BlockAlign(), 1);
  const auto [from, to] = PlayRange();
  setup.rangeFrames = (to - from) / align;
  play_.preview = std::make_unique<processing::PreviewProducer>(std::move(setup));
  if (!play_.preview->Measures()) return true;
  // A processor that sees the whole range first (normalising) measures it now.
  CSampleStoreFile file;
  if (!file.Open(doc.Current()->sampleFile, 1) || !file.Seek(from)) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(std::max(doc.format.sampleRate, 1) * align));
  for (int64_t at = from; at < to;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(to - at, std::ssize(bytes)));
    const size_t got = file.Read(bytes.data(), want);
    const int64_t frames = static_cast<int64_t>(got) / align;
    if (frames == 0) break;
    if (!play_.preview->Measure(bytes.data(), frames)) return false;
    at += frames * align;
  }
  return true;
}

void CAudioEditor::EndPreview() {
  play_.preview.reset();
  state_->previewChannels = nullptr;
  play_.previewCode = 0;
  if (playback_) playback_->SetDirectionValue(play_.savedDirection);
  Model().SetStatus(status::kIdle);
}

std::pair<int64_t, int64_t> CAudioEditor::PlayRange() {
  document::Document& doc = Model();
  const ViewStack& vs = doc.Current()->view;
  const int z = vs.zoom;
  int64_t rangeStart = vs.startSelect[z];
  int64_t rangeEnd = vs.selected ? vs.endSelect[z] : doc.length;
  if (play_.playType == 2) {
    rangeStart = 0;
    rangeEnd = doc.length;
  } else if (play_.backward && !vs.selected) {
    // Backward from the cursor without a selection: towards the start.
    rangeStart = 0;
    rangeEnd = vs.startSelect[z];
  }
  return {rangeStart, std::min(rangeEnd, doc.length)};
}

bool CAudioEditor::QueueBlock() {
  document::Document& doc = Model();
  const int32_t status = doc.Status();
  const bool preview = play_.preview && status == play_.previewCode;
  if (!preview && status != status::kPlaying && status != status::kPlayPaused) return false;
  HistoryStep* step = doc.Current();
  if (!step) return false;
  if (!preview) doc.SetStatus(status::kPlaying);
  const int64_t align = doc.format.BlockAlign();
  const auto [rangeStart, rangeEnd] = PlayRange();
  if (rangeEnd <= rangeStart) return false;
  const int64_t blockBytes =
      std::max<int64_t>(1, static_cast<int64_t>(playback_->Device().BufferSize()) *
                               doc.format.sampleRate / 1000) *
      align;

  // The next stretch [from, to) of the document to play; false when there is none.
  int64_t from = 0, to = 0;
  const auto nextStretch = [&]() {
    bool wrapped = false;
    for (;;) {
      if (!play_.backward) {
        from = std::max(play_.feed, rangeStart);
        to = std::min(from + blockBytes, rangeEnd);
      } else {
        to = std::min(play_.feed, rangeEnd);
        from = std::max(to - blockBytes, rangeStart);
      }
      if (play_.markersPlayList > 0) {
        // Only what lies inside the markers of this play list is heard.
        bool found = false;
        const auto takesPart = [&](const MarkerLayoutEntry& m) {
          return m.length > 0 && (m.playList == play_.markersPlayList || m.playList == 0);
        };
        if (!play_.backward) {
          for (const MarkerLayoutEntry& m : doc.markerLayout) {
            if (m.position + m.length < from) continue;
            if (m.position > rangeEnd) break;
            if (!takesPart(m)) continue;
            const int64_t s = std::max(from, m.position);
            const int64_t e = std::min({s + blockBytes, m.position + m.length, rangeEnd});
            if (e > s) {
              from = s;
              to = e;
              found = true;
              break;
            }
          }
        } else {
          for (auto it = doc.markerLayout.rbegin(); it != doc.markerLayout.rend(); ++it) {
            const MarkerLayoutEntry& m = *it;
            if (m.position > to) continue;
            if (m.position + m.length < rangeStart) break;
            if (!takesPart(m)) continue;
            const int64_t e = std::min(to, m.position + m.length);
            const int64_t s = std::max({e - blockBytes, m.position, rangeStart});
            if (e > s) {
              from = s;
              to = e;
              found = true;
              break;
            }
          }
        }
        if (!found) from = to;
      }
      if (to > from) return true;
      if (play_.playType != 3 || wrapped || preview) return false;
      // Looping: start the range again.
      wrapped = true;
      play_.feed = play_.backward ? rangeEnd : rangeStart;
    }
  };

  // The stretch's frames as the device gets them, at the document's sample size.
  CSampleStoreFile file;
  if (!file.Open(step->sampleFile, 1)) return false;
  std::vector<uint8_t> bytes;
  const auto read = [&] {
    bytes.resize(static_cast<size_t>(to - from));
    return file.Seek(from) && file.Read(bytes.data(), bytes.size()) == bytes.size();
  };
  const int sampleBytes = doc.format.sampleSize / 8;
  std::vector<uint8_t> out;
  int64_t docFrom = 0, docTo = 0;
  if (preview) {
    // A processor filling its latency gives nothing for a while: read on
    // until there is something to play or the range is done.
    for (;;) {
      if (!nextStretch() || !read()) return false;
      play_.feed = to;
      const bool last = to >= rangeEnd;
      if (!play_.preview->Produce(bytes.data(), (to - from) / align, last, &out)) {
        Stop();
        return false;
      }
      if (!out.empty() || last) break;
    }
  } else {
    if (!nextStretch() || !read()) return false;
    const int64_t frames = (to - from) / align;
    out.resize(static_cast<size_t>(frames) * play_.channelMap.size() *
               static_cast<size_t>(sampleBytes));
    uint8_t* o = out.data();
    for (int64_t f = 0; f < frames; ++f) {
      const int64_t source = play_.backward ? frames - 1 - f : f;
      const uint8_t* frame = bytes.data() + source * align;
      for (int c : play_.channelMap) {
        std::memcpy(o, frame + c * sampleBytes, static_cast<size_t>(sampleBytes));
        o += sampleBytes;
      }
    }
    docFrom = from;
    docTo = to;
    play_.feed = play_.backward ? from : to;
  }
  file.Close();
  if (play_.fallback)
    out = ToFallback(out, play_.channels, doc.format.sampleSize, doc.format.sampleRate);
  if (out.empty()) return false;

  if (!play_.buffer && Failed(CoCreateInstance(CLSID_DataBuffer, nullptr, CLSCTX_INPROC_SERVER,
                                               IID_IDataBuffer, play_.buffer.OutVoid())))
    return false;
  uint8_t* target = nullptr;
  const auto size = static_cast<int32_t>(out.size());
  if (Failed(play_.buffer->AllocateBuffer(size)) || Failed(play_.buffer->put_DataSize(size)) ||
      Failed(play_.buffer->GetBuffer(&target)))
    return false;
  std::memcpy(target, out.data(), out.size());
  // The play cursor follows what is heard of the document; a preview does not move it.
  const auto heard = [&] {
    if (!preview)
      play_.segments.push_back({play_.backward ? docTo : docFrom, docTo - docFrom, size});
  };
  heard();
  IAudioPlayer* player = playback_->Player();
  int32_t result = 0;
  if (Failed(player->Write(play_.buffer.get(), &result)) || result != 0) {
    // The device went away under us: open it again once and retry.
    StopPlayer();
    if (InitPlayer() != kErrNone || Failed(player->Write(play_.buffer.get(), &result)) ||
        result != 0) {
      Stop();
      return false;
    }
    heard();
  }
  return true;
}

void CAudioEditor::AdvancePlayCursor(int64_t deviceBytes) {
  document::Document& doc = Model();
  HistoryStep* step = doc.Current();
  if (!step) return;
  play_.bytesPlayed += deviceBytes;
  const int64_t align = doc.format.BlockAlign();
  // Spend the report through the blocks in the order they were queued.
  while (deviceBytes > 0 && !play_.segments.empty()) {
    PlaybackState::Segment& s = play_.segments.front();
    const int64_t take = std::min(deviceBytes, s.deviceBytes - s.heard);
    s.heard += take;
    deviceBytes -= take;
    int64_t docBytes = s.deviceBytes > 0 ? s.docBytes * s.heard / s.deviceBytes : s.docBytes;
    docBytes -= docBytes % align;
    step->playPosition = play_.backward ? s.docStart - docBytes : s.docStart + docBytes;
    if (s.heard >= s.deviceBytes) play_.segments.pop_front();
  }
  step->playPosition = std::clamp<int64_t>(step->playPosition, 0, doc.length);
  ViewStack& vs = step->view;
  const int z = vs.zoom;
  const int64_t width = vs.endView[z] - vs.startView[z];
  if (width > 0) {
    // Follow the cursor a page at a time.
    if (!play_.backward && step->playPosition > vs.endView[z]) {
      vs.startView[z] = std::min(vs.endView[z], std::max<int64_t>(0, doc.length - width));
      vs.endView[z] = std::min(vs.startView[z] + width, doc.length);
      state_->ViewChanged();
    } else if (play_.backward && step->playPosition < vs.startView[z]) {
      vs.startView[z] = std::max<int64_t>(0, vs.startView[z] - width);
      vs.endView[z] = std::min(vs.startView[z] + width, doc.length);
      state_->ViewChanged();
    }
  }
  HoldWhile(this, [&] { sender_.ChangePlayPosition(); });
  state_->PictureChanged();
}

bool CAudioEditor::EndDeviceStreams() {
  document::Document& doc = Model();
  const int32_t status = doc.Status();
  if (status == status::kRecording || status == status::kRecordPaused) {
    EndRecording();
    return true;
  }
  if (playback_ && playback_->Player()) StopPlayer();
  if (play_.previewCode != 0 && status == play_.previewCode) {
    // The processors keep their configuration for the effect's next run.
    EndPreview();
    state_->PictureChanged();
    HoldWhile(this, [&] { sender_.EndPlay(); });
    return true;
  }
  if (status != status::kPlaying && status != status::kPlayPaused &&
      status != status::kVideoPlayback)
    return false;
  doc.SetStatus(status::kIdle);
  state_->PictureChanged();
  HoldWhile(this, [&] { sender_.EndPlay(); });
  if (doc.source.hasVideo) HoldWhile(this, [&] { sender_.StopVideo(); });
  return true;
}

HRESULT CAudioEditor::Pause() {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  switch (doc.Status()) {
    case status::kPlaying:
      StopPlayer();
      doc.SetStatus(status::kPlayPaused);
      break;
    case status::kVideoPlayback:
      doc.SetStatus(status::kPlayPaused);
      HoldWhile(this, [&] { sender_.PauseVideo(); });
      break;
    case status::kRecording:
      if (IAudioRecorder* r = recorder_->Recorder()) r->Stop();
      // What was captured before the pause is kept.
      TakeRecordedBlock();
      doc.SetStatus(status::kRecordPaused);
      break;
    default:
      break;
  }
  return S_OK;
}

HRESULT CAudioEditor::Continue() {
  const ComPtr<CAudioEditor> self(this);
  document::Document& doc = Model();
  if (doc.Status() == status::kPlayPaused) return ContinuePlayback();
  if (doc.Status() == status::kRecordPaused) return StartRecorder();
  return S_OK;
}

HRESULT CAudioEditor::ContinuePlayback() {
  document::Document& doc = Model();
  HistoryStep* step = doc.Current();
  if (!step) return S_OK;
  if (doc.source.hasVideo) {
    doc.SetStatus(status::kVideoPlayback);
    HoldWhile(this, [&] { sender_.PlayVideo(); });
    return S_OK;
  }
  play_.feed = step->playPosition;
  StopPlayer();
  const int32_t result = InitPlayer();
  if (result != kErrNone) {
    Stop();
    return RaiseError(result);
  }
  ApplySpeed();
  ViewStack& vs = step->view;
  const int z = vs.zoom;
  if (vs.startSelect[z] < vs.startView[z]) {
    const int64_t width = vs.endView[z] - vs.startView[z];
    vs.startView[z] = vs.startSelect[z];
    vs.endView[z] = std::min(vs.startSelect[z] + width, doc.length);
    state_->ViewChanged();
  }
  doc.SetStatus(status::kPlaying);
  for (int i = 0; i < 3; ++i)
    if (!QueueBlock()) break;
  return S_OK;
}

}  // namespace qel
