// CAudioEditor: the control. It owns the document's format and temporary files,
// the status word that serialises operations, the sub-objects a host reaches
// through its properties, the external components, and the outgoing events.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <string>

#include "com/connection.h"
#include "core/automation_object.h"
#include "core/errors.h"
#include "core/sub_objects.h"
#include "core/surface_defaults.h"
#include "core/surface_events.h"
#include "document/history.h"
#include "document/overview_cache.h"
#include "external/effects.h"
#include "external/media.h"
#include "platform/named_mutex.h"
#include "platform/platform.h"

namespace qel {

namespace view {
class WaveformView;
}

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
  com::HRESULT get_VSTTransformEnabled(com::VARIANT_BOOL* value) override;
  com::HRESULT get_DTMFEnabled(com::VARIANT_BOOL* value) override;
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

  // ---- IConnectionPointContainer ----
  com::HRESULT EnumConnectionPoints(com::IEnumConnectionPoints** points) override;
  com::HRESULT FindConnectionPoint(com::REFIID iid, com::IConnectionPoint** point) override;

  // ---- IProvideClassInfo2 ----
  com::HRESULT GetClassInfo(com::ITypeInfo** info) override;
  com::HRESULT GetGUID(uint32_t kind, com::GUID* guid) override;

  // ---- inside the control ----
  AudioEditorEventsSender& Events() { return sender_; }
  int32_t Status() const { return status_; }
  void SetStatus(int32_t value) { status_ = value; }
  // A C++ host gives the control its own windowing services (message boxes,
  // clipboard); the control starts with the headless ones.
  void SetPlatform(platform::Platform services) { platform_ = std::move(services); }
  const platform::Platform& Platform() const { return platform_; }

  CEditorPosition& Position() { return *position_; }
  CEditorChannels& Channels() { return *channels_; }
  CEditorMarkers& Markers() { return *markers_; }
  CEditorFileInfo& FileInfo() { return *fileInfo_; }
  CEditorTransform& Transform() { return *transform_; }
  const com::ComPtr<IAudioFormat>& DocumentAudioFormat() const { return audioFormat_; }
  const com::ComPtr<IVideoFormat>& DocumentVideoFormat() const { return videoFormat_; }
  // Bytes of sample data to frames: (bytes / bytes per sample) / channels.
  int64_t ToFrames(int64_t bytes) const {
    const int64_t b = format_.sampleSize / 8;
    return b > 0 && format_.channels > 0 ? bytes / b / format_.channels : 0;
  }
  // Selection level: the zoom level whose selection a new level inherits.
  int32_t SelectionLevel() const { return selectionLevel_; }
  void SetSelectionLevel(int32_t level) { selectionLevel_ = level; }
  int32_t VerticalZoom() const { return verticalZoom_; }
  // Level 0 always shows the whole document: the first change of the view
  // moves to level 1, which starts as a copy of level 0.
  static void LeaveFullView(document::ViewStack& view);
  // Normalises the current level's view range to whole frames, lays the view
  // out again and repaints the selection.
  void ApplyView();
  // The selection has changed: redraw it and tell the host (ChangePosition),
  // except while the host's video drives playback.
  void RepaintSelection();
  // The picture must be composed again (the waveform or its settings changed).
  void Recompose();
  // Stereo mode of the playback object (plays one or two operated channels as stereo).
  bool StereoMode() const { return false; }
  int32_t MarkerType() const { return visualization_ ? visualization_->Settings().markerType : 0; }
  // After an operation: the current step's document becomes the control's, and
  // outside a batch the view follows it.
  void AdoptCurrentStep();
  void CountFinishedOperation() { ++batchCount_; }
  void SetProgressScale(int32_t percent) { progressScale_ = percent; }
  // Set by Stop; effects test it to end their block loop and keep what was done.
  bool StopRequested() const { return stopRequested_; }
  void ClearStopRequest() { stopRequested_ = false; }
  // Makes processors for channels that have none; an error number.
  int32_t EnsureProcessors() { return CreateProcessors(format_.channels); }
  bool DocumentOpen() { return position_ && position_->History().Current() != nullptr; }
  const document::DocumentFormat& Format() const { return format_; }
  const document::DocumentFormat& OutputFormat() const { return outputFormat_; }
  int64_t LengthBytes() const { return length_; }
  // The speakers of the channels in storage order (ascending mask bits).
  const std::array<uint32_t, 64>& ChannelOrder() const { return channelOrder_; }
  const std::string& TempDirectoryPath() const { return tempDirectory_; }
  const std::string& ClipboardFile() const { return clipboardFile_; }
  const std::string& SystemClipboardFile() const { return systemClipboardFile_; }
  int32_t ProgressScale() const { return progressScale_; }
  bool BatchOpen() const { return batch_; }
  // Shows the modal box of a missing component (caption "QelAudioEditor").
  void ShowNotRegistered(std::u16string_view message);
  // Deletes every stale sample-store file in the temporary directory, unless
  // another control instance is alive or a document is open.
  void PurgeStaleFiles();
  // The unit labels of the scales: sample, frequency, time, frame and decibel.
  enum UnitLabel { kUnitSample, kUnitHz, kUnitHms, kUnitFrame, kUnitDb, kUnitCount };
  const std::u16string& Unit(UnitLabel which) const { return units_[which]; }
  bool PlayOnlyStereo() const { return playOnlyStereo_; }

