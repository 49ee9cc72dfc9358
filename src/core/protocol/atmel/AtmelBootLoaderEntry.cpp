// Asking a running application to hand the line to its boot loader: one
// device packet to the board on the cable, answered by another.
#include "core/base/DebugLog.h"
#include "core/protocol/atmel/AtmelBootLoader.h"
#include "core/protocol/devicepacket/DevicePacket.h"

namespace corvel {

using namespace atmel;

bool AtmelBootLoader::RequestBootLoader() {
  const auto code = EnterBootLoaderCode();
  const DevicePacket request(kMasterAddress, kHostAddress, kPacketTypeEnterBootLoader,
                             static_cast<uint8_t>(code.size()), code.data());
  request.Send(m_port);
  DevicePacket answer;
  if (!answer.Receive(m_port)) return false;
  if (answer.PacketType() != kPacketTypeBootLoaderEntered) {
    DebugPrintf("RequestBootLoader: answer of type 0x%X", answer.PacketType());
    return false;
  }
  connected = true;
  return true;
}

}  // namespace corvel
