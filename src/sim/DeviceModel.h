#pragma once
// A piece of virtual equipment: a state machine fed with the bytes the program
// sends, answering through a DeviceLink. Models keep their own frame code.
#include <cstdint>
#include <vector>

namespace corvel::sim {

class DeviceLink {
 public:
  virtual ~DeviceLink() = default;
  // Queues a reply sent at `baud` after `delay_ms`. A reply sent at a speed the
  // program is not set to when it goes out is lost, as on a real line; baud 0
  // means "whatever the line is set to".
  virtual void Send(std::vector<uint8_t> bytes, uint32_t baud = 0, uint32_t delay_ms = 0) = 0;
  // The speed the program has set on its side of the line.
  virtual uint32_t LineBaud() const = 0;
  // Pulls the cable: the program's next read or write on the port fails.
  virtual void HangUp() {}
};

class DeviceModel {
 public:
  virtual ~DeviceModel() = default;
  // Bytes sent at a speed the model is not listening on are dropped.
  virtual bool ListensAt(uint32_t baud) const { (void)baud; return true; }
  virtual void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) = 0;
  // Called about every few milliseconds, for models with timed behaviour.
  virtual void OnIdle(DeviceLink& link) { (void)link; }
};

}  // namespace corvel::sim
