#include "qt_presenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

#include "zplatform/codepage.h"

namespace zplatform {

MessageAnswer QtPresenter::Present(const MessageRequest &request) {
  using zplatform::MessageAnswer;
  using zplatform::MessageButtons;
  QMessageBox box(QApplication::activeWindow());
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowTitle(request.caption.empty()
                         ? QApplication::applicationName()
                         : QString::fromStdString(zplatform::ToUtf8(request.caption)));
  box.setText(QString::fromStdString(zplatform::ToUtf8(request.text)));
  switch (request.icon) {
    case zplatform::MessageIcon::kError:
      box.setIcon(QMessageBox::Critical);
      break;
    case zplatform::MessageIcon::kWarning:
      box.setIcon(QMessageBox::Warning);
      break;
    case zplatform::MessageIcon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case zplatform::MessageIcon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
    default:
      break;
  }
  switch (request.buttons) {
    case MessageButtons::kOkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
    case MessageButtons::kYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageButtons::kYesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MessageButtons::kRetryCancel:
      box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Cancel:
      return MessageAnswer::kCancel;
    case QMessageBox::Yes:
      return MessageAnswer::kYes;
    case QMessageBox::No:
      return MessageAnswer::kNo;
    case QMessageBox::Retry:
      return MessageAnswer::kRetry;
    default:
      return MessageAnswer::kOk;
  }
}

void QtPresenter::Beep() {
  QApplication::beep();
}

}  // namespace zplatform
