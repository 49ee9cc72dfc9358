#pragma once
// The boot loader sequences the upload dialog runs with the person watching:
// the version query, the two ways of connecting, and starting the
// application.
#include <chrono>
#include <cstdint>
#include <string>

#include "core/protocol/atmel/AtmelBootLoader.h"
#include "core/ui/UserInterface.h"

namespace corvel {

// What the dialog's version boxes show.
struct DeviceVersions {
  uint32_t boot_loader = 0;
  uint32_t application = 0;
  std::string description;  // the device's, or "Not found"
};

// "%d %d %d %d" from the most significant byte down.
std::string FormatVersion(uint32_t version);

DeviceVersions GetVersions(AtmelBootLoader& loader);

// A whole connect attempt is bounded. Every exchange of a sequence waits out
// the read time-out on a dead line, and with the longest additional time-out
// (30 s) the 26 exchanges of the ordinary sequence would take a quarter of an
// hour. No step starts once the budget is spent; the one under way ends at
// its time-out, so the worst case is the budget plus one step (the version
// query: two exchanges). The
// ordinary sequence needs about 6 s at the default time-out; the power-off
// sequence keeps its greetings going for the ~100 s the person has to cycle
// the power.
inline constexpr std::chrono::milliseconds kConnectBudget{60'000};
inline constexpr std::chrono::milliseconds kPowerCycleConnectBudget{150'000};

// Both sequences end with "Established connection!" or the failure message
// and leave the versions they last read in `versions`. They return whether
// the boot loader answered.
bool ConnectToBootLoader(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions,
                         std::chrono::milliseconds budget = kConnectBudget);
bool ConnectByPowerCycle(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions,
                         std::chrono::milliseconds budget = kPowerCycleConnectBudget);

// StartApplication, at most 3 attempts, then the trace line.
LinkStatus StartApplicationWithRetries(AtmelBootLoader& loader);

}  // namespace corvel
