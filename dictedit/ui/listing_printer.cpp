#include "listing_printer.h"

#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include "listing.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"
#include "zplatform/program.h"

namespace dictedit {

namespace {

// A Japanese fixed-pitch Mincho face as Linux has them, in place of "ＭＳ 明朝".
QFont ListingFont(ListingLine::Font kind) {
  QFont font;
  font.setFamilies({"IPAMincho", "IPA明朝", "TakaoMincho", "Noto Serif CJK JP",
                    "Noto Sans Mono CJK JP", "IPAGothic", "monospace"});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(14);
  font.setWeight(kind == ListingLine::Font::kTitle ? QFont::Bold : QFont::Normal);
  font.setUnderline(kind == ListingLine::Font::kHeader);
  return font;
}

}  // namespace

void PaintListing(QPainter &painter, QPagedPaintDevice &device, const DdfTable &table,
                  const EditorOptions &options, const std::tm &today) {
  // One logical unit is one screen pixel (96 an inch) at the printer's resolution.
  double scale = device.logicalDpiX() / 96.0;
  int pages = ListingPageCount(table, options);
  for (int page = 1; page <= pages; ++page) {
    if (page > 1) device.newPage();
    painter.save();
    painter.scale(scale, scale);
    for (const ListingLine &line : ListingPage(table, options, page, today)) {
      painter.setFont(ListingFont(line.font));
      // Lines are placed by their tops.
      painter.drawText(QPointF(line.x, line.y + QFontMetricsF(painter.font()).ascent()),
                       QString::fromStdString(zplatform::ToUtf8(line.text)));
    }
    painter.restore();
  }
}

int WriteListingPdf(DdfDictionary &dict, const DdfTable &table, const std::string &path) {
  if (!CanList(dict, &table)) return 1;
  // Fonts need a GUI application; without a display the offscreen platform serves.
  static int argc = 1;
  static char name[] = "dictedit";
  static char *argv[] = {name, nullptr};
  if (QGuiApplication::instance() == nullptr) {
    if (!zplatform::CanShowWindows()) qputenv("QT_QPA_PLATFORM", "offscreen");
    new QGuiApplication(argc, argv);
  }
  // Painted into memory, then written whole beside the file and moved over it: the PDF
  // writer says nothing of a full disk, and a cut file must not take the former one's place.
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  QPdfWriter writer(&pdf);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setResolution(300);
  writer.setTitle(QString::fromStdString(zplatform::ToUtf8(table.name)));
  QPainter painter;
  bool painted = painter.begin(&writer);
  if (painted) {
    std::time_t now = std::time(nullptr);
    std::tm today{};
    localtime_r(&now, &today);
    PaintListing(painter, writer, table, dict.options, today);
    painted = painter.end();
  }
  pdf.close();
  if (!painted || !zplatform::ReplaceFileContent(path, pdf.data().toStdString()).ok) {
    ShowMessage(dict.Ui(), false, "dictedit: cannot write %s", zplatform::FromUtf8(path).c_str());
    return 1;
  }
  return 0;
}

}  // namespace dictedit
