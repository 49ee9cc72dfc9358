#pragma once
// A virtual AVR board: the running application, which answers the device
// packet 0x7E by entering its boot loader, and the serial boot loader itself
// with 128 KiB flash (the boot loader section preloaded and never writable),
// 4 KiB EEPROM, versions, a description and two line speeds. It can be told
// to misbehave. Its frame code is its own.
#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

class VirtualAvr : public DeviceModel {
 public:
  static constexpr uint32_t kFlashSize = 0x20000;
  static constexpr uint32_t kEepromSize = 0x1000;
  static constexpr uint32_t kBootSectionStart = 0x1E000;
  static constexpr uint32_t kNormalBaud = 19200;
  static constexpr uint32_t kHighBaud = 115200;
  // The greeting the boot loader waits for, and the code the application's
  // entry packet must carry.
  static constexpr std::array<uint8_t, 8> kWakeUp = {0x54, 0x4C, 0x4D, 0x4B, 0x3C, 0xC3, 0xA5, 0x5A};
  static constexpr std::array<uint8_t, 8> kEntryCode = {0x45, 0x4E, 0x54, 0x52, 0x42, 0x4C, 0x44, 0x52};

  enum class Mode { Application, BootLoader };

  // The echo of a speed change goes out this long after the request, at the
  // new speed, giving the host time to change its own.
  static constexpr uint32_t kSpeedSwitchUs = 10000;

  // How long the device takes per command before its reply starts, in
  // microseconds; zero for quick tests, the data-sheet figures for timing.
  struct Timing {
    uint32_t flash_erase_us = 0;
    uint32_t flash_write_us = 0;
    uint32_t eeprom_erase_us = 0;
    uint32_t eeprom_write_us = 0;
    uint32_t read_us = 0;
    uint32_t other_us = 0;
    // Start the reply only after the request's last byte would have arrived
    // on a real line (10 bits per byte).
    bool wait_for_request = false;
  };
  static Timing DataSheetTiming();

  struct Faults {
    bool refuse_flash_erase = false;    // page erase answers status 0
    bool refuse_eeprom_erase = false;   // block erase answers status 0
    uint8_t corrupt_reply_to = 0;       // the next reply to this command code carries a bad checksum, once
    uint8_t truncate_reply_to = 0;      // the next reply to this command code stops half-way, once
    int silent_wake_ups = 0;            // this many greetings go unanswered (power still off)
    std::optional<uint32_t> fail_flash_write_once;  // the first write of this page answers status 0
    bool normal_speed_only = false;     // never leaves 19200 baud, ignores the speed-up request
    std::optional<uint8_t> wrong_speed_echo;  // echo this code instead of the request's
    std::vector<uint8_t> wake_up_answer = {0x42, 0x4C};  // "BL"
    std::set<uint32_t> stuck_flash_bits;  // flash addresses that store a written byte with bit 0 flipped
    std::set<uint32_t> stuck_eeprom_bits;  // the same for EEPROM
    bool silent = false;                // answers nothing at all
    std::set<uint32_t> refused_flash_pages;    // every write or erase of these pages answers status 0
    std::set<uint32_t> refused_eeprom_blocks;  // the same for EEPROM blocks
    std::set<uint32_t> garbled_flash_reads;    // reads from these addresses always carry a bad checksum
    std::set<uint32_t> garbled_eeprom_reads;   // the same for EEPROM reads
  };

  explicit VirtualAvr(Mode mode = Mode::Application);

  bool ListensAt(uint32_t baud) const override;
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override;
  void OnIdle(DeviceLink& link) override;

  // State for tests and tools (under the host's lock).
  Mode mode = Mode::Application;
  uint32_t speed = kNormalBaud;
  std::vector<uint8_t> flash;
  std::vector<uint8_t> eeprom;
  uint32_t boot_loader_version = 0x01020304;
  uint32_t application_version = 0x02000107;
  std::string description = "Trelmark AVR";  // the application's, up to 20 characters
  Timing timing;
  Faults faults;

  // What happened, for tests.
  struct Counters {
    int wake_ups = 0;
    int entry_requests = 0;
    int flash_erases = 0;
    int flash_writes = 0;
    int flash_reads = 0;
    int eeprom_erases = 0;
    int eeprom_writes = 0;
    int eeprom_reads = 0;
    int speed_changes = 0;
    int speed_up_requests = 0;  // heard, whether or not the device obeyed
    int bad_frames = 0;
    int starts = 0;
    std::set<uint32_t> flash_pages_written;  // addresses given to page writes (0xFF writes included)
  } counters;

  // The boot loader section's preloaded content at offset i.
  static uint8_t BootSectionByte(uint32_t offset);

 private:
  void Reset();
  void HandleBootLoaderBytes(const uint8_t* data, std::size_t size, DeviceLink& link);
  void HandleApplicationBytes(const uint8_t* data, std::size_t size, DeviceLink& link);
  // Length of the frame that starts with byte b; 0 when b starts none.
  std::size_t BootFrameLength(uint8_t b) const;
  void ExecuteBootFrame(DeviceLink& link);
  // One boot loader command each; the frame is in m_frame and its checksum holds.
  void AnswerGreeting(DeviceLink& link);
  void AnswerQuery(DeviceLink& link, uint8_t code);
  void WriteFlashPage(DeviceLink& link, uint32_t address);
  void EraseFlashPage(DeviceLink& link, uint32_t address);
  void WriteEepromBlock(DeviceLink& link, uint32_t address);
  void EraseEepromBlock(DeviceLink& link, uint32_t address);
  void StartApplication(DeviceLink& link);
  void ChangeSpeed(DeviceLink& link, uint8_t code);
  void Reply(DeviceLink& link, std::vector<uint8_t> bytes, uint8_t code, uint32_t work_us, uint32_t baud = 0);
  std::vector<uint8_t> StatusReply(bool ok) const;
  std::vector<uint8_t> DataReply(const std::vector<uint8_t>& memory, uint32_t address, bool garbled) const;

  std::vector<uint8_t> m_frame;
  std::size_t m_expected = 0;
  std::chrono::steady_clock::time_point m_last_byte;
  uint32_t m_frame_baud = kNormalBaud;
};

// The boot loader's frame checksum, written independently of the program's.
uint16_t AvrFrameChecksum(const uint8_t* bytes, std::size_t n);

}  // namespace corvel::sim
