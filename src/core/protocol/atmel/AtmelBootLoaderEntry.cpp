// Asking a running application to hand the line to its boot loader: one
// device packet to the board on the cable, answered by another.
#include "core/base/DebugLog.h"
#include "core/protocol/atmel/AtmelBootLoader.h"
#include "core/protocol/devicepacket/DevicePacket.h"

namespace corvel {

using namespace atmel;

LinkStatus AtmelBootLoader::RequestBootLoader() {
  const auto code = EnterBootLoaderCode();
  const DevicePacket request(devicepacket::kMasterAddress, devicepacket::kHostAddress, devicepacket::kTypeEnterBootLoader,
                             static_cast<uint8_t>(code.size()), code.data());
  if (LinkStatus sent = request.Send(m_port); !sent) return sent;
  DevicePacket answer;
  if (LinkStatus received = answer.Receive(m_port); !received) return received;
  if (answer.PacketType() != devicepacket::kTypeEnterBootLoaderReply) {
    DebugPrintf("RequestBootLoader: answer of type 0x%X", answer.PacketType());
    return LinkFail(LinkErrorKind::WrongType, devicepacket::kTypeEnterBootLoaderReply, devicepacket::kTypeEnterBootLoaderReply,
                    answer.PacketType());
  }
  connected = true;
  return {};
}

}  // namespace corvel
