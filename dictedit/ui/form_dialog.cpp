#include "form_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <iostream>

#include "code_page_text_validator.h"
#include "script.h"

namespace dictedit {

FormDialog::FormDialog(QWidget *parent, const QString &title) : QDialog(parent) {
  setWindowTitle(title);
  auto *layout = new QVBoxLayout(this);
  form_ = new QFormLayout();
  buttons_ = new QHBoxLayout();
  buttons_->addStretch();
  layout->addLayout(form_);
  layout->addLayout(buttons_);
}

void FormDialog::AddLine(const QString &label, int max_length) {
  auto *edit = new QLineEdit(this);
  // The dictionary keeps its texts in the code page and counts a name's bytes there: 20
  // bytes hold ten double-byte characters. A longer text, or a character the code page
  // lacks, is not taken, where the save would cut it or store "?" without a word.
  edit->setValidator(
      new zplatform::CodePageTextValidator([max_length] { return max_length; }, nullptr, edit));
  form_->addRow(label, edit);
  fields_[label] = edit;
}

void FormDialog::AddChoice(const QString &label, const QStringList &items, bool editable) {
  auto *combo = new QComboBox(this);
  combo->addItems(items);
  combo->setEditable(editable);
  form_->addRow(label, combo);
  fields_[label] = combo;
}

void FormDialog::AddCheck(const QString &label) {
  auto *check = new QCheckBox(label, this);
  form_->addRow(QString(), check);
  fields_[label] = check;
}

void FormDialog::AddRadios(const QString &label, const QStringList &choices) {
  auto *box = new QWidget(this);
  auto *row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  auto *group = new QButtonGroup(box);
  for (const QString &choice : choices) {
    auto *radio = new QRadioButton(choice, box);
    group->addButton(radio);
    row->addWidget(radio);
    if (group->buttons().size() == 1) radio->setChecked(true);
  }
  form_->addRow(label, box);
  fields_[label] = box;
}

QListWidget *FormDialog::AddList(const QString &label) {
  auto *list = new QListWidget(this);
  list->setMaximumHeight(90);
  form_->addRow(label, list);
  fields_[label] = list;
  return list;
}

void FormDialog::AddButton(const QString &text, std::function<bool()> pressed) {
  auto *button = new QPushButton(text, this);
  if (actions_.empty()) button->setDefault(true);
  actions_.emplace_back(text, pressed);
  buttons_->addWidget(button);
  connect(button, &QPushButton::clicked, this, [this, pressed] {
    if (pressed()) {
      accepted_ = true;
      accept();
    }
  });
}

void FormDialog::AddCancel(const QString &text) {
  auto *button = new QPushButton(text, this);
  cancel_ = text;
  buttons_->addWidget(button);
  connect(button, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget *FormDialog::Field(const QString &label) const {
  auto found = fields_.find(label);
  return found != fields_.end() ? found->second : nullptr;
}

QString FormDialog::Value(const QString &label) const {
  QWidget *field = Field(label);
  if (auto *edit = qobject_cast<QLineEdit *>(field)) return edit->text();
  if (auto *combo = qobject_cast<QComboBox *>(field)) return combo->currentText();
  if (auto *check = qobject_cast<QCheckBox *>(field)) return check->isChecked() ? "1" : "0";
  if (field != nullptr) {
    for (auto *radio : field->findChildren<QRadioButton *>()) {
      if (radio->isChecked()) return radio->text();
    }
  }
  return QString();
}

bool FormDialog::SetValue(const QString &label, const QString &value) {
  QWidget *field = Field(label);
  if (field == nullptr || !field->isEnabled()) return false;
  if (auto *edit = qobject_cast<QLineEdit *>(field)) {
    // As typing it would: the box takes the characters its limit lets in.
    QString text = value;
    int at = 0;
    while (edit->validator() != nullptr && !text.isEmpty() &&
           edit->validator()->validate(text, at) == QValidator::Invalid)
      text.chop(1);
    edit->setText(text);
  } else if (auto *combo = qobject_cast<QComboBox *>(field)) {
    int at = combo->findText(value);
    if (at >= 0) {
      combo->setCurrentIndex(at);
    } else if (combo->isEditable()) {
      combo->setEditText(value);
    } else {
      return false;
    }
  } else if (auto *check = qobject_cast<QCheckBox *>(field)) {
    check->setChecked(value == "1" || value.compare("yes", Qt::CaseInsensitive) == 0 ||
                      value.compare("true", Qt::CaseInsensitive) == 0);
  } else {
    bool found = false;
    for (auto *radio : field->findChildren<QRadioButton *>()) {
      if (radio->text() == value) radio->setChecked(found = true);
    }
    return found;
  }
  return true;
}

void FormDialog::SetEnabled(const QString &label, bool enabled) {
  if (QWidget *field = Field(label)) field->setEnabled(enabled);
}

bool FormDialog::Run() {
  Script &script = TheScript();
  if (!script.active) {
    accepted_ = false;
    exec();
    return accepted_;
  }
  for (const auto &[label, value] : script.fields) {
    if (!SetValue(QString::fromStdString(label), QString::fromStdString(value)))
      std::cerr << "dictedit: the dialog \"" << windowTitle().toStdString()
                << "\" takes nothing for " << label << '\n';
  }
  script.fields.clear();
  QString button = QString::fromStdString(script.button);
  script.button.clear();
  if (button == cancel_ || button == "Cancel") return false;
  for (auto &[text, pressed] : actions_) {
    if (button.isEmpty() || button == text) return pressed();
  }
  std::cerr << "dictedit: the dialog has no button " << button.toStdString() << '\n';
  return false;
}

}  // namespace dictedit
