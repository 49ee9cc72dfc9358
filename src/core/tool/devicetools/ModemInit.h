#pragma once
// "Meridel Modem Init": reads and writes the three modem command strings a
// Meridel master board holds (dial-up init, leased line init, dial-up
// command), with packets 0x8E (ask) and 0x8F (send) straight to the board.
#include <string>

#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

inline constexpr const char* kModemWindowTitle = "Meridel Modem Init";
inline constexpr const char* kModemHeading = "Enter the new settings to send to the Meridel:";
inline constexpr const char* kModemDialInitLabel = "Dial-up initialization:";
inline constexpr const char* kModemLeasedInitLabel = "Leased line initialization:";
inline constexpr const char* kModemDialCommandLabel = "Dial-up command:";
inline constexpr const char* kModemReportLabel = "Current reported settings:";
inline constexpr const char* kModemRetrieveButton = "Retrieve";
inline constexpr const char* kModemSendButton = "Send";
inline constexpr const char* kModemNoDevice = "No device detected: data unavailable";
inline constexpr const char* kModemSentOk = "Settings sent successfully!";
inline constexpr const char* kModemSendRetry = "Error in transmitting settings! Retry?";
inline constexpr int kModemInitEditLimit = 121;
inline constexpr int kModemCommandEditLimit = 13;

class ModemInit {
 public:
  explicit ModemInit(ToolEnv& env) : m_env(env) {}

  // Window opens: the edits from the settings, then Retrieve (its outcome).
  ToolOutcome Open();
  // Window closes: the edits go back to the settings.
  void Close();

  // The edits; each keeps at most as many characters as its edit takes.
  void SetDialUpInit(const std::string& text);
  void SetLeasedLineInit(const std::string& text);
  void SetDialUpCommand(const std::string& text);
  const std::string& DialUpInit() const { return m_dial_up_init; }
  const std::string& LeasedLineInit() const { return m_leased_line_init; }
  const std::string& DialUpCommand() const { return m_dial_up_command; }
  // The read-only "Current reported settings:" box.
  const std::string& Report() const { return m_report; }

  // "Retrieve": asks the board; Done when it reported its settings.
  ToolOutcome Retrieve();
  // "Send": Done after "Settings sent successfully!"; Failed when the person
  // declined to retry.
  ToolOutcome Send();

 private:
  ToolEnv& m_env;
  std::string m_dial_up_init;
  std::string m_leased_line_init;
  std::string m_dial_up_command;
  std::string m_report;
};

}  // namespace corvel
