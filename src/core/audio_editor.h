// CAudioEditor: the control, a thin automation layer over the document model.
// Its members convert arguments, apply the busy rule, call the operations of
// editing/ and processing/, raise errors from the error table and fire events.
// It owns the sub-objects a host reaches through its properties (which share
// its ControlState), the external components and the outgoing events.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "com/connection.h"
#include "core/automation_object.h"
#include "core/control_state.h"
#include "core/errors.h"
#include "core/picture.h"
#include "core/playback_state.h"
#include "core/sub_objects.h"
#include "core/surface_defaults.h"
#include "core/surface_events.h"
#include "document/document.h"
#include "external/effects.h"
#include "external/media.h"
#include "platform/message_queue.h"
#include "platform/named_mutex.h"
#include "platform/platform.h"

namespace qel {

class ControlMouse;

class CAudioEditor final
    : public AutomationObject<CAudioEditor, IAudioEditorDefaults, com::IConnectionPointContainer,
                              com::IProvideClassInfo2> {
 public:
  // Construction and initialisation; a failure (a sub-object or component that
  // cannot be created) fails the creation.
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  CAudioEditor();
  ~CAudioEditor() override;

  // ---- IAudioEditor ----
  com::HRESULT New(int32_t sampleRate, int32_t channels, int32_t sampleSize,
                   int32_t channelsMask) override;
  com::HRESULT OpenFileFromTmp(com::BSTR fileName, int32_t sampleRate, int32_t sampleSize,
                               int32_t channels, int32_t channelsMask) override;
  com::HRESULT OpenFile(com::BSTR fileName, int32_t videoTrack, int32_t audioTrack,
                        int32_t sampleRate, int32_t sampleSize, int32_t channels,
                        int32_t channelsMask) override;
  com::HRESULT OpenRawFile(com::BSTR fileName, int32_t formatTag, int32_t sampleRate,
                           int32_t sampleSize, int32_t channels, int32_t channelsMask) override;
  com::HRESULT SaveFile(com::BSTR fileName, com::VARIANT_BOOL selected, int32_t markersSaveList,
                        int32_t fileType) override;
  com::HRESULT SetIVideoFile(com::IUnknown* videoFile) override;
  com::HRESULT Close() override;
  com::HRESULT Copy() override;
  com::HRESULT Cut() override;
  com::HRESULT Paste() override;
  com::HRESULT DeleteSelect() override;
  com::HRESULT Trim() override;
  com::HRESULT ZoomIn() override;
  com::HRESULT ZoomOut() override;
  com::HRESULT ZoomFull() override;
  com::HRESULT Zoom(int32_t start, int32_t end) override;
  com::HRESULT ZoomVertical(int32_t percent) override;
  com::HRESULT Stop() override;
  // Playing and recording (playback_members.cpp, record_members.cpp).
  com::HRESULT Play(int32_t playType, int32_t markersPlayList) override;
  com::HRESULT Record(int32_t recordType) override;
  com::HRESULT Pause() override;
  com::HRESULT Continue() override;
  com::HRESULT _ParsingFile() override;
  com::HRESULT _OnTimer() override;
  com::HRESULT GetReadStreamName(int32_t, int32_t, int32_t, int32_t, com::BSTR*) override;
  com::HRESULT OpenReadStream(int32_t, int32_t, int32_t, int32_t) override;
  com::HRESULT OpenWriteStream(int32_t, int32_t) override;
  com::HRESULT CloseStream() override;
  com::HRESULT ReadStream(com::IUnknown*) override;
  com::HRESULT WriteStream(com::IUnknown**) override;
  com::HRESULT BeginOperations() override;
  com::HRESULT EndOperations() override;
  com::HRESULT Undo(int32_t count) override;
  com::HRESULT Redo(int32_t count) override;
  com::HRESULT get_Status(int32_t* value) override;
  com::HRESULT get_TempDirectory(com::BSTR* value) override;
  com::HRESULT put_TempDirectory(com::BSTR value) override;
  com::HRESULT get_UndoRedoCount(int32_t* value) override;
  com::HRESULT put_UndoRedoCount(int32_t value) override;
  com::HRESULT get_UndoEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT get_RedoEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT get_UndoList(com::SAFEARRAY** value) override;
  com::HRESULT get_RedoList(com::SAFEARRAY** value) override;
  com::HRESULT SetSpectralBitmap(uint8_t* bitmap) override;
  com::HRESULT SetDarkBitmap(uint8_t* bitmap) override;
  com::HRESULT put_SpectralResolution(int32_t value) override;
  com::HRESULT get_MarkerMouseEventsEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MarkerMouseEventsEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_MouseEventsEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_MouseEventsEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_DXTransformEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_DXTransformEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_VSTTransformEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_VSTTransformEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT get_DTMFEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT put_DTMFEnabled(com::VARIANT_BOOL value) override;
  com::HRESULT RecognizeDTMFSignal(int32_t method, int32_t quality) override;
  com::HRESULT GetRecognizedSymbols(com::BSTR* symbols) override;
  com::HRESULT get_PreviewMode(int32_t* value) override;
  com::HRESULT put_PreviewMode(int32_t value) override;
  com::HRESULT get_ScaleX(IEditorScale** value) override;
  com::HRESULT put_ScaleX(IEditorScale* value) override;
  com::HRESULT get_ScaleY(IEditorScale** value) override;
  com::HRESULT put_ScaleY(IEditorScale* value) override;
  com::HRESULT get_Colors(IEditorColors** value) override;
  com::HRESULT put_Colors(IEditorColors* value) override;
  com::HRESULT get_FileInfo(IEditorFileInfo** value) override;
  com::HRESULT get_Recorder(IEditorRecorder** value) override;
  com::HRESULT get_Playback(IEditorPlayback** value) override;
  com::HRESULT get_Transform(IEditorTransform** value) override;
  com::HRESULT get_Position(IEditorPosition** value) override;
  com::HRESULT get_Channels(IEditorChannels** value) override;
  com::HRESULT get_Markers(IEditorMarkers** value) override;
  com::HRESULT get_ConvertSampleType(IEditorConvertSampleType** value) override;
  com::HRESULT get_DXTransform(IEditorDXTransform** value) override;
  com::HRESULT get_VSTTransform(IEditorVSTTransform** value) override;
  com::HRESULT get_Visualization(IEditorVisualization** value) override;
  com::HRESULT SetAdditionalParam(com::BSTR name, com::VARIANT value) override;
  com::HRESULT GetAdditionalParam(com::BSTR name, com::VARIANT* value) override;
  com::HRESULT EmptyClipboard() override;
  // Outside audio in and out (exchange_members.cpp).
  com::HRESULT PasteFromFile(com::BSTR fileName) override;
  com::HRESULT Mix(double amplifySelect, double amplifyPaste) override;
  com::HRESULT MixFromFile(com::BSTR fileName, double amplifyPaste, double amplifySelect) override;
  com::HRESULT PasteFromClipboard() override;
  com::HRESULT CopyToClipboard() override;
  com::HRESULT GetAudioArray(int32_t frames, com::IUnknown** audioData) override;
  com::HRESULT PutAudioArray(com::IUnknown* audioData) override;

  // ---- IConnectionPointContainer ----
  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

  // ---- IProvideClassInfo2 ----
  com::HRESULT GetClassInfo(com::ITypeInfo** info) override;
  com::HRESULT GetGUID(uint32_t kind, com::GUID* guid) override;

  // ---- for hosts and tests in this process ----
  // A C++ host gives the control its own windowing services (message boxes,
  // clipboard, the message queue of its thread); the control starts with the
  // headless ones and a queue of its own, bound to the thread that made it.
  void SetPlatform(platform::Platform services);
  const platform::Platform& Platform() const { return platform_; }
  platform::MessageQueue& Queue() { return *platform_.queue; }
  // The picture (null once the control has gone).
  Picture* Waveform() const { return state_->view.get(); }
  // The document model and what the sub-objects share with the control.
  document::Document& Model() { return state_->doc; }
  ControlState& State() { return *state_; }

 private:
  // Reports of the operations: events to the host and requests to the view.
  class Reports;
  // The mouse reads the mouse flags and fires the mouse events.
  friend class ControlMouse;

  com::HRESULT Initialize();
  com::HRESULT CreateSubObjects();
  com::HRESULT CreateComponents();
  // Shows the modal box of a missing component (caption "QelAudioEditor").
  void ShowNotRegistered(std::u16string_view message);
  // Deletes every stale sample-store file in the temporary directory, unless
  // another control instance is alive or a document is open.
  void PurgeStaleFiles();
  // Makes processors for channels that have none; an error number.
  int32_t CreateProcessors(int32_t channels);
  // The document's audio-format object, made when missing, set to the format.
  int32_t DescribeFormat();
  // The document's first step is made: the format objects and processors follow.
  com::HRESULT StartDocument(document::HistoryStep first, double durationMs);
  // OpenFile and OpenRawFile after their checks.
  com::HRESULT Open(const std::string& name, int32_t videoTrack, int32_t audioTrack,
                    const document::DocumentFormat& wanted, IAudioFormat* rawFormat);
  // ---- devices (playback_members.cpp, record_members.cpp) ----
  // Makes the player and the recorder and connects their events.
  void CreateDevices();
  // Disconnects the devices' events before the control goes.
  void ReleaseDevices();
  // Stop for playback and recording; false when neither was running.
  bool EndDeviceStreams();
  void OnDeviceEvent(bool recorder, int32_t event, int32_t a, int32_t b);
  // Stops the player; events of the stream stopped are ignored from now on.
  void StopPlayer();
  // Init with the play format; an error number (0: ready).
  int32_t InitPlayer();
  // Queues the next block of the play range; false when nothing was left.
  bool QueueBlock();
  // [start, end) bytes of what the last Play plays.
  std::pair<int64_t, int64_t> PlayRange();
  // An effect's preview: its producer made (false: it cannot be previewed),
  // and the preview ended (the control idle, Direction put back).
  bool MakePreview();
  void EndPreview();
  // "SpeedRate" to the player when the speed is on and not 100 %.
  void ApplySpeed();
  void AdvancePlayCursor(int64_t deviceBytes);
  com::HRESULT ContinuePlayback();
  com::HRESULT StartRecorder();
  void TakeRecordedBlock();
  void FailRecording();
  void EndRecording();
  // Raises an error number (none: S_OK).
  static com::HRESULT Raise(int32_t error);

  // Fires an event while holding a reference of its own, so that a handler
  // that releases the control cannot free it in the middle of the event.
  template <class F>
  void Fire(F&& fire);

  std::shared_ptr<ControlState> state_;
  std::unique_ptr<Reports> reports_;
  platform::Platform platform_;
  platform::NamedMutex mutex_;
  bool mutexExisted_ = false;

  // External components.
  com::ComPtr<IMediaFile> mediaFile_;
  com::ComPtr<IAudioEffect> effect_;
  com::ComPtr<IAudioData> effectData_;
  com::ComPtr<IAudioFormat> rawFormat_;  // the input format of a raw file
  com::ComPtr<IMediaFile> saveFile_;     // the writer of saves (SetIVideoFile or the first save)
  // The data buffer GetAudioArray fills and hands out, made on first use.
  com::ComPtr<IDataBuffer> dataBuffer_;

  com::VARIANT_BOOL mouseEventsEnabled_ = com::VARIANT_TRUE;
  com::VARIANT_BOOL markerMouseEventsEnabled_ = com::VARIANT_TRUE;
  com::VARIANT_BOOL dxEnabled_ = com::VARIANT_FALSE;
  com::VARIANT_BOOL vstEnabled_ = com::VARIANT_FALSE;
  com::VARIANT_BOOL dtmfEnabled_ = com::VARIANT_FALSE;
  // What the last recognitions found (none before the first).
  std::optional<std::u16string> recognized_;
  bool playOnlyStereo_ = false;
  bool dtmfMarkers_ = false;          // "DTMFMarkers": recognised symbols become markers
  bool stopDiscardsEffects_ = false;  // "StopDiscardsEffects": a stopped effect keeps nothing
  bool recompose_ = false;

  // Events queued for the host's timer: kind 1 BlockOperation(value), kind 2 EndOperation.
  struct PendingEvent {
    int32_t kind;
    int32_t value;
  };
  std::deque<PendingEvent> pending_;

  // Playing and recording.
  std::shared_ptr<DeviceEventRoute> deviceRoute_;
  DeviceConnection playerEvents_;
  DeviceConnection recorderEvents_;
  PlaybackState play_;
  RecordState record_;

  // Sub-objects, in creation order.
  com::ComPtr<CEditorFileInfo> fileInfo_;
  com::ComPtr<CEditorPosition> position_;
  com::ComPtr<CEditorChannels> channels_;
  com::ComPtr<CEditorMarkers> markers_;
  com::ComPtr<CEditorRecorder> recorder_;
  com::ComPtr<CEditorPlayback> playback_;
  com::ComPtr<CEditorConvertSampleType> convert_;
  com::ComPtr<CEditorTransform> transform_;
  com::ComPtr<CEditorDXTransform> dxTransform_;
  com::ComPtr<CEditorVSTTransform> vstTransform_;

  com::EventSource events_;
  AudioEditorEventsSender sender_;

#if QEL_WITH_VIEW
  // Mouse interaction in the view (core/mouse_actions.h).
  std::unique_ptr<ControlMouse> mouse_;
#endif
};

// Adds the control's classes and interfaces to the class table.
void RegisterControlClasses();

}  // namespace qel
