#include "core/tool/devicetools/ModemInit.h"

#include <cstdio>

#include "core/base/SettingsKeys.h"
#include "core/protocol/devicepacket/ToolPackets.h"

namespace corvel {

ToolOutcome ModemInit::Open() {
  SetDialUpInit(keys::kMeridelDialUpInitString.Get(m_env.store));
  SetLeasedLineInit(keys::kMeridelLeasedLineInitString.Get(m_env.store));
  SetDialUpCommand(keys::kMeridelDialUpCommandString.Get(m_env.store));
  return Retrieve();
}

void ModemInit::Close() {
  keys::kMeridelDialUpInitString.Put(m_env.store, m_dial_up_init);
  keys::kMeridelLeasedLineInitString.Put(m_env.store, m_leased_line_init);
  keys::kMeridelDialUpCommandString.Put(m_env.store, m_dial_up_command);
}

void ModemInit::SetDialUpInit(const std::string& text) { m_dial_up_init = text.substr(0, kModemInitEditLimit); }
void ModemInit::SetLeasedLineInit(const std::string& text) {
  m_leased_line_init = text.substr(0, kModemInitEditLimit);
}
void ModemInit::SetDialUpCommand(const std::string& text) {
  m_dial_up_command = text.substr(0, kModemCommandEditLimit);
}

ToolOutcome ModemInit::Retrieve() {
  const auto reported = devicepacket::FetchModemSettings(m_env.port);
  if (!reported) {
    m_report = kModemNoDevice;
    return ToolOutcome::Failed;
  }
  const auto& s = *reported;
  m_report = "Dial-up init:\r\n" + s.dial_up_init + "\r\n\r\nLeased line init:\r\n" + s.leased_line_init +
             "\r\n\r\nDial-up command:\r\n" + s.dial_up_command;
  if (!s.dial_up_init.empty()) SetDialUpInit(s.dial_up_init);
  if (!s.leased_line_init.empty()) SetLeasedLineInit(s.leased_line_init);
  if (!s.dial_up_command.empty()) SetDialUpCommand(s.dial_up_command);
  return ToolOutcome::Done;
}

ToolOutcome ModemInit::Send() {
  const devicepacket::ModemStrings strings{m_dial_up_init, m_leased_line_init, m_dial_up_command};
  for (;;) {
    if (devicepacket::SendModemSettings(m_env.port, strings)) {
      m_env.ui.Inform(kModemSentOk);
      (void)Retrieve();
      return ToolOutcome::Done;
    }
    if (!m_env.ui.AskYesNo(kModemSendRetry, MessageIcon::Question, true)) {
      (void)Retrieve();
      return ToolOutcome::Failed;
    }
  }
}

}  // namespace corvel
