// Requests an agent sends to its vendor's server per day: a day of one-second ticks
// through the agent's own probe timing, each probe taking the time it takes under
// Wine against a local server (about 1.1 s: the two 500 ms pauses around the fetch).
// A driver figure of the timing rules, not a run of the agent.
#include <climits>
#include <cstdio>

#include "agent/UpdateDecision.h"

namespace {

long ProbesPerDay(int64_t interval, bool testMode) {
  AgentVariables v;
  const int64_t start = 4'000'000'000;
  int64_t last = 0;  // never probed
  int64_t now = start;
  long probes = 0;
  while (now < start + 86400) {
    now += 1;  // the next tick
    TickStart t = BeginAgentTick(v);
    if (t.probeWindow) {
      int status = ShotTimeStatus(v, interval, last, now, testMode);
      if (status == 2) v.shotsEnabled = false;
      if (status > 0) {
        ++probes;
        last = now;
        now += 1;  // the probe's own time: ticks meanwhile are turned away
      }
    }
    EndAgentTick(v);
  }
  return probes;
}

}  // namespace

int main() {
  struct Row {
    const char* what;
    int64_t interval;
  } rows[] = {
      {"default (ProbeSecondsInterval 0: once per run)", 0},
      {"one day", 86400},
      {"one hour", 3600},
      {"one minute", 60},
      {"1 s (the shortest a file can ask for)", 1},
      {"-1 (no timed probes)", -1},
      {"-5 (damaged: no timed probes)", -5},
      {"INT64_MIN (damaged)", INT64_MIN},
      {"INT64_MAX", INT64_MAX},
  };
  std::printf("%-50s %12s %12s\n", "ProbeSecondsInterval", "per day", "test mode");
  for (const Row& r : rows)
    std::printf("%-50s %12ld %12ld\n", r.what, ProbesPerDay(r.interval, false), ProbesPerDay(r.interval, true));
  return 0;
}
