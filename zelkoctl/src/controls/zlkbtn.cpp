#include "controls/zlkbtn.h"

#include <QPushButton>

#include "btrieve/btrapi.h"
#include "engine/field_conversion.h"
#include "engine/messages.h"
#include "engine/module.h"
#include "engine/table_access.h"
#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace zelko {

const ClassInfo &ZlkBtn::Info() {
  static const ClassInfo info = [] {
    ClassInfo c{"ZLKBTRLibCtl.ZLKBtn", "ZLKBtn", kKindButton, {}, {}, {}};
    using K = PropKind;
    c.properties = {
        {"DbSource", 1, K::kString, "", true, false, false},
        {"DbTable", 2, K::kString, "", true, false, false},
        {"DbIndex", 3, K::kString, "", true, false, false},
        {"DbOperation", 4, K::kInt16, "0", true, false, false},
        {"Abort", 5, K::kBool, "0", true, false, false},
        {"ConfirmMsg", 6, K::kString, "", true, false, false},
        {"Cancel", 7, K::kBool, "0", true, false, false},
        {"Default", 8, K::kBool, "0", true, false, false},
        {"DbLocks", 9, K::kInt16, "0", true, false, false},
        {"ClearControlData", 10, K::kBool, "-1", true, false, false},
        {"Style", 12, K::kInt16, "0", true, false, false},
        {"Appearance", -520, K::kInt16, "1", true, false, false},
        {"BackColor", -501, K::kColor, "-2147483633", true, false, false},
        {"Font", -512, K::kFont, nullptr, true, false, false},
        {"Caption", -518, K::kString, "", true, false, false},
        {"MouseIcon", -522, K::kString, nullptr, true, false, false},
        {"MousePointer", -521, K::kInt16, "0", true, false, false},
        {"Picture", -523, K::kString, nullptr, true, false, false},
        {"TabStop", -516, K::kBool, "-1", true, false, false},
        {"Enabled", -514, K::kBool, "-1", true, false, false},
        {"IndexID", 11, K::kInt16, "0", false, false, false},
        {"Window", -515, K::kInt32, nullptr, false, false, true},
    };
    c.events = {
        {"BtrieveError", 1, {{"TableName", false}, {"Status", true}}},
        {"SetData", 2, {}},
        {"Click", -600, {}},
        {"KeyDown", -602, {{"KeyCode", true}, {"Shift", false}}},
        {"KeyPress", -603, {{"KeyAscii", true}}},
        {"KeyUp", -604, {{"KeyCode", true}, {"Shift", false}}},
        {"MouseDown", -605, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}},
        {"MouseMove", -606, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}},
        {"MouseUp", -607, {{"Button", false}, {"Shift", false}, {"X", false}, {"Y", false}}}};
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
  int p = FindIndexByName(table, zplatform::FromUtf8(db_index_));
  return p < 0 ? 0 : p;
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
    std::vector<Variant> args = {Variant::String(zplatform::ToUtf8(table->name)),
                                 Variant::I2(status)};
    FireEvent("BtrieveError", args);
    int16_t left = static_cast<int16_t>(args[1].AsInteger().value_or(status));
    if (left != 0) ShowMessage(msg::kVE807, left);
    return;
  }
  if ((write || db_operation_ == 2) && clear_control_data_) registry.ClearControls(*source, *table);
  registry.NotifyRecordMoved(db_source_, db_table_, index_id_, nullptr);
}

HResult ZlkBtn::DoGet(const PropertyInfo &p, Variant *v) {
  switch (p.dispid) {
    case 1:
      *v = Variant::String(db_source_);
      return kOk;
    case 2:
      *v = Variant::String(db_table_);
      return kOk;
    case 3:
      *v = Variant::String(db_index_);
      return kOk;
    case 4:
      *v = Variant::I2(static_cast<int16_t>(db_operation_));
      return kOk;
    case 5:
      *v = Variant::Bool(abort_);
      return kOk;
    case 6:
      *v = Variant::String(confirm_msg_);
      return kOk;
    case 7:
      *v = Variant::Bool(cancel_);
      return kOk;
    case 8:
      *v = Variant::Bool(default_);
      return kOk;
    case 9:
      *v = Variant::I2(static_cast<int16_t>(db_locks_));
      return kOk;
    case 10:
      *v = Variant::Bool(clear_control_data_);
      return kOk;
    case 11:
      *v = Variant::I2(static_cast<int16_t>(index_id_));
      return kOk;
    case 12:
      *v = Variant::I2(static_cast<int16_t>(style_));
      return kOk;
    case -520:
      *v = Variant::I2(static_cast<int16_t>(appearance_));
      return kOk;
    case -501:
      *v = Variant::I4(back_color_);
      return kOk;
    case -512:
      *v = Variant::String(font_);
      return kOk;
    case -518:
      *v = Variant::String(caption_);
      return kOk;
    case -522:
    case -523:
      *v = Variant::String("");
      return kOk;
    case -521:
      *v = Variant::I2(static_cast<int16_t>(mouse_pointer_));
      return kOk;
    case -516:
      *v = Variant::Bool(tab_stop_);
      return kOk;
    case -514:
      *v = Variant::Bool(enabled_);
      return kOk;
    case -515:
      *v = Variant::I4(static_cast<int32_t>(reinterpret_cast<intptr_t>(Window())));
      return kOk;
    default:
      return kMemberNotFound;
  }
}

HResult ZlkBtn::DoPut(const PropertyInfo &p, const Variant &v) {
  auto text = v.AsString();
  auto number = v.AsInteger();
  auto set_text = [&](std::string &t) {
    if (!text) return kTypeMismatch;
    t = *text;
    return kOk;
  };
  auto set_int = [&](int &t) {
    if (!number) return kTypeMismatch;
    t = *number;
    return kOk;
  };
  auto set_bool = [&](bool &t) {
    if (!number) return kTypeMismatch;
    t = *number != 0;
    return kOk;
  };
  auto *button = static_cast<QPushButton *>(Window());
  switch (p.dispid) {
    case 1:
      return set_text(db_source_);
    case 2:
      return set_text(db_table_);
    case 3:
      return set_text(db_index_);
    case 4:
      return set_int(db_operation_);
    case 5:
      return set_bool(abort_);
    case 6:
      return set_text(confirm_msg_);
    case 7:
      return set_bool(cancel_);
    case 8: {
      HResult hr = set_bool(default_);
      if (button) button->setDefault(default_);
      return hr;
    }
    case 9:
      return set_int(db_locks_);
    case 10:
      return set_bool(clear_control_data_);
    case 11:
      return set_int(index_id_);
    case 12:
      return set_int(style_);
    case -520:
      return set_int(appearance_);
    case -501:
      return set_int(back_color_);
    case -512:
      return set_text(font_);
    case -518: {
      HResult hr = set_text(caption_);
      if (button) button->setText(QString::fromStdString(caption_));
      return hr;
    }
    case -522:
    case -523:
      return kOk;
    case -521:
      return set_int(mouse_pointer_);
    case -516:
      return set_bool(tab_stop_);
    case -514: {
      HResult hr = set_bool(enabled_);
      if (button) button->setEnabled(enabled_);
      return hr;
    }
    default:
      return kMemberNotFound;
  }
}

HResult ZlkBtn::DoInvoke(const MethodInfo &, std::vector<Variant> &, Variant *) {
  return kMemberNotFound;
}

}  // namespace zelko
