#include "designer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRubberBand>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <functional>

#include "frame/class_factory.h"
#include "frame/stock_look.h"
#include "standard_controls.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"
#include "zplatform/paths.h"

namespace zelkoform {

namespace {

constexpr long long kTwipsPerPixel = 15;

// Removes the object named `name` from under `o`; true when found.
bool RemoveObject(FrmObject &o, const std::string &name) {
  for (auto it = o.children.begin(); it != o.children.end(); ++it) {
    if (zelko::EqualNoCase(it->name, name)) {
      o.children.erase(it);
      return true;
    }
    if (RemoveObject(*it, name)) return true;
  }
  return false;
}

// A form type name for a palette entry or a class name ("ZLKEdit" is ZLKBTRLibCtl.ZLKEdit).
std::string TypeOf(const std::string &type) {
  for (const zelko::ControlClass &c : zelko::ControlClasses()) {
    if (zelko::EqualNoCase(type, c.class_name) || zelko::EqualNoCase(type, c.type_name))
      return c.type_name;
  }
  for (const std::string &standard : StandardControl::Types()) {
    if (zelko::EqualNoCase(type, standard) || zelko::EqualNoCase("VB." + type, standard))
      return standard;
  }
  return std::string();
}

// A designer's refusal, in a message box.
void Tell(const std::string &text_utf8) {
  zplatform::MessageService::Instance().ShowFormatted(zplatform::MessageButtons::kOk,
                                                      zplatform::MessageIcon::kWarning, "%s",
                                                      zplatform::FromUtf8(text_utf8).c_str());
}

std::vector<std::string> PaletteTypes() {
  std::vector<std::string> types;
  for (const zelko::ControlClass &c : zelko::ControlClasses()) {
    if (c.create != nullptr) types.push_back(c.type_name);
  }
  for (const std::string &standard : StandardControl::Types())
    types.push_back(standard);
  return types;
}

}  // namespace

Designer::Designer(FormHost &host, std::string path, bool read_whole)
    : host_(host), path_(std::move(path)), read_whole_(read_whole) {
  on_disk_ = zplatform::ReadWholeFile(path_).value_or(std::string());
  Attach();
}

Designer::~Designer() {
  delete panel_;
}

zelko::Control *Designer::ControlNamed(const std::string &name) const {
  return host_.FindControl(name);
}

void Designer::Attach() {
  QWidget *form = host_.Window();
  form->installEventFilter(this);
  for (const std::string &name : host_.ItemNames()) {
    QWidget *w = host_.FindWidget(name);
    if (w == nullptr) continue;
    w->installEventFilter(this);
    for (QWidget *inner : w->findChildren<QWidget *>())
      inner->installEventFilter(this);
  }
  delete frame_;
  frame_ = new QRubberBand(QRubberBand::Rectangle, form);
  frame_->hide();
}

void Designer::Remember() {
  redo_.clear();
  if (joining_ && !undo_.empty()) return;
  nudged_.clear();
  if (undo_.size() >= kUndoSteps) undo_.erase(undo_.begin());
  undo_.push_back(host_.Save());
}

bool Designer::Select(const std::string &name, std::string *error) {
  QWidget *w = host_.FindWidget(name);
  if (w == nullptr || w == host_.Window()) {
    *error = "no control " + name + " on the form";
    return false;
  }
  selected_ = host_.ItemAt(w);
  ShowSelection();
  FillSheet();
  return true;
}

void Designer::ShowSelection() {
  QWidget *w = selected_.empty() ? nullptr : host_.FindWidget(selected_);
  if (w == nullptr || frame_ == nullptr) {
    if (frame_ != nullptr) frame_->hide();
    return;
  }
  QRect r(w->mapTo(host_.Window(), QPoint(0, 0)), w->size());
  frame_->setGeometry(r.adjusted(-2, -2, 2, 2));
  frame_->show();
  frame_->raise();
}

bool Designer::Move(const std::string &name, long long left, long long top, std::string *error) {
  FrmObject *o = host_.Object(name);
  if (o == nullptr || host_.FindWidget(name) == host_.Window()) {
    *error = "no control " + name + " on the form";
    return false;
  }
  Remember();
  host_.SetGeometry(name, left, top, o->Number("Width", 480), o->Number("Height", 480));
  ShowSelection();
  FillSheet();
  return true;
}

bool Designer::Resize(const std::string &name, long long width, long long height,
                      std::string *error) {
  FrmObject *o = host_.Object(name);
  if (o == nullptr || host_.FindWidget(name) == host_.Window()) {
    *error = "no control " + name + " on the form";
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = "a size is above 0 twips";
    return false;
  }
  Remember();
  host_.SetGeometry(name, o->Number("Left", 0), o->Number("Top", 0), width, height);
  ShowSelection();
  FillSheet();
  return true;
}

bool Designer::Add(const std::string &type_text, const std::string &name, long long left,
                   long long top, long long width, long long height, std::string *error) {
  std::string type = TypeOf(type_text);
  if (type.empty()) {
    *error = "no control class " + type_text;
    return false;
  }
  if (name.empty() || host_.Object(name) != nullptr) {
    *error = "the form already has " + name;
    return false;
  }
  if (width <= 0 || height <= 0) {
    *error = "a size is above 0 twips";
    return false;
  }
  FrmDocument doc = host_.Save();
  Remember();
  FrmObject o;
  o.type = type;
  o.name = name;
  for (const auto &[key, value] : {std::pair<const char *, long long>{"Left", left},
                                   {"Top", top},
                                   {"Width", width},
                                   {"Height", height}})
    o.properties.push_back({key, std::to_string(value), "", ""});
  doc.form.children.push_back(std::move(o));
  host_.Reload(doc);
  Attach();
  return Select(name, error);
}

bool Designer::Delete(const std::string &name, std::string *error) {
  FrmDocument doc = host_.Save();
  if (host_.FindWidget(name) == host_.Window() || !RemoveObject(doc.form, name)) {
    *error = "no control " + name + " on the form";
    return false;
  }
  Remember();
  host_.Reload(doc);
  Attach();
  if (zelko::EqualNoCase(selected_, name)) selected_.clear();
  page_.reset();
  ShowSelection();
  FillSheet();
  return true;
}

bool Designer::SetProperty(const std::string &name, const std::string &property,
                           const zelko::Variant &value, std::string *error) {
  FrmObject *o = host_.Object(name);
  if (o == nullptr) {
    *error = "no control " + name + " on the form";
    return false;
  }
  // The place and size are the form file's, not the control's: a move or a resize.
  bool left = zelko::EqualNoCase(property, "Left"), top = zelko::EqualNoCase(property, "Top");
  bool width = zelko::EqualNoCase(property, "Width"),
       height = zelko::EqualNoCase(property, "Height");
  if (left || top || width || height) {
    auto n = value.AsInteger();
    if (!n) {
      *error = property + " takes a number of twips";
      return false;
    }
    if ((left || top) && *n < 0) {
      *error = property + " is 0 twips or more";
      return false;
    }
    if (left || top)
      return Move(name, left ? *n : o->Number("Left", 0), top ? *n : o->Number("Top", 0), error);
    return Resize(name, width ? *n : o->Number("Width", 480),
                  height ? *n : o->Number("Height", 480), error);
  }
  zelko::Control *control = ControlNamed(name);
  if (control == nullptr) {
    *error = name + " has no property " + property + " the designer can set";
    return false;
  }
  Remember();
  zelko::HResult hr = control->PutProperty(property, value);
  if (hr != zelko::kOk) {
    undo_.pop_back();
    *error = "invalid value for " + name + "." + property;
    return false;
  }
  FillSheet();
  return true;
}

bool Designer::Step(std::vector<FrmDocument> &from, std::vector<FrmDocument> &to,
                    const char *nothing, std::string *error) {
  if (from.empty()) {
    *error = nothing;
    return false;
  }
  nudged_.clear();
  to.push_back(host_.Save());
  FrmDocument doc = std::move(from.back());
  from.pop_back();
  host_.Reload(doc);
  Attach();
  page_.reset();
  if (host_.FindWidget(selected_) == nullptr) selected_.clear();
  ShowSelection();
  FillSheet();
  return true;
}

bool Designer::Undo(std::string *error) {
  return Step(undo_, redo_, "nothing to undo", error);
}

bool Designer::Redo(std::string *error) {
  return Step(redo_, undo_, "nothing to redo", error);
}

bool Designer::Save(const std::string &path, std::string *error) {
  std::string target = path.empty() ? path_ : std::filesystem::absolute(path).string();
  std::error_code same_error;
  bool same = !path_.empty() && std::filesystem::equivalent(target, path_, same_error);
  if (same && !read_whole_) {
    *error = "the form was not read whole; saving over " + target +
             " would lose what could not be read (save it to another file)";
    return false;
  }
  // Another program (a second designer, a text editor) may have saved the file since it was
  // read here: its changes are not thrown away unasked.
  std::optional<std::string> now = same ? zplatform::ReadWholeFile(target) : std::nullopt;
  if (now && *now != on_disk_ &&
      zplatform::MessageService::Instance().ShowFormatted(
          zplatform::MessageButtons::kOkCancel, zplatform::MessageIcon::kQuestion,
          "%s was changed by another program since it was read here. OK saves over it (the "
          "other program's changes are lost); Cancel leaves it as it is.",
          zplatform::FromUtf8(target).c_str()) != zplatform::MessageAnswer::kOk) {
    *error = "not saved: " + target + " keeps the other program's changes";
    return false;
  }
  const FrmDocument document = host_.Save();
  if (std::string lacking = CharacterAFormCannotKeep(WriteFrm(document)); !lacking.empty()) {
    *error = "not saved: the form holds \"" + lacking +
             "\", which a form file (code page 932) cannot keep; it would be written as \"?\"";
    return false;
  }
  std::string bytes = FrmFileBytes(document);
  if (!zplatform::ReplaceFileContent(target, bytes).ok) {
    *error = "cannot write " + target + "; the file is left as it was";
    return false;
  }
  if (same) on_disk_ = std::move(bytes);
  return true;
}

zelko::PropertyPage *Designer::OpenPage(const std::string &name, int index, std::string *error) {
  zelko::Control *control = ControlNamed(name);
  std::vector<zelko::PageSpec> pages =
      control != nullptr ? zelko::PagesOf(*control) : std::vector<zelko::PageSpec>();
  if (index < 0 || index >= static_cast<int>(pages.size())) {
    *error = name + " has no property page " + std::to_string(index + 1);
    return nullptr;
  }
  page_ = std::make_unique<zelko::PropertyPage>(*control, pages[static_cast<size_t>(index)]);
  page_control_ = name;
  return page_.get();
}

bool Designer::ApplyPage(std::string *error) {
  if (page_ == nullptr) {
    *error = "no property page is open";
    return false;
  }
  Remember();
  if (page_->Apply() != zelko::kOk) {
    *error = "the control refused a value of its page";
    return false;
  }
  FillSheet();
  return true;
}

QWidget *Designer::Panel() {
  if (panel_ != nullptr) return panel_;
  panel_ = new QWidget();
  panel_->setWindowTitle(QStringLiteral("デザイン - ") + QString::fromStdString(host_.FormName()));
  auto *layout = new QVBoxLayout(panel_);
  layout->addWidget(new QLabel(QStringLiteral("ツールボックス"), panel_));
  palette_ = new QListWidget(panel_);
  for (const std::string &type : PaletteTypes())
    palette_->addItem(QString::fromStdString(type));
  palette_->setMaximumHeight(160);
  layout->addWidget(palette_);
  QObject::connect(palette_, &QListWidget::itemDoubleClicked, panel_,
                   [this](QListWidgetItem *item) {
                     std::string type = item->text().toStdString();
                     std::string base = type.substr(type.find('.') + 1);
                     std::string name;
                     for (int n = 1; name.empty() || host_.Object(name) != nullptr; ++n)
                       name = base + std::to_string(n);
                     std::string error;
                     Add(type, name, 240, 240, 1215, 375, &error);
                   });
  auto *buttons = new QHBoxLayout();
  auto button = [&](const QString &text, std::function<void()> action) {
    auto *b = new QPushButton(text, panel_);
    QObject::connect(b, &QPushButton::clicked, panel_, action);
    buttons->addWidget(b);
  };
  button(QStringLiteral("ﾌﾟﾛﾊﾟﾃｨ ﾍﾟｰｼﾞ"), [this] { ShowPageDialog(); });
  button(QStringLiteral("元に戻す"), [this] {
    std::string e;
    Undo(&e);
  });
  button(QStringLiteral("やり直し"), [this] {
    std::string e;
    Redo(&e);
  });
  button(QStringLiteral("保存"), [this] {
    std::string e;
    if (!Save("", &e)) Tell(e);
  });
  layout->addLayout(buttons);
  sheet_ = new QTableWidget(0, 2, panel_);
  sheet_->horizontalHeader()->setStretchLastSection(true);
  sheet_->verticalHeader()->hide();
  sheet_->setHorizontalHeaderLabels({QStringLiteral("ﾌﾟﾛﾊﾟﾃｨ"), QStringLiteral("値")});
  layout->addWidget(sheet_, 1);
  panel_->resize(340, 620);
  FillSheet();
  return panel_;
}

void Designer::FillSheet() {
  if (sheet_ == nullptr) return;
  filling_sheet_ = true;
  sheet_->setRowCount(0);
  FrmObject *o = selected_.empty() ? nullptr : host_.Object(selected_);
  if (o == nullptr) {
    filling_sheet_ = false;
    return;
  }
  auto row = [&](const std::string &name, QWidget *editor) {
    int r = sheet_->rowCount();
    sheet_->insertRow(r);
    sheet_->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(name)));
    sheet_->setCellWidget(r, 1, editor);
  };
  std::string name = selected_;
  auto commit = [this, name](const std::string &property, zelko::Variant value) {
    if (filling_sheet_) return;
    std::string error;
    if (!SetProperty(name, property, value, &error)) Tell(error);
  };
  for (const char *geometry : {"Left", "Top", "Width", "Height"}) {
    auto *spin = new QSpinBox(sheet_);
    spin->setRange(0, 1000000);
    spin->setValue(static_cast<int>(o->Number(geometry, 0)));
    std::string property = geometry;
    QObject::connect(spin, &QSpinBox::editingFinished, spin, [spin, commit, property] {
      commit(property, zelko::Variant::I4(spin->value()));
    });
    row(geometry, spin);
  }
  zelko::Control *control = ControlNamed(selected_);
  if (control != nullptr) {
    for (const zelko::PropertyInfo &p : control->Class().properties) {
      if (!p.persisted || !p.get || !p.put) continue;
      zelko::Variant value;
      if (control->GetProperty(p.name, &value) != zelko::kOk) continue;
      std::string property = p.name;
      if (p.kind == zelko::PropKind::kBool) {
        auto *choice = new QComboBox(sheet_);
        choice->addItems({"True", "False"});
        choice->setCurrentIndex(value.AsInteger().value_or(0) != 0 ? 0 : 1);
        QObject::connect(choice, &QComboBox::activated, choice, [choice, commit, property] {
          commit(property, zelko::Variant::Bool(choice->currentIndex() == 0));
        });
        row(property, choice);
      } else if (p.kind == zelko::PropKind::kInt16 || p.kind == zelko::PropKind::kInt32) {
        auto *spin = new QSpinBox(sheet_);
        spin->setRange(p.kind == zelko::PropKind::kInt16 ? -32768 : INT32_MIN,
                       p.kind == zelko::PropKind::kInt16 ? 32767 : INT32_MAX);
        spin->setValue(static_cast<int>(value.AsInteger().value_or(0)));
        QObject::connect(spin, &QSpinBox::editingFinished, spin, [spin, commit, property] {
          commit(property, zelko::Variant::I4(spin->value()));
        });
        row(property, spin);
      } else if (p.kind == zelko::PropKind::kColor) {
        // A colour: the dialog's choice as an OLE colour (0x00BBGGRR).
        int32_t ole = static_cast<int32_t>(value.AsInteger().value_or(0));
        auto *pick = new QPushButton(
            QString("&H%1&").arg(static_cast<uint32_t>(ole), 8, 16, QChar('0')).toUpper(), sheet_);
        QObject::connect(pick, &QPushButton::clicked, pick, [pick, commit, property, ole] {
          QColor chosen = QColorDialog::getColor(zelko::OleColor(ole, Qt::white), pick);
          if (!chosen.isValid()) return;
          commit(property,
                 zelko::Variant::I4(chosen.red() | chosen.green() << 8 | chosen.blue() << 16));
        });
        row(property, pick);
      } else if (p.kind == zelko::PropKind::kFont) {
        // A font: "face,size,weight,charset", as the controls keep it.
        std::string spec = value.AsString().value_or("");
        auto *pick = new QPushButton(QString::fromStdString(spec), sheet_);
        QObject::connect(pick, &QPushButton::clicked, pick, [pick, commit, property, spec] {
          bool ok = false;
          QFont chosen = QFontDialog::getFont(&ok, zelko::FontOf(spec), pick);
          if (!ok) return;
          int weight = chosen.bold() ? 700 : 400;
          std::string charset = spec.substr(spec.find_last_of(',') + 1);
          commit(property, zelko::Variant::String(
                               chosen.family().toStdString() + "," +
                               std::to_string(chosen.pointSize()) + "," + std::to_string(weight) +
                               "," + (spec.find(',') == std::string::npos ? "128" : charset)));
        });
        row(property, pick);
      } else {
        auto *edit = new QLineEdit(QString::fromStdString(value.AsString().value_or("")), sheet_);
        QObject::connect(edit, &QLineEdit::editingFinished, edit, [edit, commit, property] {
          commit(property, zelko::Variant::String(edit->text().toStdString()));
        });
        row(property, edit);
      }
    }
  }
  filling_sheet_ = false;
}

