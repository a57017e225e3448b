// The engine's objects are made with malloc and placement new and given
// back likewise: the C++ runtime's allocating new would bring its
// exception machinery into a library built without it.
#pragma once
#include <cstdlib>
#include <new>
#include <utility>

namespace zelov {

// A new T, or null when the memory cannot be had.
template <typename T, typename... Args>
T* make(Args&&... args) {
  void* memory = std::malloc(sizeof(T));
  return memory ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

// Destroys and frees what make gave (null is ignored).
template <typename T>
void unmake(T* object) {
  if (!object) return;
  object->~T();
  std::free(object);
}

}  // namespace zelov
