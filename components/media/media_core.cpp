#include "media_core.h"

namespace qel::media {

using namespace com;

namespace {

HRESULT CopyOut(const std::u16string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = Bstr(text).Detach();
  return S_OK;
}

}  // namespace

HRESULT AudioFormat::get_Codec(BSTR* v) {
  return CopyOut(codec_, v);
}

HRESULT AudioFormat::put_Codec(BSTR v) {
  codec_ = std::u16string(View(v));
  return S_OK;
}

HRESULT ByteBlock::Allocate(int32_t count) {
  if (count < 0) return E_INVALIDARG;
  // Capacity only grows: readers and writers reuse one block object.
  if (static_cast<size_t>(count) > bytes.size()) bytes.resize(static_cast<size_t>(count));
  return S_OK;
}

HRESULT ByteBlock::SetSize(int32_t count) {
  if (count < 0 || static_cast<size_t>(count) > bytes.size()) return E_INVALIDARG;
  size = count;
  return S_OK;
}

HRESULT DataBuffer::get_DataSize(int32_t* v) {
  if (!v) return E_POINTER;
  *v = data_.size;
  return S_OK;
}

HRESULT DataBuffer::GetBuffer(uint8_t** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = data_.bytes.empty() ? nullptr : data_.bytes.data();
  return S_OK;
}

HRESULT AudioFrameData::get_DataSize(int32_t* v) {
  if (!v) return E_POINTER;
  *v = data_.size;
  return S_OK;
}

HRESULT AudioFrameData::get_FormatSize(int32_t* v) {
  if (!v) return E_POINTER;
  *v = static_cast<int32_t>(format_.size());
  return S_OK;
}

HRESULT AudioFrameData::AllocateFormat(int32_t bytes) {
  if (bytes < 0) return E_INVALIDARG;
  format_.assign(static_cast<size_t>(bytes), 0);
  return S_OK;
}

HRESULT AudioFrameData::get_TimeStamp(double* v) {
  if (!v) return E_POINTER;
  *v = timeStamp_;
  return S_OK;
}

HRESULT AudioFrameData::put_TimeStamp(double v) {
  timeStamp_ = v;
  return S_OK;
}

HRESULT AudioFrameData::get_Duration(double* v) {
  if (!v) return E_POINTER;
  *v = duration_;
  return S_OK;
}

HRESULT AudioFrameData::put_Duration(double v) {
  duration_ = v;
  return S_OK;
}

HRESULT AudioFrameData::GetBuffer(uint8_t** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = data_.bytes.empty() ? nullptr : data_.bytes.data();
  return S_OK;
}

HRESULT AudioFrameData::GetFormat(uint8_t** format) {
  if (!format) return E_POINTER;
  *format = format_.empty() ? nullptr : format_.data();
  return S_OK;
}

HRESULT ExtraData::get_MarkersCount(int32_t* v) {
  if (!v) return E_POINTER;
  *v = static_cast<int32_t>(markers_.size());
  return S_OK;
}

HRESULT ExtraData::AddMarker(double position, double length, BSTR label, BSTR note,
                             BSTR attributes) {
  markers_.push_back({position, length, std::u16string(View(label)), std::u16string(View(note)),
                      std::u16string(View(attributes))});
  return S_OK;
}

HRESULT ExtraData::ClearMarkers() {
  markers_.clear();
  return S_OK;
}

const ExtraData::Marker* ExtraData::At(int32_t index) const {
  if (index < 0 || static_cast<size_t>(index) >= markers_.size()) return nullptr;
  return &markers_[static_cast<size_t>(index)];
}

HRESULT ExtraData::get_MarkerPosition(int32_t index, double* v) {
  if (!v) return E_POINTER;
  const Marker* m = At(index);
  if (!m) return DISP_E_BADINDEX;
  *v = m->position;
  return S_OK;
}

HRESULT ExtraData::get_MarkerLength(int32_t index, double* v) {
  if (!v) return E_POINTER;
  const Marker* m = At(index);
  if (!m) return DISP_E_BADINDEX;
  *v = m->length;
  return S_OK;
}

HRESULT ExtraData::get_MarkerLabel(int32_t index, BSTR* v) {
  const Marker* m = At(index);
  return m ? CopyOut(m->label, v) : DISP_E_BADINDEX;
}

HRESULT ExtraData::get_MarkerNote(int32_t index, BSTR* v) {
  const Marker* m = At(index);
  return m ? CopyOut(m->note, v) : DISP_E_BADINDEX;
}

HRESULT ExtraData::get_MarkerAttributes(int32_t index, BSTR* v) {
  const Marker* m = At(index);
  return m ? CopyOut(m->attributes, v) : DISP_E_BADINDEX;
}

HRESULT ExtraData::get_Comment(BSTR* v) {
  return CopyOut(comment_, v);
}

HRESULT ExtraData::put_Comment(BSTR v) {
  comment_ = std::u16string(View(v));
  return S_OK;
}

}  // namespace qel::media
