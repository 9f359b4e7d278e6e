// What a control asks of the form that hosts it: its name on the form, run or design mode,
// the container window, the extender's Parent, the format service.
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace zelko {

class ControlSite {
 public:
  virtual ~ControlSite() = default;
  // The control's name on the form (UTF-8); empty when the container gives none.
  virtual std::string AmbientDisplayName() const = 0;
  // True at run time, false in a designer.
  virtual bool UserMode() const = 0;
  virtual uint32_t AmbientBackColor() const { return 0x8000000F; }
  // The window the control lives in (form, frame or tab page).
  virtual QWidget *ContainerWindow() const = 0;
  // The extender's Parent: its Name and hWnd. Each returns 0, or the step that failed:
  // 808 no "Parent", 809 the Parent get failed, 810 no "Name"/"hWnd", 811 that get failed.
  virtual int ParentName(std::string *name) const = 0;
  virtual int ParentHandle(int32_t *hwnd) const = 0;
  // The host's format service (Visual Basic's Format$ on a string value).
  virtual std::string FormatText(const std::string &text, const std::string &mask) const {
    (void)mask;
    return text;
  }
  // The control got the focus (the host activates it).
  virtual void OnControlFocus(bool focused) { (void)focused; }
  // A host without windows names its form by an identity of its own; null: the form is the
  // window HostFormWindow finds.
  virtual const void *FormIdentity() const { return nullptr; }
};

// The window class a host marks its form, frame and tab-page widgets with.
inline constexpr const char *kWindowClassProperty = "zelkoWindowClass";

// HostFormWindow: the container window, or its parent when the container is a frame or a
// tab control (once: a frame in a frame gives the outer frame).
const void *HostFormWindow(const ControlSite *site);

}  // namespace zelko
