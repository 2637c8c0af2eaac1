// Progress-event dispatcher of a transfer: the download reports start, steps, its
// caption and the end; each event goes on to the owner's progress callback. Before
// and after every event the owner's pump runs once so that windows keep up.
//
// A download steps once per chunk, thousands of times a second, while a progress
// bar repaints (and a label redraws) on every change it is told of: with a clock, a
// step reaches the callback only when the display would show something new, and
// then at most every kMinShowIntervalMs (ShouldShowStep). The steps in between are
// not lost: with an advance hook they reach the owner together with the shown step,
// in one call, so that the bar moves (and repaints) once per shown step; without one
// they come as plain steps before it. Either way the bar ends where one step per
// chunk leaves it.
#pragma once

#include <cstdint>
#include <string>

#include "util/PlatformHelpers.h"

inline constexpr uint32_t kMinShowIntervalMs = 100;
// The bar's fill is judged in thousandths: a smaller change is invisible on any bar
// under 1000 pixels.
inline constexpr int kFillResolution = 1000;

// Thousandths of the bar that position fills in 0..maximum (0 for no range).
int BarFill(int64_t position, int64_t maximum);
// Whether a step is shown now. first: nothing was shown since the start; changed: the
// fill or the text differs from what is shown; completes: the step fills the bar (its
// end is never held back); msSinceShown: time since the last shown step.
bool ShouldShowStep(bool first, bool changed, bool completes, uint32_t msSinceShown);

class TProgBar {
 public:
  using Pump = void (*)();            // processes pending window messages, no sleep
  using Wait = void (*)(uint32_t);    // waits ms while pumping
  using Clock = uint32_t (*)();       // milliseconds; may wrap
  // count steps at once, the last of them shown with text (as the callback's text
  // argument; 0 keeps the text shown).
  using Advance = void (*)(int count, int text);

  // Without a clock every step is shown.
  explicit TProgBar(ProgressCallback callback, Pump pump = nullptr, Wait wait = nullptr, Clock clock = nullptr,
                    Advance advance = nullptr);
  ~TProgBar();
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  // (0, 0, maximum, 0, 1, position)
  void Start(int position, int maximum);
  // One step: (1, 0, 0, text, 0, 0) when shown; text travels as a pointer only where
  // a pointer fits an int (the 32-bit program), else as 0: read it back with
  // StepText().
  void Step(const std::string& text);
  // Whether a step made now can be shown. When it cannot, its text would never be
  // seen: Step() without one spares a fast transfer the making of it.
  bool StepDue() const;
  // A step that keeps the last text.
  void Step();
  // (0, 0, 0, 0, 1, 0), with waits before and after; the destructor sends it too.
  void Finish(uint32_t waitBeforeMs, uint32_t waitAfterMs);
  // Kept for the owner, not forwarded.
  void SetCaption(const std::string& text);

  const std::string& Caption() const { return caption_; }
  // The text of the last step, shown or not.
  const std::string& StepText() const { return stepText_; }

  // Set by the owner to stop the transfer after its current chunk.
  void SetCancel(bool on) { cancel_ = on; }
  bool Cancelled() const { return cancel_; }

 private:
  void Send(int kind, int maximum, int text, int step, int position);
  void Show();

  ProgressCallback callback_;
  Pump pump_;
  Wait wait_;
  Clock clock_;
  Advance advance_;
  bool cancel_ = false;
  std::string caption_;
  std::string stepText_;
  // Since the last Start: steps made and what the display shows.
  int64_t position_ = 0;
  int64_t maximum_ = 0;
  int64_t shownPosition_ = 0;
  int shownFill_ = 0;
  std::string shownText_;
  uint32_t shownAt_ = 0;
  bool shownAny_ = false;
};

#ifdef _WIN32
// A pump for TProgBar: drains the thread's messages without sleeping, at most every
// kPumpIntervalMs. Every PeekMessage is a round trip to the window system (under Wine,
// to its server, which the transfer's own reads wait on too): pumping every few
// milliseconds cost a fast download about a tenth of its time, while 50 ms still
// answers a click or a repaint before a user can tell.
inline constexpr uint32_t kPumpIntervalMs = 50;
void PumpPendingMessages();
void WaitPumpingMs(uint32_t ms);
// The clock for TProgBar.
uint32_t ProgressClockMs();
#endif
