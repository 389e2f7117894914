// The error table: result codes and messages for the error numbers of
// document/codes.h, raised once by the member that received them.
#pragma once

#include <string_view>

#include "core/surface.h"
#include "document/codes.h"

namespace qel {

// The result code and message the host receives for an error number; numbers
// outside the table give 0x80040300 "Unexpected error.".
com::HRESULT ErrorResult(int32_t number);
std::u16string_view ErrorMessage(int32_t number);

inline constexpr std::u16string_view kControlProgId = u"QelAudioEditor4.AudioEditor.1";
inline constexpr std::u16string_view kMessageBoxCaption = u"QelAudioEditor";

// Sets the thread's error information (interface IAudioEditor, source the
// control's ProgID) and returns the result code to hand to the host.
com::HRESULT RaiseError(int32_t number);
com::HRESULT RaiseError(com::HRESULT code, std::u16string_view message);

// A component's result code handed on to the host: where it is one of the
// table's, the host also gets the table's message; other codes pass unchanged.
com::HRESULT RaiseComponentResult(com::HRESULT code);

}  // namespace qel
