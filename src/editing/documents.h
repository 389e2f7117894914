// Making documents: an empty one, one adopted from an existing sample-store
// file, and what every new document shares once its first version exists.
#pragma once

#include <string>

#include "document/document.h"

namespace qel::editing {

// Makes the sample-store file of an empty document in the temporary folder and
// sets the document's format; the first step is returned in *first.
ErrorNumber MakeEmpty(document::Document& doc, const document::DocumentFormat& format,
                      document::HistoryStep* first);

// Adopts an existing sample-store file as it is (no copy is made). Each format
// value of at least 1 overrides what the file's header says. *durationMs is
// the document's length.
ErrorNumber AdoptFile(document::Document& doc, const std::string& name,
                      const document::DocumentFormat& overrides, document::HistoryStep* first,
                      double* durationMs);

// The first step becomes the document: the view shows everything with a cursor
// at the start, the channels, lanes and markers start afresh.
void StartDocument(document::Document& doc, document::OperationObserver& observer,
                   document::HistoryStep first, double durationMs);

// Undo and redo move along the history (not while an operation runs).
void Undo(document::Document& doc, document::OperationObserver& observer, int32_t count);
void Redo(document::Document& doc, document::OperationObserver& observer, int32_t count);

// The end of a batch: the view, the picture and the markers catch up.
void EndBatch(document::Document& doc, document::OperationObserver& observer);

}  // namespace qel::editing
