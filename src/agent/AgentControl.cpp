#include "agent/AgentControl.h"

namespace {

uint32_t Low32(int64_t v) { return uint32_t(uint64_t(v)); }

}  // namespace

uint32_t HandleAgentRequest(AgentRequestTarget& t, uint32_t type, uint32_t value) {
  const int64_t asSigned = int64_t(int32_t(value));
  const int64_t asUnsigned = int64_t(value);
  switch (type) {
    case kRequestVersionOriginal: return Low32(GetVersionOriginal(t.original));
    case kRequestVersionNew: return Low32(GetVersionNew(t.info));
    case kRequestState: return Low32(t.vars.state);
    case kRequestProbeInterval: return Low32(GetProbeSecondsInterval(t.original));
    case kRequestReAskInterval: return Low32(GetReAskSecondsInterval(t.original));
    case kRequestProbeLast: return Low32(GetProbeSecondsLast(t.original, t.probeFloor));
    case kRequestReAskLast: return Low32(GetReAskSecondsLast(t.original));
    case kRequestSetProbeInterval: SetProbeSecondsInterval(t.original, asSigned); return 0;
    case kRequestSetReAskInterval: SetReAskSecondsInterval(t.original, asSigned); return 0;
    case kRequestSetProbeLast: SetProbeSecondsLast(t.original, asUnsigned, t.probeFloor); return 0;
    case kRequestSetReAskLast: SetReAskSecondsLast(t.original, asUnsigned); return 0;
    case kRequestStopTicks: t.vars.stopTicks = asSigned; return 0;
    case kRequestUpdateCycle:
      t.vars.force = true;
      if (t.vars.tickCounter < 1) t.vars.tickCounter = 1;
      if (value == 2) t.vars.mode = 2;
      return 0;
    case kRequestJustFetchInfo: t.vars.justFetchInfo = true; return 0;
    default: break;
  }
  if (type >= kRequestOverrideFirst && type <= kRequestOverrideLast)
    t.overrides.Set(int(type - kRequestOverrideFirst), value & 0xFF);
  return 0;
}

bool ListenerAccepted(uintptr_t window, uint32_t message, bool windowExists) {
  if (window == 0) return true;
  return windowExists && message >= kFirstListenerMessage && message <= kLastListenerMessage;
}

TickStart BeginAgentTick(AgentVariables& v) {
  TickStart s;
  if (v.busy) return s;
  v.busy = true;
  s.run = true;
  if (v.justFetchInfo) {
    v.justFetchInfo = false;
    s.justFetchInfo = true;
    return s;
  }
  v.state = kAgentIdle;
  if (v.mode == 2) v.mode = 1;
  if (v.mode == 1) v.tickCounter = 0;
  if (v.stopTicks == 0) s.quit = true;
  if (v.stopTicks >= 0) --v.stopTicks;
  ++v.tickCounter;
  s.probeWindow = v.tickCounter > 0;
  return s;
}

void EndAgentTick(AgentVariables& v) {
  if (v.mode == 1) v.mode = 0;  // a check-now lasts one tick
  v.state = kAgentIdle;
  v.busy = false;
}
