// Drawing: the loudspeaker picture at the top-left corner of whatever the
// container gives, for design views and for IViewObject::Draw.
#include "control/zeloggplay.h"
#include "resources/resource.h"

namespace control {

void DrawPicture(HDC dc, int left, int top, int width, int height) {
  HBITMAP picture = static_cast<HBITMAP>(
      LoadImageW(com::ModuleHandle(), MAKEINTRESOURCEW(ZEL_FACE_BITMAP), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (!picture) return;
  BITMAP info;
  GetObjectW(picture, sizeof info, &info);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(memory, picture);
  BitBlt(dc, left, top, info.bmWidth < width ? info.bmWidth : width, info.bmHeight < height ? info.bmHeight : height,
         memory, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(picture);
}

HRESULT ZelOggPlayControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw, LPCRECTL bounds, LPCRECTL,
                                BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!draw) return E_INVALIDARG;
  if (!bounds) return E_INVALIDARG;
  DrawPicture(draw, bounds->left, bounds->top, bounds->right - bounds->left, bounds->bottom - bounds->top);
  return S_OK;
}

HRESULT ZelOggPlayControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (colors) *colors = nullptr;
  return S_FALSE;
}

HRESULT ZelOggPlayControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
HRESULT ZelOggPlayControl::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewadvise_ = sink;
  viewadviseaspects_ = aspects;
  viewadviseflags_ = flags;
  return S_OK;
}

HRESULT ZelOggPlayControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewadviseaspects_;
  if (flags) *flags = viewadviseflags_;
  if (sink) *sink = com::com_ptr<IAdviseSink>(viewadvise_).detach();
  return S_OK;
}

HRESULT ZelOggPlayControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

}  // namespace control
