#pragma once
// What a blob value holds: the image file inside a graphic value, found by
// its signature, and the bytes a file or a database keeps of any blob value.
//
// Paradox stores a graphic as an 8-byte prefix followed by an image file: a
// Windows bitmap in every table seen, whatever the table says; other writers
// put PNG, JPEG or GIF files there. The reader drops the prefix when it
// checks out (RecordDecoder.h); findImage looks for the image where the value
// starts and, for a value whose prefix did not check out, after those 8 bytes.
//
// No pixel is decoded here. An image is only given when its header is sound
// far enough for a program that reads the format to show it: known header
// sizes, a width and height, a known pixel layout, and (for an uncompressed
// bitmap) every row of pixels inside the value.

#include "driver/Value.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace driver {

enum class ImageFormat : std::uint8_t { None, Bmp, Png, Jpeg, Gif };

struct Image {
    ImageFormat format = ImageFormat::None;
    std::size_t offset = 0;   // where the image file starts in the value
    std::uint32_t width = 0;  // in pixels
    std::uint32_t height = 0;
    std::string problem;      // with ImageFormat::None: why there is no image
};

// The image in `size` bytes at `data`, or ImageFormat::None and a problem
// ("the bitmap's pixels run past the end of the value ...").
Image findImage(const std::uint8_t* data, std::size_t size);
inline Image findImage(const Bytes& value) { return findImage(value.data.data(), value.data.size()); }

// "BMP", "PNG", "JPEG", "GIF"; "" for None.
std::string_view imageFormatName(ImageFormat format);
// "bmp", "png", "jpg", "gif"; "bin" for None.
std::string_view imageExtension(ImageFormat format);

// What a file (or a database's BLOB) keeps of a blob value: a graphic's
// image from its signature on; any other value whole, with the format of an
// image file it is (a binary value holding a PNG file is a .png), else None.
struct BlobContent {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    ImageFormat format = ImageFormat::None;
};
BlobContent blobContent(const Bytes& value);

}  // namespace driver
