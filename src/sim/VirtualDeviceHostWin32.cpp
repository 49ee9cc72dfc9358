// The virtual equipment serves pseudo-terminals, which Windows lacks. A Windows
// build of the console program is tested against corvel-sim running on Linux,
// its port mapped to the pseudo-terminal; --simulate says so and stops.
#include "sim/VirtualDeviceHost.h"

namespace corvel::sim {

VirtualDeviceHost::VirtualDeviceHost(std::unique_ptr<DeviceModel> model) : m_model(std::move(model)) {}

VirtualDeviceHost::~VirtualDeviceHost() { Stop(); }

bool VirtualDeviceHost::Start(std::string* error) {
  if (error) *error = "the virtual equipment runs on Linux (corvel-sim); give its port with --port";
  return false;
}

void VirtualDeviceHost::Stop() {}

void VirtualDeviceHost::Disconnect() {}

uint32_t VirtualDeviceHost::LineBaud() const { return 0; }

}  // namespace corvel::sim
