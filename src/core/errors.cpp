#include "core/errors.h"

#include "com/errorinfo.h"

namespace qel {

namespace {

struct ErrorRow {
  uint32_t code;
  std::u16string_view message;
};

// Indexed by error number. The wording is the control's own and is kept exactly,
// including "not installed" beside "is not installed".
constexpr ErrorRow kErrors[] = {
    {0x00000000, u""},
    {0x80040301, u"Busy error."},
    {0x80040302, u"Memory error."},
    {0x80040303, u"File access error."},
    {0x80040304, u"File format error."},
    {0x80040305, u"Video format unsupported."},
    {0x80040306, u"Audio format unsupported."},
    {0x80040307, u"Invalid operation."},
    {0x80040308, u"Invalid argument."},
    {0x80040309, u"Control not installed."},
    {0x8004030A, u"Index out of range."},
    {0x80040401, u"QuickTime container not correct."},
    {0x80040402, u"QuickTime video description not correct."},
    {0x80040403, u"QuickTime audio description not correct."},
    {0x80040404, u"QuickTime audio codec not installed."},
    {0x80040405, u"QuickTime video codec is not installed."},
    {0x80040501, u"AVI container not correct."},
    {0x80040502, u"ACM audio codec is not installed."},
    {0x80040503, u"ACM video codec is not installed."},
    {0x80040601, u"DVD content protected data."},
    {0x80040701, u"Output Driver error."},
    {0x80040702, u"Input Driver error."},
    {0x80040703, u"Mixer Driver error."},
    {0x80040704, u"Aspi Driver error."},
    {0x80040705, u"The stream is closed or unavailable."},
};
constexpr ErrorRow kUnexpected{0x80040300, u"Unexpected error."};

const ErrorRow& RowOf(int32_t number) {
  if (number >= 0 && number < static_cast<int32_t>(std::size(kErrors))) return kErrors[number];
  return kUnexpected;
}

}  // namespace

com::HRESULT ErrorResult(int32_t number) {
  return com::MakeHResult(RowOf(number).code);
}

std::u16string_view ErrorMessage(int32_t number) {
  return RowOf(number).message;
}

com::HRESULT RaiseError(int32_t number) {
  if (number == kErrNone) return com::S_OK;
  return RaiseError(ErrorResult(number), ErrorMessage(number));
}

com::HRESULT RaiseError(com::HRESULT code, std::u16string_view message) {
  return com::SetError(code, IID_IAudioEditor, kControlProgId, message);
}

com::HRESULT RaiseComponentResult(com::HRESULT code) {
  if (com::Succeeded(code)) return code;
  for (int32_t n = 1; n <= kErrStreamClosed; ++n)
    if (ErrorResult(n) == code) return RaiseError(n);
  return code;
}

}  // namespace qel
