#pragma once
// The boot loader sequences the upload dialog runs with the person watching:
// the version query, the two ways of connecting, and starting the
// application.
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

// Both sequences end with "Established connection!" or the failure message
// and leave the versions they last read in `versions`. They return whether
// the boot loader answered.
bool ConnectToBootLoader(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions);
bool ConnectByPowerCycle(AtmelBootLoader& loader, UserInterface& ui, DeviceVersions& versions);

// StartApplication, at most 3 attempts, then the trace line.
LinkStatus StartApplicationWithRetries(AtmelBootLoader& loader);

}  // namespace corvel
