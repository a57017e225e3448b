// The control's three timers live on a private message-only window of the
// thread that created the control, so that they tick through that thread's
// message loop whether or not a container has sited the control.
#include "control/zeloggplay.h"

namespace control {

namespace {

LRESULT CALLBACK TimerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER) {
    if (auto* control = reinterpret_cast<ZelOggPlayControl*>(GetWindowLongPtrW(window, GWLP_USERDATA)))
      control->OnTimer(static_cast<int>(wparam));
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

HWND CreateTimerWindow(ZelOggPlayControl* control) {
  if (!RegisterWindowClass(TimerClass, TimerProc, false)) return nullptr;
  HWND window = CreateWindowExW(0, TimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, com::ModuleHandle(), nullptr);
  if (window) SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(control));
  return window;
}

void ZelOggPlayControl::SetTimer(int timer, bool enabled) {
  if (!timerwindow_) return;
  if (enabled)
    ::SetTimer(timerwindow_, static_cast<UINT_PTR>(timer), TimerInterval[timer], nullptr);
  else
    ::KillTimer(timerwindow_, static_cast<UINT_PTR>(timer));
}

void ZelOggPlayControl::OnTimer(int timer) {
  com::keepalive alive(unknown());
  player_.Tick(timer);
}

}  // namespace control
