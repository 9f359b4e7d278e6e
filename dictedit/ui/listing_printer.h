// The listing drawn with Qt: on a printer, in a print preview, or into a PDF file.
#pragma once

#include <ctime>
#include <string>

#include "ddf_dictionary.h"

class QPagedPaintDevice;
class QPainter;

namespace dictedit {

// Every page of the table's listing, one device page each.
void PaintListing(QPainter &painter, QPagedPaintDevice &device, const DdfTable &table,
                  const EditorOptions &options, const std::tm &today);
// The listing as a PDF file; 0, or 1 after a message.
int WriteListingPdf(DdfDictionary &dict, const DdfTable &table, const std::string &path);

}  // namespace dictedit
