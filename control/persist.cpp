// Persistence and class information. The control has no properties, so it
// loads and saves nothing; hosts still need the interfaces (and the class
// identifier from them) to place it on a form.
#include "control/zeloggplay.h"

namespace control {

HRESULT ZelOggPlayControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = ClassId();
  return S_OK;
}

HRESULT ZelOggPlayControl::IsDirty() { return S_FALSE; }
HRESULT ZelOggPlayControl::Load(LPSTREAM) { return S_OK; }
HRESULT ZelOggPlayControl::Save(LPSTREAM, BOOL) { return S_OK; }

HRESULT ZelOggPlayControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT ZelOggPlayControl::InitNew() { return S_OK; }
HRESULT ZelOggPlayControl::Load(IPropertyBag*, IErrorLog*) { return S_OK; }
HRESULT ZelOggPlayControl::Save(IPropertyBag*, BOOL, BOOL) { return S_OK; }

HRESULT ZelOggPlayControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = TypeInfoOf(ClassId());
  return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

HRESULT ZelOggPlayControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = extended_ ? DIID___ZelOggPlayEx : DIID___ZelOggPlay;
  return S_OK;
}

}  // namespace control
