// Embedding: the client site, verbs, the fixed extent, the miscellaneous
// status bits, and IOleControl's event freezing.
#include "control/zeloggplay.h"

namespace control {

HRESULT ZelOggPlayControl::SetClientSite(IOleClientSite* site) {
  if (!site) InPlaceDeactivate();
  site_ = site;
  return S_OK;
}

HRESULT ZelOggPlayControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = com::com_ptr<IOleClientSite>(site_).detach();
  return S_OK;
}

HRESULT ZelOggPlayControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT ZelOggPlayControl::Close(DWORD) {
  InPlaceDeactivate();
  if (oleadvise_) oleadvise_->SendOnClose();
  return S_OK;
}

HRESULT ZelOggPlayControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
  if (moniker) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT ZelOggPlayControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT ZelOggPlayControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      return ActivateInPlace(site ? site : site_.get(), parent, rect);
    case OLEIVERB_HIDE:
      if (face_) ShowWindow(face_, SW_HIDE);
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    default:
      return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT ZelOggPlayControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (!verbs) return E_POINTER;
  *verbs = nullptr;
  return OLE_S_USEREG;
}

HRESULT ZelOggPlayControl::Update() { return S_OK; }
HRESULT ZelOggPlayControl::IsUpToDate() { return S_OK; }

HRESULT ZelOggPlayControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = ClassId();
  return S_OK;
}

HRESULT ZelOggPlayControl::GetUserType(DWORD form, LPOLESTR* type) {
  return OleRegGetUserType(ClassId(), form, type);
}

// The control keeps its size, whatever the container asks for.
HRESULT ZelOggPlayControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  return S_OK;
}

HRESULT ZelOggPlayControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  size->cx = size->cy = ExtentHimetric;
  return S_OK;
}

HRESULT ZelOggPlayControl::Advise(IAdviseSink* sink, DWORD* connection) {
  if (!sink || !connection) return E_POINTER;
  if (!oleadvise_ && FAILED(CreateOleAdviseHolder(oleadvise_.put()))) return E_OUTOFMEMORY;
  return oleadvise_->Advise(sink, connection);
}

HRESULT ZelOggPlayControl::Unadvise(DWORD connection) {
  return oleadvise_ ? oleadvise_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT ZelOggPlayControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  return oleadvise_ ? oleadvise_->EnumAdvise(advise) : S_OK;
}

HRESULT ZelOggPlayControl::GetMiscStatus(DWORD, DWORD* status) {
  if (!status) return E_POINTER;
  *status = MiscStatus;
  return S_OK;
}

HRESULT ZelOggPlayControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT ZelOggPlayControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

HRESULT ZelOggPlayControl::OnAmbientPropertyChange(DISPID id) {
  if ((id == DISPID_AMBIENT_USERMODE || id == DISPID_UNKNOWN) && face_)
    ShowWindow(face_, UserMode() ? SW_HIDE : SW_SHOWNA);
  return S_OK;
}

// While frozen the control raises no events; they are dropped, as a form
// that is loading would not handle them.
HRESULT ZelOggPlayControl::FreezeEvents(BOOL freeze) {
  if (freeze)
    ++frozen_;
  else if (frozen_ > 0)
    --frozen_;
  return S_OK;
}

}  // namespace control
