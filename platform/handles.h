// Owning handles for what the platform hands out: one job each, released at
// the end of the owner's scope, in reverse order of creation like any local.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

#include <utility>

// Holds one reference to a COM interface and releases it exactly once.
template <typename Interface>
class ComHandle {
 public:
  ComHandle() = default;
  ComHandle(const ComHandle&) = delete;
  ComHandle& operator=(const ComHandle&) = delete;
  ComHandle(ComHandle&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComHandle& operator=(ComHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  ~ComHandle() { Reset(); }

  // For the platform call that produces the interface. Whatever the handle
  // held is released first, so a reused handle cannot leak.
  Interface** Put() {
    Reset();
    return &pointer_;
  }
  // For calls that produce an interface through a void** out parameter.
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  [[nodiscard]] Interface* Get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

  void Reset() {
    if (Interface* held = std::exchange(pointer_, nullptr)) {
      held->Release();
    }
  }

 private:
  Interface* pointer_ = nullptr;
};

// Holds a block from the COM task allocator (an endpoint identifier, a mix
// format) and frees it with CoTaskMemFree.
template <typename Block>
class TaskMemHandle {
 public:
  TaskMemHandle() = default;
  TaskMemHandle(const TaskMemHandle&) = delete;
  TaskMemHandle& operator=(const TaskMemHandle&) = delete;
  ~TaskMemHandle() { Reset(); }

  Block** Put() {
    Reset();
    return &block_;
  }
  [[nodiscard]] Block* Get() const { return block_; }
  Block* operator->() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }

  void Reset() {
    if (Block* held = std::exchange(block_, nullptr)) {
      CoTaskMemFree(held);
    }
  }

 private:
  Block* block_ = nullptr;
};

// A PROPVARIANT that starts empty and is cleared when its scope ends.
class PropertyValue {
 public:
  // Value-initialisation zeroes every byte, which is what PropVariantInit does: VT_EMPTY.
  PropertyValue() : value_() {}
  PropertyValue(const PropertyValue&) = delete;
  PropertyValue& operator=(const PropertyValue&) = delete;
  ~PropertyValue() { PropVariantClear(&value_); }

  PROPVARIANT* Put() {
    Clear();
    return &value_;
  }
  // Frees what the value holds and leaves it empty.
  void Clear() { PropVariantClear(&value_); }
  [[nodiscard]] const PROPVARIANT& Get() const { return value_; }

  // The value's text, or null when it holds no wide string: a value of any
  // other type must not be read through the string member.
  [[nodiscard]] const wchar_t* Text() const { return value_.vt == VT_LPWSTR ? value_.pwszVal : nullptr; }

 private:
  PROPVARIANT value_;
};

// The result of a platform call that produces the handle's content: a call
// that claims success but hands back nothing has failed all the same, and is
// E_POINTER, so that nothing goes on to use the empty handle.
template <typename Handle>
HRESULT HandedBack(HRESULT result, const Handle& handle) {
  return SUCCEEDED(result) && !handle ? E_POINTER : result;
}

// Balances a successful CoInitializeEx with CoUninitialize; a failed
// initialisation is not undone, since there is nothing to undo.
class ComInitialization {
 public:
  explicit ComInitialization(DWORD flags) : result_(CoInitializeEx(nullptr, flags)) {}
  ComInitialization(const ComInitialization&) = delete;
  ComInitialization& operator=(const ComInitialization&) = delete;
  ~ComInitialization() {
    if (SUCCEEDED(result_)) {
      CoUninitialize();
    }
  }

 private:
  HRESULT result_;
};
