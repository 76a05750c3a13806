// Path texts shared by the core and the Win32 layer.
#pragma once

#include <cstdint>
#include <string>

namespace molra {

// A temporary file beside target: "~MV" + number in four hex digits +
// ".tmp" in target's folder. Its name is shorter than "MOLRAvin.url", so it
// fits wherever the file itself fits (the program is not long-path aware).
std::string TemporarySiblingPath(const std::string& target, std::uint16_t number);

}  // namespace molra
