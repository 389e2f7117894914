// Sample-type conversion of the whole document (rate, channels, sample size)
// through PCM_CODEC, as one undoable operation.
#pragma once

#include "document/document.h"

namespace qel::processing {

// Rewrites the document in the format asked for, in 100 ms blocks, with the
// document's conversion settings. A mask alone is no conversion; a conversion
// that cannot be prepared changes nothing and is no error; a write that fails
// is kErrFileAccess; a cancelled one keeps the document as it was.
ErrorNumber ConvertSampleType(document::Document& doc, document::OperationObserver& observer,
                              const document::DocumentFormat& wanted);

}  // namespace qel::processing