void Designer::ShowPageDialog() {
  zelko::Control *control = ControlNamed(selected_);
  if (control == nullptr) return;
  std::vector<zelko::PageSpec> specs = zelko::PagesOf(*control);
  if (specs.empty()) return;
  QDialog dialog(panel_ != nullptr ? panel_ : host_.Window());
  dialog.setWindowTitle(QString::fromStdString(selected_) + QStringLiteral(" ﾌﾟﾛﾊﾟﾃｨ ﾍﾟｰｼﾞ"));
  auto *tabs = new QTabWidget(&dialog);
  std::vector<std::unique_ptr<zelko::PropertyPage>> pages;
  std::vector<std::function<void()>> refreshers;
  for (const zelko::PageSpec &spec : specs) {
    pages.push_back(std::make_unique<zelko::PropertyPage>(*control, spec));
    zelko::PropertyPage *page = pages.back().get();
    auto *tab = new QWidget(tabs);
    auto *form = new QFormLayout(tab);
    std::vector<std::pair<zelko::PageList, QComboBox *>> combos;
    for (const zelko::PageListSpec &list : spec.lists) {
      auto *combo = new QComboBox(tab);
      form->addRow(QString::fromUtf8(list.label), combo);
      combos.emplace_back(list.list, combo);
    }
    QListWidget *available = nullptr, *chosen = nullptr;
    if (spec.chosen_fields_property != nullptr) {
      auto *edit = new QLineEdit(QString::fromStdString(page->EditText()), tab);
      QObject::connect(edit, &QLineEdit::textEdited, tab,
                       [page](const QString &text) { page->SetEditText(text.toStdString()); });
      form->addRow(QStringLiteral("条件"), edit);
      auto *lists = new QHBoxLayout();
      available = new QListWidget(tab);
      chosen = new QListWidget(tab);
      available->setSelectionMode(QAbstractItemView::ExtendedSelection);
      chosen->setSelectionMode(QAbstractItemView::ExtendedSelection);
      auto *moves = new QVBoxLayout();
      lists->addWidget(available);
      lists->addLayout(moves);
      lists->addWidget(chosen);
      form->addRow(lists);
      auto move = [page, available, chosen](bool to_chosen, bool all) {
        std::vector<std::string> names;
        for (QListWidgetItem *item : (to_chosen ? available : chosen)->selectedItems())
          names.push_back(item->text().toStdString());
        if (all || !names.empty()) page->Move(all ? std::vector<std::string>() : names, to_chosen);
      };
      for (auto [text, to_chosen, all] : {std::tuple{">", true, false},
                                          {">>", true, true},
                                          {"<", false, false},
                                          {"<<", false, true}}) {
        auto *b = new QPushButton(text, tab);
        moves->addWidget(b);
        bool t = to_chosen, a = all;
        QObject::connect(b, &QPushButton::clicked, tab, [move, t, a, &refreshers] {
          move(t, a);
          for (auto &refresh : refreshers)
            refresh();
        });
      }
    }
    if (spec.ddf_dir) {
      auto *row = new QHBoxLayout();
      auto *edit = new QLineEdit(QString::fromStdString(page->DdfDir()), tab);
      auto *browse = new QPushButton(QStringLiteral("参照"), tab);
      row->addWidget(edit);
      row->addWidget(browse);
      form->addRow(QStringLiteral("DDFDir"), row);
      QObject::connect(edit, &QLineEdit::textEdited, tab,
                       [page](const QString &text) { page->SetDdfDir(text.toStdString()); });
      QObject::connect(browse, &QPushButton::clicked, tab, [page, edit, tab] {
        QString chosen_dir =
            QFileDialog::getExistingDirectory(tab, QStringLiteral("DDFDir"), edit->text());
        if (chosen_dir.isEmpty()) return;
        edit->setText(chosen_dir);
        page->SetDdfDir(chosen_dir.toStdString());
      });
    }
    refreshers.push_back([page, combos, available, chosen] {
      for (const auto &[list, combo] : combos) {
        QSignalBlocker quiet(combo);
        combo->clear();
        for (const std::string &item : page->Items(list))
          combo->addItem(QString::fromStdString(item));
        combo->setCurrentIndex(combo->findText(QString::fromStdString(page->Selected(list))));
      }
      if (available != nullptr) {
        available->clear();
        chosen->clear();
        for (const std::string &name : page->Available())
          available->addItem(QString::fromStdString(name));
        for (const std::string &name : page->Chosen())
          chosen->addItem(QString::fromStdString(name));
      }
    });
    for (const auto &[list, combo] : combos) {
      zelko::PageList which = list;
      QObject::connect(combo, &QComboBox::activated, tab, [page, which, combo, &refreshers] {
        page->Choose(which, combo->currentText().toStdString());
        for (auto &refresh : refreshers)
          refresh();
      });
    }
    tabs->addTab(tab, QString::fromUtf8(spec.name));
  }
  for (auto &refresh : refreshers)
    refresh();
  auto *buttons = new QDialogButtonBox(
      QDialogButtonBox::Ok | QDialogButtonBox::Apply | QDialogButtonBox::Cancel, &dialog);
  auto apply = [this, &pages] {
    bool any = std::any_of(pages.begin(), pages.end(), [](const auto &p) { return p->Dirty(); });
    if (!any) return;
    Remember();
    for (auto &page : pages)
      page->Apply();
    FillSheet();
  };
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    apply();
    dialog.accept();
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons->button(QDialogButtonBox::Apply), &QAbstractButton::clicked, &dialog,
                   apply);
  auto *layout = new QVBoxLayout(&dialog);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  dialog.exec();
}

