#pragma once
// The master board on the cable (address 0) with its chain of sub-devices.
//
// It answers packets sent to it directly, relays type-0xFF deliveries to the
// sub-devices and answers the host's fetches of their answers, and serves
// EEPROM block reads (type 0x8C) of any device in the chain. By default the
// chain is a whole Solvane transmitter: 14 devices at addresses 1..14, each
// EEPROM starting with the device's name so a misplaced file is easy to spot.
//
// Frames are decoded and built here, on the model's own code path.
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

struct MasterFrame {
  uint8_t receiver = 0;
  uint8_t sender = 0;
  uint8_t type = 0;
  std::vector<uint8_t> data;
  bool operator==(const MasterFrame&) const = default;
};

// The frame bytes of a packet, checksum included.
std::vector<uint8_t> EncodeMasterFrame(const MasterFrame& frame);

// A device of the Solvane chain as the board knows it.
struct ChainDevice {
  uint8_t address;
  std::string name;
  std::size_t eeprom_size;
};
const std::vector<ChainDevice>& SolvaneChain();
// The EEPROM contents the model gives a device: its name, a zero, then a
// pattern that differs per address and per byte.
std::vector<uint8_t> RecognisableEeprom(uint8_t address, const std::string& name, std::size_t size);

class MasterBoardModel;

// Faults a service engineer sets on corvel-sim's command line to rehearse a
// chain read going wrong:
//   --silent-device ADDR  the device never answers (EEPROM reads, relayed packets)
//   --absent-device ADDR  the device is not in the chain (the board reports it absent)
//   --read-failed ADDR    relayed fetches for the device answer "read failed"
//   --not-ready N         N "not ready" answers before every EEPROM block
//   --fetch-not-ready N   N "no answer yet" fetch answers before a relayed answer
// ADDR is 1..255, decimal or 0x hex. IsMasterBoardOption says whether an
// option is one of these (each takes one value); ApplyMasterBoardOption
// returns "" when it took the option, else what is wrong with it.
bool IsMasterBoardOption(const std::string& option);
std::string ApplyMasterBoardOption(MasterBoardModel& board, const std::string& option, const std::string& value);
// The lines of corvel-sim's usage text for the options above.
const char* MasterBoardOptionsUsage();

class MasterBoardModel : public DeviceModel {
 public:
  // Status the board gives a delivery it took on (any value but 5, 6, 7 is
  // accepted by the host), and a fetch with nothing to hand out yet.
  static constexpr uint8_t kStatusAccepted = 1;
  static constexpr uint8_t kStatusNotYet = 0;
  // Bytes of a partial frame left this long without the rest are dropped.
  static constexpr int kStaleFrameMs = 150;

  MasterBoardModel();

  // --- configuration (tests change these under WithModel) ---

  // EEPROM of each device present in the chain, by address; an address not
  // listed is a device that does not exist (EEPROM code 7, relay status 7).
  std::map<uint8_t, std::vector<uint8_t>> eeproms;
  // "Not ready" answers (codes 3 and 4 in turn) before each EEPROM block.
  int eeprom_not_ready_polls = 0;
  // "No answer yet" fetch answers before a relayed answer is handed out.
  int fetch_not_ready_polls = 0;
  // Relayed fetches for these devices answer "read failed" (status 6).
  std::set<uint8_t> read_failed_devices;
  // EEPROM reads of a device that go unanswered: the next n packets about it
  // (-1: all of them).
  std::map<uint8_t, int> silent_devices;

  // Faults for the next n replies of any kind (-1: every reply).
  int silent_replies = 0;         // no reply at all
  int corrupt_replies = 0;        // one data bit flipped, checksum left
  int wrong_type_replies = 0;     // type changed
  // Faults for the next n relay answers.
  int wrong_address_replies = 0;  // sub-device address byte + 1
  int overstated_length_replies = 0;  // a fetch answer announces 4 bytes more than it carries
  // The next reply is cut to this many bytes (-1: no cut), and these bytes
  // follow it on the line.
  int truncate_next_reply_to = -1;
  std::vector<uint8_t> append_to_next_reply;
  // Start a reply only after the request would have reached a real board
  // over the wire (a pseudo-terminal carries it at once).
  bool reply_after_line_time = true;

