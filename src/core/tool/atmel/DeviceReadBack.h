#pragma once
// "Read Flash" and "Read EEPROM": read a whole memory of the device through
// the boot loader, then save it, show it, or compare it with a file on disk.
// Works on its own buffer; the dialog's images stay as they are.
#include <cstdint>
#include <vector>

#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"
#include "core/protocol/atmel/AtmelBootLoader.h"

namespace corvel {

enum class AtmelMemory { Flash, Eeprom };
struct ReadBackTraits;

class DeviceReadBack {
 public:
  DeviceReadBack(ToolEnv& env, AtmelBootLoader& loader) : m_env(env), m_loader(loader) {}
  // Done when the chosen action was carried out with success (file saved,
  // shown, or verified equal); Failed when the read, the file or the
  // comparison failed; Cancelled when the person stopped it.
  ToolOutcome Run(AtmelMemory memory);

 private:
  // Reads the whole memory into `buffer` under the progress window.
  ToolOutcome Read(const ReadBackTraits& traits, ProgressWindow& progress, std::vector<uint8_t>& buffer);
  ToolOutcome Save(const ReadBackTraits& traits, const std::vector<uint8_t>& buffer);
  ToolOutcome Verify(AtmelMemory memory, const ReadBackTraits& traits, const std::vector<uint8_t>& buffer);

  ToolEnv& m_env;
  AtmelBootLoader& m_loader;
};

}  // namespace corvel
