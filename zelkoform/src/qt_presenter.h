// Messages in Qt dialogs, task-modal, for the GUI programs.
#pragma once

#include "zplatform/messages.h"

namespace zelkoform {

class QtPresenter : public zplatform::MessagePresenter {
 public:
  zplatform::MessageAnswer Present(const zplatform::MessageRequest &request) override;
  void Beep() override;
};

}  // namespace zelkoform
