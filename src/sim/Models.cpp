#include "sim/Models.h"

#include <functional>
#include <utility>

#include "sim/MasterBoardModel.h"
#include "sim/ScriptedPeer.h"
#include "sim/VirtualAvr.h"
#include "sim/VirtualDsp.h"
#include "sim/VirtualPpc.h"

namespace corvel::sim {

namespace {

struct Entry {
  const char* name;
  std::function<std::unique_ptr<DeviceModel>()> make;
};

// One line per piece of virtual equipment.
const std::vector<Entry>& Registry() {
  static const std::vector<Entry> entries = {
      {"echo", [] { return std::make_unique<ScriptedPeer>(); }},
      {"avr", [] { return std::make_unique<VirtualAvr>(VirtualAvr::Mode::Application); }},
      {"master",
       [] {
         auto board = std::make_unique<MasterBoardModel>();
         board->serves_device_tools = true;
         return board;
       }},
      {"ppc", [] { return std::make_unique<VirtualPpc>(); }},
      {"dsp", [] { return std::make_unique<VirtualDsp>(); }},
  };
  return entries;
}

}  // namespace

std::unique_ptr<DeviceModel> MakeDeviceModel(const std::string& name) {
  for (const auto& entry : Registry()) {
    if (name == entry.name) return entry.make();
  }
  return nullptr;
}

std::vector<std::string> DeviceModelNames() {
  std::vector<std::string> names;
  for (const auto& entry : Registry()) names.emplace_back(entry.name);
  return names;
}

}  // namespace corvel::sim
