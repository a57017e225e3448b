// Creation and termination of the control.
#include "bridge/dllinterface2.h"
#include "control/zeloggplay.h"

namespace control {

HWND CreateTimerWindow(ZelOggPlayControl* control);

ZelOggPlayControl::ZelOggPlayControl() {
  timerwindow_ = CreateTimerWindow(this);
  typeinfo_ = com::com_ptr<ITypeInfo>();
  *typeinfo_.put() = com::TypeInfoOf(IID__ZelOggPlay);
  bridge::AttachControl();
}

// The last control of the thread cancels a playback that still runs and
// releases the engine; the others leave it to the controls that remain.
ZelOggPlayControl::~ZelOggPlayControl() {
  if (timerwindow_) {
    SetWindowLongPtrW(timerwindow_, GWLP_USERDATA, 0);
    DestroyWindow(timerwindow_);
  }
  if (face_) DestroyWindow(face_);
  events_.ReleaseSinks();
  bridge::DetachControl();
}

}  // namespace control
