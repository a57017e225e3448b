// In-place activation. The control is invisible at run time: its window,
// the design-time face with the loudspeaker picture, shows only while the
// container is in design mode.
#include "control/zeloggplay.h"

namespace control {

namespace {

LRESULT CALLBACK FaceProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    DrawPicture(dc, 0, 0, client.right, client.bottom);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateFace(HWND parent, const RECT& position) {
  if (!RegisterWindowClass(FaceClass, FaceProc, true)) return nullptr;
  return CreateWindowExW(0, FaceClass, L"", WS_CHILD | WS_CLIPSIBLINGS, position.left, position.top,
                         position.right - position.left, position.bottom - position.top, parent, nullptr,
                         com::ModuleHandle(), nullptr);
}

}  // namespace

// Asks the container's ambient properties; with none, the control is in
// user (run) mode.
bool ZelOggPlayControl::UserMode() {
  auto ambient = site_.as<IDispatch>();
  if (!ambient) return true;
  com::variant value;
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  if (FAILED(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                             value.get(), nullptr, nullptr)) ||
      FAILED(VariantChangeType(value.get(), value.get(), 0, VT_BOOL)))
    return true;
  return V_BOOL(value.get()) != VARIANT_FALSE;
}

HRESULT ZelOggPlayControl::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT rect) {
  if (inplace_) return S_OK;
  if (!site) return E_UNEXPECTED;
  com::com_ptr<IOleInPlaceSite> inplacesite;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inplacesite.put_void()))) return S_OK;  // shown by drawing
  if (inplacesite->CanInPlaceActivate() != S_OK) return E_FAIL;
  inplacesite->OnInPlaceActivate();
  inplacesite_ = inplacesite;
  inplace_ = true;

  HWND window = parent;
  if (!window) inplacesite->GetWindow(&window);
  com::com_ptr<IOleInPlaceFrame> frame;
  com::com_ptr<IOleInPlaceUIWindow> document;
  RECT position = {}, clip = {};
  OLEINPLACEFRAMEINFO frameinfo = {};
  frameinfo.cb = sizeof frameinfo;
  if (SUCCEEDED(inplacesite->GetWindowContext(frame.put(), document.put(), &position, &clip, &frameinfo))) {
    if (rect) position = *rect;
  } else if (rect) {
    position = *rect;
  }
  if (window && !face_) face_ = CreateFace(window, position);
  if (face_ && !UserMode()) ShowWindow(face_, SW_SHOWNA);
  return S_OK;
}

HRESULT ZelOggPlayControl::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = face_;
  return face_ ? S_OK : E_FAIL;
}

HRESULT ZelOggPlayControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::InPlaceDeactivate() {
  if (!inplace_) return S_OK;
  inplace_ = false;
  if (face_) {
    DestroyWindow(face_);
    face_ = nullptr;
  }
  if (inplacesite_) inplacesite_->OnInPlaceDeactivate();
  inplacesite_.reset();
  return S_OK;
}

HRESULT ZelOggPlayControl::UIDeactivate() { return S_OK; }

// The size in pixels of the fixed extent on this screen.
SIZE ExtentPixels() {
  HDC screen = GetDC(nullptr);
  const SIZE size = {MulDiv(ExtentHimetric, GetDeviceCaps(screen, LOGPIXELSX), 2540),
                     MulDiv(ExtentHimetric, GetDeviceCaps(screen, LOGPIXELSY), 2540)};
  ReleaseDC(nullptr, screen);
  return size;
}

HRESULT ZelOggPlayControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  RECT snapped = *position;
  const SIZE size = ExtentPixels();
  snapped.right = snapped.left + size.cx;
  snapped.bottom = snapped.top + size.cy;
  if (face_) MoveWindow(face_, snapped.left, snapped.top, size.cx, size.cy, TRUE);
  // A container that resized the control is told its size again.
  if (!EqualRect(&snapped, position) && inplacesite_ && !snapping_) {
    snapping_ = true;
    inplacesite_->OnPosRectChange(&snapped);
    snapping_ = false;
  }
  return S_OK;
}

HRESULT ZelOggPlayControl::ReactivateAndUndo() { return E_NOTIMPL; }
HRESULT ZelOggPlayControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT ZelOggPlayControl::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT ZelOggPlayControl::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT ZelOggPlayControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT ZelOggPlayControl::EnableModeless(BOOL) { return S_OK; }

}  // namespace control
