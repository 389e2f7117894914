// CAudioEditor: the control. It owns the document's format and temporary files,
// the status word that serialises operations, the sub-objects a host reaches
// through its properties, the external components, and the outgoing events.
#pragma once

#include <array>
#include <deque>
#include <string>

#include "com/connection.h"
#include "core/automation_object.h"
#include "core/errors.h"
#include "core/sub_objects.h"
#include "core/surface_defaults.h"
#include "core/surface_events.h"

namespace qel {

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
  com::HRESULT _ParsingFile() override;
  com::HRESULT _OnTimer() override;
  com::HRESULT GetReadStreamName(int32_t, int32_t, int32_t, int32_t, com::BSTR*) override;
  com::HRESULT OpenReadStream(int32_t, int32_t, int32_t, int32_t) override;
  com::HRESULT OpenWriteStream(int32_t, int32_t) override;
  com::HRESULT CloseStream() override;
  com::HRESULT ReadStream(com::IUnknown*) override;
  com::HRESULT WriteStream(com::IUnknown**) override;
  com::HRESULT BeginOperations() override;
  com::HRESULT get_Status(int32_t* value) override;
  com::HRESULT SetSpectralBitmap(uint8_t* bitmap) override;
  com::HRESULT SetDarkBitmap(uint8_t* bitmap) override;
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
  // The unit labels of the scales: sample, frequency, time, frame and decibel.
  enum UnitLabel { kUnitSample, kUnitHz, kUnitHms, kUnitFrame, kUnitDb, kUnitCount };
  const std::u16string& Unit(UnitLabel which) const { return units_[which]; }
  bool PlayOnlyStereo() const { return playOnlyStereo_; }

 private:
  com::HRESULT Initialize();

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
};

// Adds the control's classes and interfaces to the class table.
void RegisterControlClasses();

}  // namespace qel