bool Designer::eventFilter(QObject *watched, QEvent *event) {
  auto *widget = qobject_cast<QWidget *>(watched);
  if (widget == nullptr) return false;
  std::string error;
  switch (event->type()) {
    case QEvent::MouseButtonPress: {
      std::string name = host_.ItemAt(widget);
      if (name.empty()) return false;
      auto *mouse = static_cast<QMouseEvent *>(event);
      Select(name, &error);
      QWidget *w = host_.FindWidget(selected_);
      if (w == nullptr) return true;
      QPoint inside = w->mapFromGlobal(mouse->globalPosition().toPoint());
      dragging_ = true;
      moved_ = false;
      sizing_ = inside.x() >= w->width() - 6 && inside.y() >= w->height() - 6;
      drag_start_ = mouse->globalPosition().toPoint();
      start_rect_ = w->geometry();
      return true;
    }
    case QEvent::MouseMove: {
      if (!dragging_) return false;
      QWidget *w = host_.FindWidget(selected_);
      if (w == nullptr) return true;
      QPoint delta = static_cast<QMouseEvent *>(event)->globalPosition().toPoint() - drag_start_;
      moved_ = moved_ || delta.manhattanLength() > 0;
      if (sizing_) {
        w->resize(std::max(1, start_rect_.width() + delta.x()),
                  std::max(1, start_rect_.height() + delta.y()));
      } else {
        w->move(start_rect_.topLeft() + delta);
      }
      ShowSelection();
      return true;
    }
    case QEvent::MouseButtonRelease: {
      if (!dragging_) return false;
      dragging_ = false;
      QWidget *w = host_.FindWidget(selected_);
      FrmObject *o = host_.Object(selected_);
      if (w == nullptr || o == nullptr || !moved_) return true;
      // The twips move by whole pixels from where they were, so they stay exact.
      long long dx = (w->width() - start_rect_.width()) * kTwipsPerPixel;
      long long dy = (w->height() - start_rect_.height()) * kTwipsPerPixel;
      long long mx = (w->x() - start_rect_.x()) * kTwipsPerPixel;
      long long my = (w->y() - start_rect_.y()) * kTwipsPerPixel;
      if (sizing_) {
        Resize(selected_, o->Number("Width", 480) + dx, o->Number("Height", 480) + dy, &error);
      } else {
        Move(selected_, o->Number("Left", 0) + mx, o->Number("Top", 0) + my, &error);
      }
      return true;
    }
    case QEvent::MouseButtonDblClick:
      if (host_.ItemAt(widget).empty()) return false;
      ShowPageDialog();
      return true;
    case QEvent::KeyPress: {
      auto *key = static_cast<QKeyEvent *>(event);
      bool control = (key->modifiers() & Qt::ControlModifier) != 0;
      if (control && key->key() == Qt::Key_Z) return Undo(&error), true;
      if (control && key->key() == Qt::Key_Y) return Redo(&error), true;
      if (control && key->key() == Qt::Key_S) {
        if (!Save("", &error)) Tell(error);
        return true;
      }
      FrmObject *o = selected_.empty() ? nullptr : host_.Object(selected_);
      if (o == nullptr) return false;
      if (key->key() == Qt::Key_Delete) return Delete(selected_, &error), true;
      int dx = key->key() == Qt::Key_Left ? -1 : key->key() == Qt::Key_Right ? 1 : 0;
      int dy = key->key() == Qt::Key_Up ? -1 : key->key() == Qt::Key_Down ? 1 : 0;
      if (dx == 0 && dy == 0) return false;
      // One pixel a press; with Shift the size changes instead.
      joining_ = key->isAutoRepeat() && !nudged_.empty() && zelko::EqualNoCase(nudged_, selected_);
      bool done;
      if ((key->modifiers() & Qt::ShiftModifier) != 0) {
        done = Resize(
            selected_, std::max(kTwipsPerPixel, o->Number("Width", 480) + dx * kTwipsPerPixel),
            std::max(kTwipsPerPixel, o->Number("Height", 480) + dy * kTwipsPerPixel), &error);
      } else {
        done = Move(selected_, std::max(0LL, o->Number("Left", 0) + dx * kTwipsPerPixel),
                    std::max(0LL, o->Number("Top", 0) + dy * kTwipsPerPixel), &error);
      }
      joining_ = false;
      if (done) nudged_ = selected_;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace zelkoform
