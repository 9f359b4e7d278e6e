#include "editor_ui.h"

#include <cstdarg>

#include "zplatform/codepage.h"
#include "zplatform/messages.h"

namespace dictedit {

namespace {

bool Present(EditorUi &ui, const std::string &text, bool ok_cancel, zplatform::MessageIcon icon) {
  zplatform::MessageRequest request;
  request.text = text;
  request.buttons =
      ok_cancel ? zplatform::MessageButtons::kOkCancel : zplatform::MessageButtons::kOk;
  request.icon = icon;
  request.owner = ui.MessageOwner();
  return zplatform::MessageService::Instance().Show(request) != zplatform::MessageAnswer::kCancel;
}

zplatform::MessageIcon IconOf(bool ok_cancel) {
  return ok_cancel ? zplatform::MessageIcon::kQuestion : zplatform::MessageIcon::kWarning;
}

}  // namespace

bool ShowMessage(EditorUi &ui, bool ok_cancel, const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  std::string text = zplatform::FormatCodePageV(format_utf8, args);
  va_end(args);
  return Present(ui, text, ok_cancel, IconOf(ok_cancel));
}

bool ShowText(EditorUi &ui, bool ok_cancel, const char *text_utf8) {
  // Not a format, but translated as the formatted messages are.
  return Present(ui, zplatform::FromUtf8(zplatform::LocalizedFormat(text_utf8)), ok_cancel,
                 IconOf(ok_cancel));
}

void ShowNotice(EditorUi &ui, const char *format_utf8, ...) {
  va_list args;
  va_start(args, format_utf8);
  std::string text = zplatform::FormatCodePageV(format_utf8, args);
  va_end(args);
  Present(ui, text, false, zplatform::MessageIcon::kInformation);
}

}  // namespace dictedit
