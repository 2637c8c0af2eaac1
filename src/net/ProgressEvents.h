// Progress-event dispatcher of a transfer: the download reports start, steps, its
// caption and the end; each event goes on to the owner's progress callback. Before
// and after every event the owner's pump runs once so that windows keep up.
#pragma once

#include <cstdint>
#include <string>

#include "util/PlatformHelpers.h"

class TProgBar {
 public:
  using Pump = void (*)();           // processes pending window messages, no sleep
  using Wait = void (*)(uint32_t);   // waits ms while pumping

  explicit TProgBar(ProgressCallback callback, Pump pump = nullptr, Wait wait = nullptr);
  ~TProgBar();
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  // (0, 0, maximum, 0, 1, position)
  void Start(int position, int maximum);
  // (1, 0, 0, text, 0, 0); text travels as a pointer only where a pointer fits an
  // int (the 32-bit program), else as 0: read it back with StepText().
  void Step(const std::string& text);
  // (0, 0, 0, 0, 1, 0), with waits before and after; the destructor sends it too.
  void Finish(uint32_t waitBeforeMs, uint32_t waitAfterMs);
  // Kept for the owner, not forwarded.
  void SetCaption(const std::string& text);

  const std::string& Caption() const { return caption_; }
  const std::string& StepText() const { return stepText_; }

  // Set by the owner to stop the transfer after its current chunk.
  void SetCancel(bool on) { cancel_ = on; }
  bool Cancelled() const { return cancel_; }

 private:
  void Send(int kind, int maximum, int text, int step, int position);

  ProgressCallback callback_;
  Pump pump_;
  Wait wait_;
  bool cancel_ = false;
  std::string caption_;
  std::string stepText_;
};

#ifdef _WIN32
// A pump for TProgBar: drains the thread's messages without sleeping, at most
// about every millisecond so that fast transfers do not pay for it per chunk.
void PumpPendingMessages();
void WaitPumpingMs(uint32_t ms);
#endif