  // ---- what the waveform view reads (view/control_adapter.cpp) ----
  view::WaveformView* Waveform() const { return view_.get(); }
  CEditorVisualization* VisualizationObject() const { return visualization_.get(); }
  IEditorScale* ScaleObject(bool vertical) const {
    return vertical ? scaleY_.get() : scaleX_.get();
  }
  IEditorColors* ColorsObject() const { return colors_.get(); }
  uint8_t* HostBitmap(bool dark) const { return dark ? darkBitmap_ : spectralBitmap_; }
  std::vector<document::OverviewChannel>& OverviewData() { return overview_; }
  bool OverviewLoaded() const { return overviewLoaded_; }
  void SetOverviewLoaded(bool loaded) { overviewLoaded_ = loaded; }

 private:
  com::HRESULT Initialize();
  com::HRESULT CreateSubObjects();
  com::HRESULT CreateComponents();
  void BuildChannelOrder();
  // Makes a fresh document's first history step and finishes its creation.
  com::HRESULT StartDocument(document::HistoryStep first, double durationMs);
  // The document's audio-format object, made when missing, set to the format.
  com::HRESULT DescribeFormat();
  // Reads a media file through the media component into a new document; an
  // error number, or the component's own result code through *result.
  int32_t ReadMediaFile(const std::string& name, int32_t videoTrack, int32_t audioTrack,
                        const document::DocumentFormat& wanted, com::HRESULT* result);
  // Writes the document (or its selection) through the media component.
  // With video, the source file's video stream is copied beside the audio.
  int32_t WriteMediaFile(const std::string& name, bool selectionOnly, int32_t markersSaveList,
                         IAudioFormat* format, IVideoFormat* videoFormat, int32_t fileType,
                         bool withVideo, com::HRESULT* result);
  // Reloads what the control keeps about the current history step after Undo or Redo.
  void RefreshFromCurrentStep();
  void LoadOverview(const std::string& cacheFile);

  platform::Platform platform_;
  platform::NamedMutex mutex_;
  bool mutexExisted_ = false;

  // The document's format and, separately, the format of the file it came from.
  document::DocumentFormat format_{8000, 1, 16, 0};
  document::DocumentFormat outputFormat_{8000, 1, 16, 0};
  int64_t length_ = 0;  // bytes of sample data
  std::array<uint32_t, 64> channelOrder_{};
  uint32_t channelOrderMask_ = 0;
  // Peak overview of the document, per channel, when loaded.
  std::vector<document::OverviewChannel> overview_;
  bool overviewLoaded_ = false;
  int32_t progressScale_ = 95;  // percent reached at the end of an operation's main loop
  int32_t selectionLevel_ = 0;
  bool stopRequested_ = false;
  int32_t verticalZoom_ = 100;  // percent, 10 to 1000
  int32_t verticalRange_ = 32767;

  std::string tempDirectory_;  // always ends in '/'
  std::string clipboardFile_;
  std::string systemClipboardFile_;
  int32_t screenWidth_ = 2000;
  int32_t screenHeight_ = 2000;

  // External components.
  com::ComPtr<IMediaFile> mediaFile_;
  com::ComPtr<IAudioEffect> effect_;
  com::ComPtr<IAudioData> effectData_;
  // One processor per channel, made as documents with more channels arrive.
  std::vector<com::ComPtr<IAudioEffect>> processors_;
  int32_t CreateProcessors(int32_t channels);
  com::ComPtr<IAudioFormat> audioFormat_;
  com::ComPtr<IVideoFormat> videoFormat_;
  com::ComPtr<IAudioFormat> rawFormat_;   // the input format of a raw file
  com::ComPtr<IMediaFile> saveFile_;      // the writer of saves (SetIVideoFile or the first save)

  // Status word: the running operation, 0 when idle.
  int32_t status_ = status::kIdle;

  // Batch of operations between BeginOperations and EndOperations.
  bool batch_ = false;
  int32_t batchCount_ = 0;

  com::VARIANT_BOOL mouseEventsEnabled_ = com::VARIANT_TRUE;
  com::VARIANT_BOOL markerMouseEventsEnabled_ = com::VARIANT_TRUE;
  int32_t previewMode_ = 0;
  com::VARIANT_BOOL dxEnabled_ = com::VARIANT_FALSE;
  com::VARIANT_BOOL vstEnabled_ = com::VARIANT_FALSE;
  com::VARIANT_BOOL dtmfEnabled_ = com::VARIANT_FALSE;
  bool playOnlyStereo_ = false;

  std::array<std::u16string, kUnitCount> units_;

  // Host bitmaps for the spectral view (kept by the host) and the recompose flag.
  uint8_t* spectralBitmap_ = nullptr;
  uint8_t* darkBitmap_ = nullptr;
  bool recompose_ = false;

  // Events queued for the host's timer: kind 1 BlockOperation(value), kind 2 EndOperation.
  struct PendingEvent {
    int32_t kind;
    int32_t value;
  };
  std::deque<PendingEvent> pending_;

  // Sub-objects, in creation order.
  com::ComPtr<CEditorVisualization> visualization_;
  com::ComPtr<IEditorScale> scaleX_;
  com::ComPtr<IEditorScale> scaleY_;
  com::ComPtr<IEditorColors> colors_;
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

  // The picture; made once the sub-objects exist, gone before them.
  std::unique_ptr<view::WaveformView> view_;
};

// Adds the control's classes and interfaces to the class table.
void RegisterControlClasses();

}  // namespace qel
