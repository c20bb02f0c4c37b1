#include "driver/FormattedMemo.h"

namespace driver {
namespace {

constexpr std::size_t kHead = 8;        // section count, text length
constexpr std::size_t kDirectoryEntry = 6;
constexpr std::uint32_t kMaxSections = 64;

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::optional<std::string_view> formattedMemoText(const std::uint8_t* data, std::size_t size) {
    if (size < kHead) return std::nullopt;
    const std::uint32_t sections = le32(data);
    const std::uint32_t length = le32(data + 4);
    if (sections == 0 || sections > kMaxSections || length == 0) return std::nullopt;
    const std::size_t start = kHead + kDirectoryEntry * (sections - 1);
    if (start > size || length > size - start || data[start + length - 1] != 0) return std::nullopt;
    std::size_t end = start + length;
    while (end > start && data[end - 1] == 0) --end;
    return std::string_view(reinterpret_cast<const char*>(data + start), end - start);
}

}  // namespace driver
