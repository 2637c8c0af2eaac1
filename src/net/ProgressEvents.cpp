#include "net/ProgressEvents.h"

#include <cstdint>

TProgBar::TProgBar(ProgressCallback callback, Pump pump, Wait wait)
    : callback_(callback), pump_(pump), wait_(wait) {}

TProgBar::~TProgBar() { Finish(0, 0); }

void TProgBar::Send(int kind, int maximum, int text, int step, int position) {
  if (pump_) pump_();
  if (callback_) callback_(kind, 0, maximum, text, step, position);
  if (pump_) pump_();
}

void TProgBar::Start(int position, int maximum) { Send(0, maximum, 0, 1, position); }

void TProgBar::Step(const std::string& text) {
  stepText_ = text;
  int pointer = 0;
  if constexpr (sizeof(void*) <= sizeof(int)) pointer = int(reinterpret_cast<intptr_t>(stepText_.c_str()));
  Send(1, 0, pointer, 0, 0);
}

void TProgBar::Finish(uint32_t waitBeforeMs, uint32_t waitAfterMs) {
  if (wait_ && waitBeforeMs) wait_(waitBeforeMs);
  Send(0, 0, 0, 1, 0);
  if (wait_ && waitAfterMs) wait_(waitAfterMs);
}

void TProgBar::SetCaption(const std::string& text) { caption_ = text; }
