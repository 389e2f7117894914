// Copy, Cut, Paste, DeleteSelect and Trim: audio between the document and the
// control clipboard file, or out of the document. Each answers an error number
// (kErrNone also when there was nothing to do or the host cancelled); a write
// that fails is an error and leaves the document, its history and the
// clipboard as they were.
#pragma once

#include "document/document.h"
#include "pcm/pcm_convert.h"

namespace qel::editing {

// The selection to the clipboard file; one enabled channel of several is
// extracted as mono.
ErrorNumber Copy(document::Document& doc, document::OperationObserver& observer);
// The selection to the clipboard, then out of the document.
ErrorNumber Cut(document::Document& doc, document::OperationObserver& observer);
// The clipboard into the document: inserted at the cursor or over the
// selection, with a sine cross-fade over the smoothing time; a mono clipboard
// overlays the enabled channels when not all are enabled. A clipboard in
// another format is converted on the way.
ErrorNumber Paste(document::Document& doc, document::OperationObserver& observer);
ErrorNumber DeleteSelect(document::Document& doc, document::OperationObserver& observer);
// Keeps only the selection, which then covers the whole document. A write that
// fails is kErrMemory here; the control answers the host success for it.
ErrorNumber Trim(document::Document& doc, document::OperationObserver& observer);

// Readies `converter` to bring clipboard audio of format `from` into `to` with
// the document's conversion settings. *needed tells whether the formats differ
// in rate, channels or size at all; false when they differ and no conversion
// between them exists.
bool ReadyClipConverter(const document::Document& doc, const document::DocumentFormat& from,
                        const document::DocumentFormat& to, PCM_CODEC::CPcmConvert& converter,
                        bool* needed);

}  // namespace qel::editing
