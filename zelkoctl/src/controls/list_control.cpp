#include "controls/list_control.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>

#include "btrieve/btrapi.h"
#include "code_page_text_validator.h"
#include "engine/extended_access.h"
#include "engine/extended_fill.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "frame/ime_service.h"
#include "frame/stock_look.h"
#include "zplatform/ascii.h"
#include "zplatform/codepage.h"

namespace zelko {

namespace {

constexpr int kItemDataRole = Qt::UserRole + 1;

// Tells the control when its window gets and loses the focus.
class FocusFill : public QObject {
 public:
  FocusFill(ListBoxControl *control, QObject *parent) : QObject(parent), control_(control) {}
  bool eventFilter(QObject *, QEvent *event) override {
    if (event->type() == QEvent::FocusIn) control_->OnFocus(true);
    if (event->type() == QEvent::FocusOut) control_->OnFocus(false);
    return false;
  }

 private:
  ListBoxControl *control_;
};

bool StartsWithNoCase(const QString &text, const QString &prefix) {
  return text.startsWith(prefix, Qt::CaseInsensitive);
}

}  // namespace

ListBoxControl::ListBoxControl(int kind, bool combo, bool extended)
    : kind_(kind), combo_(combo), extended_(extended) {
  if (combo_) border_style_ = 0;
}

ListBoxControl::~ListBoxControl() {
  DestroyWindow();
}

QWidget *ListBoxControl::MakeWidget(QWidget *parent) {
  QWidget *widget;
  if (combo_) {
    combo_box_ = new QComboBox(parent);
    combo_box_->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(combo_box_, &QComboBox::currentIndexChanged, [this](int) {
      std::vector<Variant> none;
      FireEvent("Click", none);
    });
    QObject::connect(combo_box_, &QComboBox::editTextChanged, [this](const QString &) {
      std::vector<Variant> none;
      FireEvent("Change", none);
    });
    widget = combo_box_;
  } else {
    list_ = new QListWidget(parent);
    QObject::connect(list_, &QListWidget::itemDoubleClicked, [this](QListWidgetItem *) {
      std::vector<Variant> none;
      FireEvent("DblClick", none);
    });
    QObject::connect(list_, &QListWidget::currentRowChanged, [this](int) {
      std::vector<Variant> none;
      FireEvent("Click", none);
    });
    QObject::connect(list_->verticalScrollBar(), &QScrollBar::valueChanged, [this](int) {
      std::vector<Variant> none;
      FireEvent("Scroll", none);
    });
    widget = list_;
  }
  widget->installEventFilter(new FocusFill(this, widget));
  return widget;
}

void ListBoxControl::ApplyStyle() {
  QWidget *w = Window();
  if (w == nullptr) return;
  if (combo_box_ != nullptr) {
    bool editable = style_ != 2;
    if (combo_box_->isEditable() != editable) {
      combo_box_->setEditable(editable);
      // What is typed goes into the field: no character the code page lacks (stored "?").
      if (QLineEdit *line = combo_box_->lineEdit()) {
        line->setValidator(new zplatform::CodePageTextValidator([] { return 0; }, line));
      }
    }
  }
  if (list_ != nullptr) {
    list_->setFrameStyle(border_style_ == 1 ? QFrame::StyledPanel | QFrame::Sunken
                                            : QFrame::NoFrame);
    list_->setSortingEnabled(sort_);
  }
  w->setEnabled(enabled_);
  w->setFocusPolicy(tab_stop_ ? Qt::StrongFocus : Qt::ClickFocus);
  w->setFont(FontOf(font_));
  QPalette pal = w->palette();
  pal.setColor(QPalette::Base, OleColor(back_color_, QApplication::palette().base().color()));
  pal.setColor(QPalette::Text, OleColor(fore_color_, QApplication::palette().text().color()));
  w->setPalette(pal);
}

void ListBoxControl::OnWindowCreated() {
  ApplyStyle();
  if (combo_box_ != nullptr && combo_box_->isEditable())
    combo_box_->setEditText(QString::fromStdString(text_));
  if (!RunMode()) return;
  ListControl::OnWindowCreated();  // registration
  if (update_option_ == 1) Refresh();
}

void ListBoxControl::OnWindowDestroying() {
  ListControl::OnWindowDestroying();
  text_ = WindowText();
  combo_box_ = nullptr;
  list_ = nullptr;
}

void ListBoxControl::OnFocus(bool focused) {
  if (focused && update_option_ == 2) Refresh();
  // A combo box with an edit part takes its input-method mode while it has the focus.
  if (combo_box_ == nullptr || style_ == 2 || ime_mode_ == 0) return;
  if (focused) {
    former_ime_mode_ = ImeService::Get().CurrentMode(combo_box_);
    ImeService::Get().SetMode(combo_box_, ime_mode_);
  } else if (former_ime_mode_ != 0) {
    ImeService::Get().SetMode(combo_box_, former_ime_mode_);
  }
}

HResult ListBoxControl::PutText(const Variant &v) {
  auto text = v.AsString();
  if (!text) return kTypeMismatch;
  text_ = *text;
  if (combo_box_ != nullptr) {
    if (combo_box_->isEditable()) {
      combo_box_->setEditText(QString::fromStdString(text_));
    } else {
      int index = combo_box_->findText(QString::fromStdString(text_), Qt::MatchFixedString);
      if (index >= 0) combo_box_->setCurrentIndex(index);
    }
  } else if (list_ != nullptr) {
    auto found = list_->findItems(QString::fromStdString(text_), Qt::MatchFixedString);
    if (!found.isEmpty()) list_->setCurrentItem(found.front());
  }
  return kOk;
}

std::string ListBoxControl::WindowText() const {
  if (combo_box_ != nullptr) return combo_box_->currentText().toStdString();
  if (list_ != nullptr)
    return list_->currentItem() != nullptr ? list_->currentItem()->text().toStdString()
                                           : std::string();
  return text_;
}

int ListBoxControl::ListCount() const {
  return combo_box_ != nullptr ? combo_box_->count() : list_ != nullptr ? list_->count() : 0;
}

std::string ListBoxControl::ItemText(int index) const {
  if (index < 0 || index >= ListCount()) return std::string();
  return (combo_box_ != nullptr ? combo_box_->itemText(index) : list_->item(index)->text())
      .toStdString();
}

int32_t ListBoxControl::ItemData(int index) const {
  if (index < 0 || index >= ListCount()) return 0;
  QVariant v = combo_box_ != nullptr ? combo_box_->itemData(index, kItemDataRole)
                                     : list_->item(index)->data(kItemDataRole);
  return v.isValid() ? v.toInt() : 0;
}

bool ListBoxControl::SetItemData(int index, int32_t data) {
  if (index < 0 || index >= ListCount()) return false;
  if (combo_box_ != nullptr) {
    combo_box_->setItemData(index, data, kItemDataRole);
  } else {
    list_->item(index)->setData(kItemDataRole, data);
  }
  return true;
}

int ListBoxControl::ListIndex() const {
  return combo_box_ != nullptr ? combo_box_->currentIndex()
         : list_ != nullptr    ? list_->currentRow()
                               : -1;
}

bool ListBoxControl::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) return false;
  if (combo_box_ != nullptr) {
    combo_box_->setCurrentIndex(index);
  } else if (list_ != nullptr) {
    list_->setCurrentRow(index);
    if (index < 0) list_->clearSelection();
  }
  return true;
}

