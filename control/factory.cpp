// The class factories of ZelOggPlay and ZelOggPlayEx, the two creatable
// classes.
#include <new>

#include "com/ptr.h"
#include "com/unknown.h"
#include "control/zeloggplay.h"

namespace control {

namespace {

class Factory final : public com::implements<IClassFactory> {
 public:
  explicit Factory(bool extended) : extended_(extended) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    com::com_ptr<IUnknown> control;
    *control.put() = NewZelOggPlay(extended_);
    if (!control) return E_OUTOFMEMORY;
    return control->QueryInterface(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    com::LockModule(lock != FALSE);
    return S_OK;
  }

 private:
  const bool extended_;
};

}  // namespace

}  // namespace control

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_ZelOggPlay && clsid != CLSID_ZelOggPlayEx) return CLASS_E_CLASSNOTAVAILABLE;
  com::com_ptr<IClassFactory> factory;
  *factory.put() = new (std::nothrow) control::Factory(clsid == CLSID_ZelOggPlayEx);
  if (!factory) return E_OUTOFMEMORY;
  return factory->QueryInterface(iid, out);
}
