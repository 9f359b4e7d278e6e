#include "controls/zlkbtn.h"

#include <QPushButton>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "frame/class_table.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace zelko {

const ClassInfo &ZlkBtn::Info() {
  static const ClassInfo info = [] {
    using namespace table;
    using K = PropKind;
    using B = ZlkBtn;
    ClassInfo c{"ZLKBTRLibCtl.ZLKBtn", "ZLKBtn", kKindButton, {}, {}, {}};
    const auto apply = &B::ApplyToWindow;
    c.properties = {
        Member("DbSource", 1, K::kString, "", &B::db_source_),
        Member("DbTable", 2, K::kString, "", &B::db_table_),
        Member("DbIndex", 3, K::kString, "", &B::db_index_),
        Member("DbOperation", 4, K::kInt16, "0", &B::db_operation_),
        Member("Abort", 5, K::kBool, "0", &B::abort_),
        Member("ConfirmMsg", 6, K::kString, "", &B::confirm_msg_),
        Member("Cancel", 7, K::kBool, "0", &B::cancel_),
        Member("Default", 8, K::kBool, "0", &B::default_, kPersisted, apply),
        Member("DbLocks", 9, K::kInt16, "0", &B::db_locks_),
        Member("ClearControlData", 10, K::kBool, "-1", &B::clear_control_data_),
        Member("Style", 12, K::kInt16, "0", &B::style_),
        Member("Appearance", -520, K::kInt16, "1", &B::appearance_),
        Member("BackColor", -501, K::kColor, "-2147483633", &B::back_color_),
        Member("Font", -512, K::kFont, nullptr, &B::font_),
        Member("Caption", -518, K::kString, "", &B::caption_, kPersisted, apply),
        Constant<B>("MouseIcon", -522, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("MousePointer", -521, K::kInt16, "0", &B::mouse_pointer_),
        Constant<B>("Picture", -523, K::kString, nullptr, kPersisted, Variant::String("")),
        Member("TabStop", -516, K::kBool, "-1", &B::tab_stop_),
        Member("Enabled", -514, K::kBool, "-1", &B::enabled_, kPersisted, apply),
        Member("IndexID", 11, K::kInt16, "0", &B::index_id_, kTransient),
        WindowProperty<B>(),
    };
    c.events = {{"BtrieveError", 1, {{"TableName", false}, {"Status", true}}},
                {"SetData", 2, {}},
                {"Click", -600, {}}};
    for (auto events : {KeyEvents(), MouseEvents()})
      c.events.insert(c.events.end(), events.begin(), events.end());
    return c;
  }();
  return info;
}

ZlkBtn::ZlkBtn() = default;
ZlkBtn::~ZlkBtn() {
  DestroyWindow();
}

QWidget *ZlkBtn::MakeWidget(QWidget *parent) {
  auto *button = new QPushButton(QString::fromStdString(caption_), parent);
  QObject::connect(button, &QPushButton::clicked, [this] { OnClick(); });
  return button;
}

void ZlkBtn::OnWindowCreated() {
  auto *button = static_cast<QPushButton *>(Window());
  button->setDefault(default_);
  button->setEnabled(enabled_);
  if (RunMode() && Module::Get().Settings().form_mode != 2) {
    TableDescriptor *t =
        Module::Get().registry.FindBoundTable(GetFormWindow(), db_source_, db_table_);
    if (t != nullptr) index_id_ = IndexFromDbIndex(*t);
  }
}

int ZlkBtn::IndexFromDbIndex(const TableDescriptor &table) const {
  return KeyOfDbIndex(table, db_index_);
}

void ZlkBtn::OnClick() {
  RunOperation();
  std::vector<Variant> none;
  FireEvent("Click", none);
}

void ZlkBtn::RunOperation() {
  FormWindow form = GetFormWindow();
  BindingRegistry &registry = Module::Get().registry;
  if (!confirm_msg_.empty()) {
    zplatform::MessageRequest ask;
    ask.text = zplatform::FromUtf8(confirm_msg_);
    ask.buttons = zplatform::MessageButtons::kOkCancel;
    ask.owner = Window();
    if (zplatform::MessageService::Instance().Show(ask) == zplatform::MessageAnswer::kCancel)
      return;
  }
  TableDescriptor *table = registry.FindBoundTable(form, db_source_, db_table_);
  DataSource *source = registry.FindDataSource(form, db_source_);
  if (table == nullptr || source == nullptr) {
    ShowMessage(msg::kVE802);
    return;
  }
  index_id_ = IndexFromDbIndex(*table);
  if (!table->open && registry.OpenListTable(*table, form, db_source_) != 0) return;

  ButtonOperation op = ButtonOperationFor(db_operation_);
  if (op.btrieve_op < 0) {
    ShowMessage(msg::kVE801);
    return;
  }
  int bias = LockBiasOf(db_locks_);
  auto fire_set_data = [&] {
    abort_ = false;
    std::vector<Variant> none;
    FireEvent("SetData", none);
    return abort_;
  };
  KeyValue key;
  BuildKeyValue(*table, index_id_, &key);
  int key_number = key.key_number;
  bool write =
      db_operation_ == 0 || db_operation_ == 1 || db_operation_ == 16 || db_operation_ == 17;
  bool keyed_read = db_operation_ >= 3 && db_operation_ <= 11;
  int16_t status = 0;
  std::vector<uint8_t> &record = table->record_buffer;
  if (write) {
    registry.TransferFromControls(*source, *table);
    if (fire_set_data()) return;  // aborted: no message
    int variable = VariableRecordLength(*table);
    uint32_t length = static_cast<uint32_t>(variable >= 0 ? variable : table->record_length);
    BuildKeyValue(*table, index_id_, &key);
    if (op.key_use == ButtonOperation::kNoCurrencyChange) key_number = -1;
    status = BTRCALL(static_cast<uint16_t>(op.btrieve_op + bias), table->position_block.data(),
                     record.data(), &length, key.bytes.data(), key.length,
                     static_cast<int8_t>(key_number));
  } else if (db_operation_ == 2) {
    if (fire_set_data()) return;
    uint32_t length = 0;
    status = BTRCALL(static_cast<uint16_t>(op.btrieve_op + bias), table->position_block.data(),
                     nullptr, &length, nullptr, 0, 0);
  } else if (keyed_read) {
    if (fire_set_data()) return;
    if (db_operation_ != 6 && db_operation_ != 7) {
      std::fill(record.begin(), record.end(), 0);
      registry.TransferFromControls(*source, *table);
    }
    BuildKeyValue(*table, index_id_, &key);
    uint32_t length = static_cast<uint32_t>(table->record_length) + 1;
    status = BTRCALL(static_cast<uint16_t>(op.btrieve_op + bias), table->position_block.data(),
                     record.data(), &length, key.bytes.data(), key.length,
                     static_cast<int8_t>(key_number));
    if (status == 0) registry.TransferToControls(*source, *table);
  } else {  // physical steps
    uint32_t length = static_cast<uint32_t>(table->record_length);
    status = BTRCALL(static_cast<uint16_t>(op.btrieve_op + bias), table->position_block.data(),
                     record.data(), &length, nullptr, 0, 0);
    if (status == 0) registry.TransferToControls(*source, *table);
  }
  if (status != 0) {
    int16_t left = BtrieveErrorEvent(zplatform::ToUtf8(table->name), status);
    if (left != 0) ShowMessage(msg::kVE807, left);
    return;
  }
  if ((write || db_operation_ == 2) && clear_control_data_) registry.ClearControls(*source, *table);
  registry.NotifyRecordMoved(db_source_, db_table_, index_id_, nullptr);
}

void ZlkBtn::ApplyToWindow() {
  auto *button = static_cast<QPushButton *>(Window());
  if (button == nullptr) return;
  button->setDefault(default_);
  button->setText(QString::fromStdString(caption_));
  button->setEnabled(enabled_);
}

}  // namespace zelko
