#include "net/ProgressEvents.h"

#include <cstdint>

int BarFill(int64_t position, int64_t maximum) {
  if (maximum <= 0 || position <= 0) return 0;
  if (position >= maximum) return kFillResolution;
  return int(position * kFillResolution / maximum);  // both below 2^31: no overflow
}

bool ShouldShowStep(bool first, bool changed, bool completes, uint32_t msSinceShown) {
  if (first || completes) return true;
  return changed && msSinceShown >= kMinShowIntervalMs;
}

TProgBar::TProgBar(ProgressCallback callback, Pump pump, Wait wait, Clock clock, Advance advance)
    : callback_(callback), pump_(pump), wait_(wait), clock_(clock), advance_(advance) {}

TProgBar::~TProgBar() { Finish(0, 0); }

void TProgBar::Send(int kind, int maximum, int text, int step, int position) {
  if (pump_) pump_();
  if (callback_) callback_(kind, 0, maximum, text, step, position);
  if (pump_) pump_();
}

void TProgBar::Start(int position, int maximum) {
  position_ = shownPosition_ = position;
  maximum_ = maximum;
  shownFill_ = BarFill(position, maximum);
  shownText_.clear();
  shownAny_ = false;
  Send(0, maximum, 0, 1, position);
}

void TProgBar::Step(const std::string& text) {
  stepText_ = text;
  ++position_;
  if (!clock_) return Show();
  const uint32_t now = clock_();
  const bool changed = BarFill(position_, maximum_) != shownFill_ || text != shownText_;
  const bool completes = maximum_ > 0 && position_ >= maximum_;
  // Unsigned difference: right across a wrap of the clock.
  if (ShouldShowStep(!shownAny_, changed, completes, now - shownAt_)) {
    shownAt_ = now;
    Show();
  }
}

bool TProgBar::StepDue() const {
  if (!clock_ || !shownAny_ || (maximum_ > 0 && position_ + 1 >= maximum_)) return true;
  return clock_() - shownAt_ >= kMinShowIntervalMs;
}

void TProgBar::Step() {
  if (!StepDue()) {
    ++position_;  // held: it reaches the bar with the next shown step
    return;
  }
  const std::string text = stepText_;
  Step(text);
}

void TProgBar::Show() {
  // This step and the ones held back since the last shown one.
  const int64_t steps = position_ - shownPosition_;
  shownPosition_ = position_;
  shownFill_ = BarFill(position_, maximum_);
  shownText_ = stepText_;
  shownAny_ = true;
  int pointer = 0;
  if constexpr (sizeof(void*) <= sizeof(int)) pointer = int(reinterpret_cast<intptr_t>(stepText_.c_str()));
  if (advance_ && callback_) {
    if (pump_) pump_();
    advance_(int(steps > 0x7FFFFFFF ? 0x7FFFFFFF : steps), pointer);
    if (pump_) pump_();
    return;
  }
  // Without the hook the held steps come first, as plain steps.
  if (callback_)
    for (int64_t i = 1; i < steps; ++i) callback_(1, 0, 0, 0, 0, 0);
  Send(1, 0, pointer, 0, 0);
}

void TProgBar::Finish(uint32_t waitBeforeMs, uint32_t waitAfterMs) {
  if (wait_ && waitBeforeMs) wait_(waitBeforeMs);
  Send(0, 0, 0, 1, 0);
  if (wait_ && waitAfterMs) wait_(waitAfterMs);
}

void TProgBar::SetCaption(const std::string& text) { caption_ = text; }
