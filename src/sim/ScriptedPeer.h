#pragma once
// A peer that answers each received byte string with whatever the test queued,
// and records everything it received: enough to exercise the transport.
#include <cstdint>
#include <deque>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

class ScriptedPeer : public DeviceModel {
 public:
  struct Reply {
    std::vector<uint8_t> bytes;
    uint32_t delay_ms = 0;
  };
  // Each received chunk triggers the next queued reply list (may be empty).
  std::deque<std::vector<Reply>> script;
  std::vector<uint8_t> received;
  std::vector<uint32_t> received_bauds;
  uint32_t listen_only_at = 0;  // 0: any speed

  bool ListensAt(uint32_t baud) const override { return listen_only_at == 0 || baud == listen_only_at; }
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override {
    received.insert(received.end(), data, data + size);
    received_bauds.push_back(baud);
    if (script.empty()) return;
    for (auto& reply : script.front()) link.Send(reply.bytes, 0, reply.delay_ms);
    script.pop_front();
  }
};

}  // namespace corvel::sim
