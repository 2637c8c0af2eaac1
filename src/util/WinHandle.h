// Owner of one kernel handle (file, process, thread, event): closed exactly once.
#pragma once
#include <windows.h>

#include <memory>

class WinHandle {
 public:
  explicit WinHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~WinHandle() { reset(); }
  WinHandle(const WinHandle&) = delete;
  WinHandle& operator=(const WinHandle&) = delete;
  WinHandle(WinHandle&& other) noexcept : h_(other.h_) { other.h_ = INVALID_HANDLE_VALUE; }
  WinHandle& operator=(WinHandle&& other) noexcept {
    if (this != &other) {
      reset();
      h_ = other.h_;
      other.h_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }
  // Gives the handle up without closing it.
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (ok()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_;
};

// Owner of one GDI object (font, brush): deleted when it goes.
struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueGdi = std::unique_ptr<void, GdiDeleter>;
