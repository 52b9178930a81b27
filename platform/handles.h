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
  TaskMemHandle(TaskMemHandle&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  TaskMemHandle& operator=(TaskMemHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
  }
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
  // The value moves bit for bit and leaves an empty one behind, as
  // PropVariantClear would.
  PropertyValue(PropertyValue&& other) noexcept : value_(std::exchange(other.value_, PROPVARIANT())) {}
  PropertyValue& operator=(PropertyValue&& other) noexcept {
    if (this != &other) {
      Clear();
      value_ = std::exchange(other.value_, PROPVARIANT());
    }
    return *this;
  }
  ~PropertyValue() { Clear(); }

  PROPVARIANT* Put() {
    Clear();
    return &value_;
  }
  // Frees what the value holds and leaves it empty.
  void Clear() { PropVariantClear(&value_); }
  [[nodiscard]] const PROPVARIANT& Get() const { return value_; }

 private:
  PROPVARIANT value_;
};

// Holds a kernel object's handle (an event, a process) and closes it once.
class KernelHandle {
 public:
  // Null, as CreateEvent and OpenProcess answer a failure, holds nothing.
  explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
  KernelHandle(const KernelHandle&) = delete;
  KernelHandle& operator=(const KernelHandle&) = delete;
  KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  KernelHandle& operator=(KernelHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ~KernelHandle() { Reset(); }

  [[nodiscard]] HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  void Reset() {
    if (HANDLE held = std::exchange(handle_, nullptr)) {
      static_cast<void>(CloseHandle(held));
    }
  }

 private:
  HANDLE handle_;
};

// Holds a block the platform allocated with LocalAlloc (the command line
// split by CommandLineToArgvW) and frees it with LocalFree.
template <typename Block>
class LocalMemHandle {
 public:
  explicit LocalMemHandle(Block* block = nullptr) : block_(block) {}
  LocalMemHandle(const LocalMemHandle&) = delete;
  LocalMemHandle& operator=(const LocalMemHandle&) = delete;
  LocalMemHandle(LocalMemHandle&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
  LocalMemHandle& operator=(LocalMemHandle&& other) noexcept {
    if (this != &other) {
      Reset(std::exchange(other.block_, nullptr));
    }
    return *this;
  }
  ~LocalMemHandle() { Reset(); }

  [[nodiscard]] Block* Get() const { return block_; }
  explicit operator bool() const { return block_ != nullptr; }

  // Frees what it held and holds the new block.
  void Reset(Block* block = nullptr) {
    if (Block* held = std::exchange(block_, block)) {
      static_cast<void>(LocalFree(held));
    }
  }

 private:
  Block* block_;
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
