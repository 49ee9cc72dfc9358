#pragma once
// The pieces of the Win32 serial backend that are pure computation, open to
// the Windows test program. Windows builds only.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/transport/SerialPort.h"

namespace corvel::win32 {

inline constexpr const char* kDeviceNamespace = "\\\\.\\";
// Where Windows lists the serial ports the machine has: value data "COMn".
inline constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
inline constexpr WORD kXonXoffLimit = 2048;
inline constexpr BYTE kDataBits = 8;

// "COM12" -> "\\.\COM12"; a path already in the device namespace stays.
std::string DevicePath(const std::string& port_name);
// The five driver time-outs for the read semantics every protocol relies on.
COMMTIMEOUTS ToCommTimeouts(const SerialTimeouts& timeouts);
// 8N1, binary, DTR and RTS on, no flow control; the special characters stay.
void ApplyLineFormat(DCB& dcb, uint32_t baud);
// FormatMessage's text for a Windows error, without the trailing full stop.
std::string ErrorText(unsigned long code);

}  // namespace corvel::win32
