#include "common/paths.h"

namespace molra {

std::string TemporarySiblingPath(const std::string& target, std::uint16_t number) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::size_t slash = target.find_last_of("\\/");
    std::string path = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    path += "~MV";
    for (int shift = 12; shift >= 0; shift -= 4) path += kHex[(number >> shift) & 0xF];
    return path + ".tmp";
}

}  // namespace molra
