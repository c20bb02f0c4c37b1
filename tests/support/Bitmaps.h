#pragma once
// Small image files for tests: Windows bitmaps whose pixels say where they
// are, so a picture shown in the wrong place or cut short shows.

#include <cstdint>
#include <vector>

namespace test_images {

// A 24-bit bitmap (BITMAPINFOHEADER) of width x height pixels, bottom-up;
// `seed` varies the colours.
inline std::vector<std::uint8_t> bitmap(int width, int height, int seed = 0) {
    const auto put = [](std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) b[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
    };
    const std::size_t row = (std::size_t(width) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> b(54 + row * std::size_t(height), 0);
    b[0] = 'B';
    b[1] = 'M';
    put(b, 2, std::uint32_t(b.size()), 4);
    put(b, 10, 54, 4);            // pixels start
    put(b, 14, 40, 4);            // BITMAPINFOHEADER
    put(b, 18, std::uint32_t(width), 4);
    put(b, 22, std::uint32_t(height), 4);
    put(b, 26, 1, 2);             // planes
    put(b, 28, 24, 2);            // bits a pixel
    put(b, 34, std::uint32_t(row * std::size_t(height)), 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::size_t at = 54 + std::size_t(y) * row + std::size_t(x) * 3;
            b[at] = std::uint8_t(x * 7 + seed);
            b[at + 1] = std::uint8_t(y * 13 + seed * 3);
            b[at + 2] = std::uint8_t((x ^ y) + seed * 5);
        }
    return b;
}

}  // namespace test_images
