#include "controls/zlkpic.h"

#include <QApplication>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>

#include "engine/module.h"
#include "frame/class_table.h"
#include "frame/stock_look.h"
#include "zplatform/codepage.h"
#include "zplatform/paths.h"

namespace zelko {

const ClassInfo &ZlkPic::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using P = ZlkPic;
    ClassInfo c{"ZLKBTRLibCtl.ZLKPic", "ZLKPic", kKindPicture, {}, {}, {}};
    const auto restyle = &P::ApplyStyle;
    // In the persisted order.
    c.properties = {
        Member("DbSource", 1, K::kString, "", &P::db_source_),
        Member("DbTable", 2, K::kString, "", &P::db_table_),
        Member("DbField", 3, K::kString, "", &P::db_field_),
        Member("Stretch", 5, K::kBool, "0", &P::stretch_, kPersisted, &P::ShowImage),
        Member("BlobPath", 6, K::kString, "", &P::blob_path_),
        Member("Appearance", -520, K::kInt16, "1", &P::appearance_, kPersisted, restyle),
        Member("BackColor", -501, K::kColor, "-2147483643", &P::back_color_, kPersisted, restyle),
        Member("BorderStyle", -504, K::kInt16, "0", &P::border_style_, kPersisted, restyle),
        Member("Enabled", -514, K::kBool, "-1", &P::enabled_, kPersisted, restyle),
        Member("ForeColor", -513, K::kColor, "-2147483640", &P::fore_color_, kPersisted, restyle),
        Member("Font", -512, K::kFont, nullptr, &P::font_, kPersisted, restyle),
        Constant<P>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("MousePointer", -521, K::kInt16, "0", &P::mouse_pointer_, kPersisted, restyle),
        Constant<P>("Picture", -523, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("PictureType", 4, K::kInt16, "0", &P::picture_type_, kTransient),
    };
    c.events = {{"Change", 1, {}}, {"Click", -600, {}}, {"DblClick", -601, {}}};
    for (EventInfo &e : MouseEvents())
      c.events.push_back(std::move(e));
    return c;
  }();
  return info;
}

ZlkPic::ZlkPic() = default;
ZlkPic::~ZlkPic() {
  DestroyWindow();
}

QWidget *ZlkPic::MakeWidget(QWidget *parent) {
  label_ = new QLabel(parent);
  label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label_;
}

void ZlkPic::OnWindowCreated() {
  ApplyStyle();
  FieldControl::OnWindowCreated();  // registration in run mode
}

void ZlkPic::ApplyStyle() {
  if (label_ == nullptr) return;
  label_->setFrameStyle(border_style_ == 1 ? QFrame::Panel | QFrame::Sunken : QFrame::NoFrame);
  label_->setEnabled(enabled_);
  label_->setFont(FontOf(font_));
  QPalette pal = label_->palette();
  pal.setColor(QPalette::Window, OleColor(back_color_, QApplication::palette().base().color()));
  pal.setColor(QPalette::WindowText, OleColor(fore_color_, QApplication::palette().text().color()));
  label_->setPalette(pal);
  label_->setAutoFillBackground(true);
}

void ZlkPic::ShowFieldText(const std::string &text) {
  // Only a String field names a file.
  int type =
      Module::Get().registry.FindFieldType(GetFormWindow(), db_source_, db_table_, db_field_);
  if (type != 0) return;
  std::string name = text;
  while (!name.empty() && name.back() == ' ')
    name.pop_back();
  std::string path =
      blob_path_.empty() || name.empty() ? name : zplatform::FromUtf8(blob_path_) + "\\" + name;
  // A record without a readable image shows none: never the picture of the record before.
  shown_file_ = path.empty() ? std::string() : zplatform::NativePathOrSelf(path);
  ShowImage();
  std::vector<Variant> none;
  FireEvent("Change", none);
}

void ZlkPic::ShowImage() {
  if (label_ == nullptr) return;
  QImage image;
  if (!shown_file_.empty()) {
    QImageReader reader(QString::fromStdString(shown_file_));
    reader.setAutoTransform(true);
    image = reader.read();
  }
  if (image.isNull()) {
    shown_file_.clear();
    label_->clear();
    return;
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  if (stretch_)
    pixmap = pixmap.scaled(label_->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  label_->setPixmap(pixmap);
}

}  // namespace zelko
