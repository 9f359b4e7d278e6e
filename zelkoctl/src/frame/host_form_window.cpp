#include <QVariant>
#include <QWidget>

#include "frame/control_site.h"

namespace zelko {

const void *HostFormWindow(const ControlSite *site) {
  if (site == nullptr) return nullptr;
  QWidget *window = site->ContainerWindow();
  if (window == nullptr) return nullptr;
  QString cls = window->property(kWindowClassProperty).toString().left(64);
  if (cls == "ThunderFrame" || cls == "ThunderRT5Frame" || cls == "ThunderRTFrame" ||
      cls == "SSTabCtlWndClass") {
    return window->parentWidget();
  }
  return window;
}

}  // namespace zelko
