#pragma once
// Saving files the user keeps: write a temporary file beside the target, make
// it durable, then rename it over the target, so an interrupted save never
// destroys the old file.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace corvel {

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);
bool WriteFileAtomically(const std::string& path, const std::string& text);

// The whole file, or nothing when it cannot be read or is larger than max_bytes.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_bytes);

// The file type: the last "." of the file name and what follows (".hex"),
// case kept; "" when the name has no ".".
std::string FileExtension(const std::string& path);

// The folder of the running program's own file, with a trailing separator;
// "" when the system does not say.
std::string ExecutableFolder();

}  // namespace corvel
