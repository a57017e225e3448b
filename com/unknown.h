// IUnknown written once: an object lists the interfaces it implements and
// gets reference counting and QueryInterface for all of them, in the manner
// of C++/WinRT's implements<>.
#pragma once
#include <type_traits>

#include "com/module.h"
#include "com/win.h"

namespace com {

template <typename First, typename... Rest>
class implements : public First, public Rest... {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown) *out = static_cast<First*>(this);
    if (!*out) *out = find<First, Rest...>(iid);
    if (!*out) *out = extrainterface(iid);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 protected:
  implements() { ObjectCreated(); }
  virtual ~implements() { ObjectDestroyed(); }
  // Interfaces reached only through a base of a listed one (IDispatch,
  // IPersist, IOleWindow, ...).
  virtual void* extrainterface(REFIID) { return nullptr; }
  IUnknown* unknown() { return static_cast<First*>(this); }

 private:
  template <typename I, typename... More>
  void* find(REFIID iid) {
    if (iid == __uuidof(I)) return static_cast<I*>(this);
    if constexpr (sizeof...(More) > 0) return find<More...>(iid);
    return nullptr;
  }

  LONG refs_ = 1;
};

// Holds a reference for a scope: an event handler may release the host's
// last reference while the object is still at work.
class keepalive {
 public:
  explicit keepalive(IUnknown* object) : object_(object) { object_->AddRef(); }
  ~keepalive() { object_->Release(); }
  keepalive(const keepalive&) = delete;
  keepalive& operator=(const keepalive&) = delete;

 private:
  IUnknown* object_;
};

}  // namespace com
