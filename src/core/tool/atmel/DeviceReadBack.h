#pragma once
// "Read Flash" and "Read EEPROM": read a whole memory of the device through
// the boot loader, then save it, show it, or compare it with a file on disk.
// Works on its own buffer; the dialog's images stay as they are.
#include "core/tool/app/ToolEnv.h"
#include "core/protocol/atmel/AtmelBootLoader.h"

namespace corvel {

enum class AtmelMemory { Flash, Eeprom };

class DeviceReadBack {
 public:
  DeviceReadBack(ToolEnv& env, AtmelBootLoader& loader) : m_env(env), m_loader(loader) {}
  // True when the chosen action was carried out with success (file saved,
  // shown, or verified equal).
  bool Run(AtmelMemory memory);

 private:
  ToolEnv& m_env;
  AtmelBootLoader& m_loader;
};

}  // namespace corvel