  // Answers to packets by type, ahead of the board's own handling of relay
  // and EEPROM packets; any other type without a handler is echoed back
  // (receiver and sender swapped). No value: no answer.
  using DirectHandler = std::function<std::optional<MasterFrame>(const MasterFrame& request)>;
  std::map<uint8_t, DirectHandler> direct_handlers;
  // A sub-device's answer to a relayed packet, by the relayed type; a type
  // without a handler is echoed. No value: the device never answers.
  using SubDeviceHandler = std::function<std::optional<MasterFrame>(uint8_t address, const MasterFrame& relayed)>;
  std::map<uint8_t, SubDeviceHandler> sub_device_handlers;

  // --- modem settings and calibration ---
  // The board answers modem (0x8E, 0x8F) and calibration (0x80, 0x81) packets
  // as a Meridel or control board does; off, it echoes them like any other
  // type (the link's own tests rely on that). corvel-sim's master has it on.
  bool serves_device_tools = false;
  // The 255 bytes of modem strings a Meridel board holds (packets 0x8E, 0x8F).
  std::vector<uint8_t> modem_settings = std::vector<uint8_t>(255, 0);
  // The next n modem settings answers carry one byte less.
  int modem_short_answers = 0;
  // The calibration each board holds, by address: 0 is the board on the cable
  // itself, others are sub-devices reached through the relay (a K35 exciter at
  // 0x0D.., a Solvane controller at 0x20..). A board without an entry never
  // answers calibration packets. Packets 0x80 (read) and 0x81 (write).
  struct Calibration {
    std::vector<float> scale_factors;
    std::vector<uint16_t> thresholds;
    bool operator==(const Calibration&) const = default;
  };
  std::map<uint8_t, Calibration> calibrations;
  // Faults for the next n calibration answers, direct or relayed.
  int cal_wrong_type_answers = 0;  // type + 1
  int cal_wrong_step_answers = 0;  // step number + 1
  int cal_short_answers = 0;       // the last data byte left off
  int cal_silent_answers = 0;      // no answer

  // --- what the board saw ---
  std::vector<MasterFrame> received;   // every good frame, in order
  std::vector<std::size_t> received_sizes;  // its length on the wire
  int bad_frames = 0;                  // frames dropped for their checksum
  std::vector<MasterFrame> delivered;  // relayed packets as the sub-devices got them
  int eeprom_requests = 0;             // 0x8C packets with operation 1
  int eeprom_polls = 0;                // 0x8C packets with operation 2

  // --- DeviceModel ---
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override;
  void OnIdle(DeviceLink& link) override;

 private:
  struct PendingAnswer {
    MasterFrame frame;
    int polls_before = 0;
  };

  void HandleFrame(const MasterFrame& frame, std::size_t wire_size, DeviceLink& link);
  std::optional<MasterFrame> HandleRelay(const MasterFrame& frame);
  std::optional<MasterFrame> HandleEepromRead(const MasterFrame& frame);
  std::optional<MasterFrame> HandleModem(const MasterFrame& frame);
  // `address` is the board the packet is for (0: the board on the cable).
  std::optional<MasterFrame> HandleCalibration(uint8_t address, const MasterFrame& frame);
  void Reply(MasterFrame reply, bool relay_answer, std::size_t request_size, DeviceLink& link);
  static bool TakeFault(int& counter);

  std::vector<uint8_t> m_buffer;
  std::chrono::steady_clock::time_point m_last_byte;
  std::map<uint8_t, PendingAnswer> m_pending;  // relayed answers by sub-device
  int m_not_ready_left = 0;                    // of the EEPROM block in progress
  int m_not_ready_given = 0;
};

}  // namespace corvel::sim
