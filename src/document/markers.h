// CEditorMarkers: named points and ranges of the document. The marker list lives
// in each history step, so undo brings back the markers of the restored state;
// this object addresses one current marker (Num) and keeps the layout, the
// markers sorted by position in bytes, that drawing and splitting read.
#pragma once

#include <string>
#include <vector>

#include "core/automation_object.h"
#include "core/editor_link.h"
#include "core/surface_defaults.h"
#include "document/history.h"
#include "external/media.h"

namespace qel {

class CEditorPosition;

class CEditorMarkers final : public AutomationObject<CEditorMarkers, IEditorMarkersDefaults>,
                             public EditorLink {
 public:
  static com::HRESULT CreateInstance(com::REFIID iid, void** object);

  com::HRESULT Insert(int64_t position, int64_t length, com::BSTR label, com::BSTR note) override;
  com::HRESULT Delete() override;
  com::HRESULT SortByPosition() override;
  com::HRESULT SplitFileByMarkers() override;
  com::HRESULT get_Count(int32_t* value) override;
  com::HRESULT get_Num(int32_t* value) override;
  com::HRESULT put_Num(int32_t value) override;
  com::HRESULT get_Length(int64_t* value) override;
  com::HRESULT put_Length(int64_t value) override;
  com::HRESULT get_Position(int64_t* value) override;
  com::HRESULT put_Position(int64_t value) override;
  com::HRESULT get_Label(com::BSTR* value) override;
  com::HRESULT put_Label(com::BSTR value) override;
  com::HRESULT get_Note(com::BSTR* value) override;
  com::HRESULT put_Note(com::BSTR value) override;
  com::HRESULT get_Color(com::OLE_COLOR* value) override;
  com::HRESULT put_Color(com::OLE_COLOR value) override;
  com::HRESULT get_PlayList(int32_t* value) override;
  com::HRESULT put_PlayList(int32_t value) override;
  com::HRESULT get_SplitFilesCount(int32_t* value) override;
  com::HRESULT get_SplitFilesName(int32_t index, com::BSTR* value) override;

  void SetPosition(CEditorPosition* position) { position_ = position; }

  struct LayoutEntry {
    int64_t position;  // bytes
    int64_t length;    // bytes
    uint32_t color;
    int32_t playList;
    std::u16string label;
    int32_t number;  // 1-based number in the list
  };
  const std::vector<LayoutEntry>& Layout() const { return layout_; }
  // Rebuilds the layout from the current step (not while a batch is open).
  void RebuildLayout();
  void ResetLayout() { layout_.clear(); }

  // Adds a marker to the current step (position and length in frames); nothing
  // is added beyond the end of the document. The attribute text may give the
  // colour and play-list value ("Color:" and "Play:" each followed by 8 characters).
  void AddMarker(int64_t position, int64_t length, std::u16string label, std::u16string note,
                 std::u16string attributes);
  // After an edit: copies the previous step's markers into the current one and
  // moves them with the audio. Fires ChangeMarker for each one touched.
  void Carry(const document::HistoryStep& previous, document::HistoryStep& current);
  // Markers of an opened file, reported by its extra data (milliseconds).
  void ReadFrom(IExtraData& extra, int32_t sampleRate);
  // The markers of the saved range [from, to) (frames) into extra data, in
  // milliseconds relative to the range start, with their attribute text.
  static void WriteTo(const document::HistoryStep& step, int64_t from, int64_t to,
                      int32_t sampleRate, IExtraData& extra);
  // The attribute text that carries colour and play list through media files.
  static std::u16string AttributeText(const document::Marker& marker);

 private:
  document::HistoryStep* Step();
  document::Marker* CurrentMarker();
  void MarkerChanged();

  CEditorPosition* position_ = nullptr;  // owned by the control
  std::vector<LayoutEntry> layout_;
  std::vector<std::string> splitFiles_;
};

}  // namespace qel
