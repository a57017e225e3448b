// Creation and termination of the control.
#include "bridge/link.h"
#include "control/zeloggplay.h"

namespace control {

ZelOggPlayControl::ZelOggPlayControl(bool extended) : extended_(extended) {
  timerwindow_ = CreateTimerWindow(this);
  *typeinfo_.put() = TypeInfoOf(DefaultInterface());
  // For a dual interface the library answers with its dispatch view; calls
  // are made through the vtable view behind it.
  TYPEATTR* attributes = nullptr;
  if (typeinfo_ && SUCCEEDED(typeinfo_->GetTypeAttr(&attributes))) {
    const bool dispatchview = attributes->typekind == TKIND_DISPATCH;
    typeinfo_->ReleaseTypeAttr(attributes);
    HREFTYPE vtableview;
    com::com_ptr<ITypeInfo> behind;
    if (dispatchview && SUCCEEDED(typeinfo_->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableview)) &&
        SUCCEEDED(typeinfo_->GetRefTypeInfo(vtableview, behind.put())))
      typeinfo_ = behind;
  }
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
  exevents_.ReleaseSinks();
  player_.Close();
  bridge::DetachControl();
}

bool RegisterWindowClass(const wchar_t* name, WNDPROC procedure, bool visible, HICON icon) {
  WNDCLASSEXW cls = {};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = procedure;
  cls.hInstance = com::ModuleHandle();
  cls.lpszClassName = name;
  cls.hIcon = icon;
  if (visible) {
    cls.hCursor = LoadCursor(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  }
  return RegisterClassExW(&cls) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void UnregisterWindowClasses() {
  for (const wchar_t* name : {TimerClass, FaceClass, FormClass}) UnregisterClassW(name, com::ModuleHandle());
}

}  // namespace control