int ListBoxControl::AddItem(const std::string &text, int index) {
  int count = ListCount();
  if (index < 0 || index > count) index = count;
  QString item = QString::fromStdString(text);
  if (combo_box_ != nullptr) {
    combo_box_->insertItem(index, item);
  } else if (list_ != nullptr) {
    list_->insertItem(index, item);
    if (sort_) {
      list_->sortItems();
      return list_->row(list_->findItems(item, Qt::MatchExactly).value(0));
    }
  } else {
    return -1;
  }
  return index;
}

int ListBoxControl::RemoveItem(int index) {
  if (index < 0 || index >= ListCount()) return -1;
  if (combo_box_ != nullptr) {
    combo_box_->removeItem(index);
  } else {
    delete list_->takeItem(index);
  }
  return ListCount();
}

void ListBoxControl::Clear() {
  if (combo_box_ != nullptr) combo_box_->clear();
  if (list_ != nullptr) list_->clear();
}

HResult ListBoxControl::ListMethod(ListBoxControl &c, std::vector<Variant> &args, Variant *result) {
  auto index = args.empty() ? std::nullopt : args[0].AsInteger();
  if (!index || args.size() > 2) return kBadParamCount;
  if (*index < 0 || *index >= c.ListCount()) return kInvalidPropertyValue;
  if (args.size() == 2 && !args[1].IsEmpty()) {
    auto text = args[1].AsString();
    if (!text) return kTypeMismatch;
    QString t = QString::fromStdString(*text);
    if (c.combo_box_ != nullptr) c.combo_box_->setItemText(*index, t);
    if (c.list_ != nullptr) c.list_->item(*index)->setText(t);
    return kOk;
  }
  *result = Variant::String(c.ItemText(*index));
  return kOk;
}

HResult ListBoxControl::ItemDataMethod(ListBoxControl &c, std::vector<Variant> &args,
                                       Variant *result) {
  auto index = args.empty() ? std::nullopt : args[0].AsInteger();
  if (!index || args.size() > 2) return kBadParamCount;
  if (*index < 0 || *index >= c.ListCount()) return kInvalidPropertyValue;
  if (args.size() == 2 && !args[1].IsEmpty()) {
    auto data = args[1].AsInteger();
    if (!data) return kTypeMismatch;
    c.SetItemData(*index, *data);
    return kOk;
  }
  *result = Variant::I4(c.ItemData(*index));
  return kOk;
}

