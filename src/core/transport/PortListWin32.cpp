#include "core/transport/PortList.h"

namespace corvel {

// Windows names its ports COMn and keeps no by-id names; the adapters' USB
// details would come from the SetupAPI, which the program does not use.
std::vector<PortDetails> ListPortDetails(const std::string&) { return {}; }

}  // namespace corvel
