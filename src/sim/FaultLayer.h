#pragma once
// A fault layer over any piece of virtual equipment: it passes the program's
// bytes to the model unchanged and, on a seeded schedule, spoils one of the
// model's replies as a bad line or a failing board would: a flipped bit, lost
// bytes, junk before the frame, a device that goes silent, or a cable pulled
// half-way through a transfer. Which reply is chosen by its number, counted
// over every reply or only over the replies to one kind of request (the
// request's first byte: the boot loader's command code, the DSP loader's
// packet type); the seed chooses the bit, the bytes and the junk.
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string>

#include "sim/DeviceModel.h"

namespace corvel::sim {

struct FaultPlan {
  enum class Kind { Flip, Drop, Junk, Silent, Close };
  Kind kind = Kind::Flip;
  int reply = 1;          // the n-th reply (from 1) of the chosen kind
  int request_code = -1;  // count only replies to requests starting with this byte; -1: every reply
  uint32_t seed = 1;
};

// "flip:3", "drop:2", "junk:1", "silent:5" or "close:4", optionally followed
// by "@CODE" (decimal or 0x hex) to count only the replies to that request;
// nullopt (with a reason) when the text is none of them.
std::optional<FaultPlan> ParseFaultPlan(const std::string& text, std::string* error);
const char* FaultOptionsUsage();

class FaultLayer : public DeviceModel {
 public:
  FaultLayer(std::unique_ptr<DeviceModel> inner, FaultPlan plan);

  bool ListensAt(uint32_t baud) const override;
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override;
  void OnIdle(DeviceLink& link) override;

  // The wrapped model, for tests (under the host's lock).
  DeviceModel& Inner() { return *m_inner; }
  template <typename Model>
  Model& InnerAs() {
    return static_cast<Model&>(*m_inner);
  }

  // What happened, for tests.
  int replies_counted = 0;
  bool fired = false;

 private:
  class SpoilingLink;
  // The reply as it goes on the line; false when it is not sent at all.
  bool Spoil(std::vector<uint8_t>& bytes, DeviceLink& line);

  std::unique_ptr<DeviceModel> m_inner;
  FaultPlan m_plan;
  std::mt19937 m_random;
  int m_request_code = -1;       // first byte of the request being answered
  bool m_request_started = false;
  bool m_mute = false;           // silent or hung up: nothing more goes out
};

}  // namespace corvel::sim