void ListBoxControl::Select(const std::string &text_cp) {
  QString text = QString::fromStdString(zplatform::ToUtf8(text_cp));
  if (combo_box_ != nullptr) {
    if (style_ == 0) {
      combo_box_->setEditText(text);
      return;
    }
    int index = combo_box_->findText(text, Qt::MatchFixedString);  // whole text, any case
    if (index >= 0) combo_box_->setCurrentIndex(index);
    return;
  }
  if (list_ == nullptr) return;
  // The first item that begins with the text, from the top.
  for (int i = 0; i < list_->count(); ++i) {
    if (StartsWithNoCase(list_->item(i)->text(), text)) {
      list_->setCurrentRow(i);
      return;
    }
  }
}

void ListBoxControl::ShowFieldText(const std::string &text_cp) {
  Select(text_cp);
  given_.Remember(text_cp, Answer());
}

std::string ListBoxControl::Answer() const {
  std::string shown;
  if (combo_box_ != nullptr && style_ == 0) {
    shown = combo_box_->currentText().toStdString();
  } else if (combo_box_ != nullptr) {
    shown = combo_box_->currentIndex() >= 0 ? combo_box_->currentText().toStdString() : "";
  } else if (list_ != nullptr && list_->currentItem() != nullptr &&
             list_->currentItem()->isSelected()) {
    shown = list_->currentItem()->text().toStdString();
  }
  return zplatform::FromUtf8(shown);
}

bool ListBoxControl::ReadFieldText(std::string *text) {
  // A value the list could not show (no item holds it, or only one that begins with it, or
  // the selection of the record before stayed) goes back as it came while nobody changed the
  // selection: an update of the record must not store the item's text in its place.
  *text = given_.Resolve(*this, Answer());
  return true;
}

void ListBoxControl::ClearFieldText() {
  given_.Forget();
  if (combo_box_ != nullptr) {
    combo_box_->setCurrentIndex(-1);
    if (combo_box_->isEditable()) combo_box_->setEditText(QString());
  }
  if (list_ != nullptr) {
    list_->setCurrentRow(-1);
    list_->clearSelection();
  }
}

int ListBoxControl::KeyOf(const TableDescriptor &table) const {
  return KeyOfDbIndex(table, db_list_index_);
}

void ListBoxControl::Refresh() {
  BindingRegistry &registry = Module::Get().registry;
  TableDescriptor *table =
      registry.FindBoundTable(GetFormWindow(), db_list_source_, db_list_table_);
  if (table == nullptr || Window() == nullptr) return;
  int key = KeyOf(*table);
  list_index_id_ = key;
  if (!table->open && registry.OpenListTable(*table, GetFormWindow(), db_list_source_) != 0) return;
  KeptPosition kept(*table, key);
  if (extended_) {
    ExtendedFill(*table, key);
  } else {
    SimpleFill(*table, key);
  }
}

bool ListBoxControl::AddFormatted(std::string text_cp, int32_t position) {
  Module &module = Module::Get();
  abort_ = false;
  module.formatted_text.clear();
  std::vector<Variant> args = {Variant::String(zplatform::ToUtf8(text_cp))};
  FireEvent("Format", args);
  if (abort_) return false;
  std::string item = !module.formatted_text.empty() ? zplatform::ToUtf8(module.formatted_text)
                                                    : args[0].AsString().value_or("");
  module.formatted_text.clear();
  if (item.empty()) return true;  // an empty line leaves the record out
  int at = AddItem(item, -1);
  if (save_position_ && at >= 0) SetItemData(at, position);
  return true;
}

void ListBoxControl::SimpleFill(TableDescriptor &table, int key) {
  int field = FindFieldByName(table, zplatform::FromUtf8(db_list_field_));
  if (field < 0) return;  // the list keeps its items
  ClearRecordBuffer(table);
  int16_t status = EngineAccess(table, B_GET_FIRST, key);
  if (status != 0) return;
  Clear();
  while (status == 0) {
    if (!AddFormatted(ReadFieldByNumber(table, field), EngineGetPosition(table))) break;
    status = EngineAccess(table, B_GET_NEXT, key);
  }
}

void ListBoxControl::ExtendedFill(TableDescriptor &table, int key) {
  ExtendedFillRequest request = MakeExtendedFillRequest(
      ex_operation_, conditions_, db_list_field_, key, skip_records_,
      static_cast<int>(max_records_), locks_, compare_case_, leave_results_);
  if (leave_results_ && result_id_ >= 0) ExFree(result_id_);
  std::string delimiter = zplatform::FromUtf8(delimit_char_.empty() ? " " : delimit_char_);
  ExtendedFillOutcome outcome = RunExtendedFill(
      table, request, [this] { Clear(); },
      [&](const std::vector<std::string> &texts, int32_t position) {
        std::string item;
        for (size_t i = 0; i < texts.size(); ++i)
          item += (i > 0 ? delimiter : std::string()) + texts[i];
        return AddFormatted(item, position);
      });
  result_id_ = outcome.result_id;
  int16_t status = outcome.status;
  if (outcome.positioning_failed || IsLimitStatus(status)) {
    BtrieveErrorEvent(db_list_table_, status);
  } else if (status > 0 && status != 9) {
    ShowMessage(msg::kVE039, status);
  }
}

}  // namespace zelko
