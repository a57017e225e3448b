// Owners for COM pointers, BSTRs and VARIANTs, in the manner of WIL.
#pragma once
#include <utility>

#include "base/text.h"
#include "com/win.h"

namespace com {

template <typename T>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(T* p) : p_(p) {  // takes a new reference
    if (p_) p_->AddRef();
  }
  com_ptr(const com_ptr& other) : com_ptr(other.p_) {}
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  com_ptr& operator=(com_ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~com_ptr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what it held and hands out its slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Hands the reference to an out-parameter.
  T* detach() { return std::exchange(p_, nullptr); }

  template <typename U>
  com_ptr<U> as() const {
    com_ptr<U> other;
    if (p_) p_->QueryInterface(__uuidof(U), other.put_void());
    return other;
  }

 private:
  T* p_ = nullptr;
};

class bstr {
 public:
  bstr() = default;
  explicit bstr(const base::wtext& text)
      : s_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()))) {}
  explicit bstr(const wchar_t* text) : s_(SysAllocString(text)) {}
  bstr(const bstr&) = delete;
  bstr& operator=(const bstr&) = delete;
  ~bstr() { SysFreeString(s_); }

  BSTR get() const { return s_; }
  BSTR* put() {
    SysFreeString(std::exchange(s_, nullptr));
    return &s_;
  }
  BSTR detach() { return std::exchange(s_, nullptr); }

 private:
  BSTR s_ = nullptr;
};

// The text of a BSTR (a null BSTR is the empty text).
inline base::wtext text(BSTR s) {
  return s ? base::wtext(reinterpret_cast<const char16_t*>(s), SysStringLen(s)) : base::wtext();
}

class variant {
 public:
  variant() { VariantInit(&v_); }
  variant(const variant&) = delete;
  variant& operator=(const variant&) = delete;
  ~variant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  VARIANT* operator->() { return &v_; }

 private:
  VARIANT v_;
};

}  // namespace com
