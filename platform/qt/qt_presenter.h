// Messages in Qt message boxes, task-modal, for the programs with windows.
#pragma once

#include "zplatform/messages.h"

namespace zplatform {

class QtPresenter : public MessagePresenter {
 public:
  MessageAnswer Present(const MessageRequest &request) override;
  void Beep() override;
};

}  // namespace zplatform
