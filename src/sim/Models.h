#pragma once
// The virtual equipment by name, for corvel-sim and --simulate.
#include <memory>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

// nullptr for an unknown name.
std::unique_ptr<DeviceModel> MakeDeviceModel(const std::string& name);
std::vector<std::string> DeviceModelNames();

}  // namespace corvel::sim
