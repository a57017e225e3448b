// A growable array of plain values, always followed by a zero value so that
// a text can go straight to the C and Win32 functions. The control library
// keeps its texts and byte buffers in it rather than in the standard
// containers: those draw in the C++ runtime's string instantiations and its
// exception classes, which would be most of the library's own size.
#pragma once
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <utility>

namespace base {

template <typename T>
class buffer {
  static_assert(std::is_trivially_copyable_v<T>, "a buffer holds plain values");

 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  buffer() = default;
  buffer(const T* first, std::size_t count) { append(first, count); }
  // From a zero-terminated array, as a string is made from a literal.
  buffer(const T* terminated) { append(terminated, length(terminated)); }
  buffer(std::size_t count, T fill) { resize(count, fill); }
  buffer(std::initializer_list<T> values) { append(values.begin(), values.size()); }
  buffer(const buffer& other) { append(other.data(), other.size()); }
  buffer(buffer&& other) noexcept
      : items_(std::exchange(other.items_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  buffer& operator=(buffer other) noexcept {
    swap(other);
    return *this;
  }
  ~buffer() { delete[] items_; }

  void swap(buffer& other) noexcept {
    std::swap(items_, other.items_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Never null; the value after the last one is always zero.
  const T* data() const { return items_ ? items_ : &zero; }
  T* data() { return items_ ? items_ : const_cast<T*>(&zero); }
  const T* c_str() const { return data(); }
  T& operator[](std::size_t at) { return items_[at]; }
  const T& operator[](std::size_t at) const { return items_[at]; }
  T& back() { return items_[size_ - 1]; }
  const T& back() const { return items_[size_ - 1]; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

  buffer& append(const T* first, std::size_t count) {
    if (count == 0) return *this;
    if (size_ + count > capacity_) {
      // Copy before letting the old block go: `first` may point into it.
      std::size_t capacity = capacity_ * 2 > size_ + count ? capacity_ * 2 : size_ + count;
      T* bigger = new T[capacity + 1];
      if (size_) std::memcpy(bigger, items_, size_ * sizeof(T));
      std::memcpy(bigger + size_, first, count * sizeof(T));
      delete[] items_;
      items_ = bigger;
      capacity_ = capacity;
    } else {
      std::memmove(items_ + size_, first, count * sizeof(T));
    }
    size_ += count;
    items_[size_] = T{};
    return *this;
  }
  void assign(const T* first, const T* last) {
    clear();
    append(first, static_cast<std::size_t>(last - first));
  }
  void push_back(T value) { append(&value, 1); }
  void pop_back() { items_[--size_] = T{}; }
  void clear() {
    size_ = 0;
    if (items_) items_[0] = T{};
  }
  void resize(std::size_t count, T fill = T{}) {
    if (count <= size_) {
      size_ = count;
      if (items_) items_[size_] = T{};
      return;
    }
    while (size_ < count) push_back(fill);
  }
  void erase(std::size_t at) {
    std::memmove(items_ + at, items_ + at + 1, (size_ - at) * sizeof(T));  // the zero moves too
    --size_;
  }

  std::size_t find(T value, std::size_t from = 0) const {
    for (std::size_t at = from; at < size_; ++at)
      if (items_[at] == value) return at;
    return npos;
  }
  buffer substr(std::size_t at, std::size_t count = npos) const {
    if (at > size_) at = size_;
    if (count > size_ - at) count = size_ - at;
    return buffer(data() + at, count);
  }

  buffer& operator+=(const buffer& other) { return append(other.data(), other.size()); }
  buffer& operator+=(const T* terminated) { return append(terminated, length(terminated)); }
  buffer& operator+=(T value) { return append(&value, 1); }
  friend buffer operator+(buffer left, const buffer& right) { return std::move(left += right); }
  friend buffer operator+(buffer left, const T* right) { return std::move(left += right); }
  friend buffer operator+(buffer left, T right) { return std::move(left += right); }

  friend bool operator==(const buffer& left, const buffer& right) {
    return left.size_ == right.size_ && std::memcmp(left.data(), right.data(), left.size_ * sizeof(T)) == 0;
  }
  friend bool operator==(const buffer& left, const T* right) {
    const std::size_t n = length(right);
    return left.size_ == n && std::memcmp(left.data(), right, n * sizeof(T)) == 0;
  }
  friend bool operator!=(const buffer& left, const buffer& right) { return !(left == right); }
  friend bool operator!=(const buffer& left, const T* right) { return !(left == right); }

 private:
  static std::size_t length(const T* terminated) {
    std::size_t n = 0;
    while (terminated[n] != T{}) ++n;
    return n;
  }
  static constexpr T zero{};

  T* items_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace base
