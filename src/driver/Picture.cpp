#include "driver/Picture.h"

#include <array>
#include <cstring>

namespace driver {
namespace {

// Where a graphic's image starts: right at the value, or after the stored
// prefix the reader kept because its length did not check out.
constexpr std::array<std::size_t, 2> kImageOffsets = {0, 8};
// Sides longer than this are damage, not pictures (Excel's own limit is far lower).
constexpr std::uint32_t kMaxSide = 1u << 20;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t be16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }
std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

bool startsWith(const std::uint8_t* data, std::size_t size, std::string_view signature) {
    return size >= signature.size() && std::memcmp(data, signature.data(), signature.size()) == 0;
}

Image found(ImageFormat format, std::uint64_t width, std::uint64_t height) {
    Image image;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
        image.problem = "the " + std::string(imageFormatName(format)) + " picture claims a size of " +
                        std::to_string(width) + " x " + std::to_string(height) + " pixels";
        return image;
    }
    image.format = format;
    image.width = static_cast<std::uint32_t>(width);
    image.height = static_cast<std::uint32_t>(height);
    return image;
}

Image problem(std::string text) {
    Image image;
    image.problem = std::move(text);
    return image;
}

// A Windows bitmap file: a 14-byte file header ("BM", size, offset of the
// pixels), then an info header of a known size, a colour table, the pixels.
Image bitmap(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kFileHeader = 14;
    if (size < kFileHeader + 16) return problem("the bitmap is cut short in its header");
    const std::uint32_t pixelsAt = le32(data + 10);
    const std::uint32_t infoSize = le32(data + 14);
    std::int64_t width = 0, height = 0;
    unsigned planes = 0, bits = 0;
    std::uint32_t compression = 0;
    if (infoSize == 12) {  // OS/2 and Windows 2.x core header
        width = le16(data + 18);
        height = le16(data + 20);
        planes = le16(data + 22);
        bits = le16(data + 24);
    } else if (infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 || infoSize == 108 ||
               infoSize == 124) {
        if (size < kFileHeader + 40) return problem("the bitmap is cut short in its header");
        width = static_cast<std::int32_t>(le32(data + 18));
        height = static_cast<std::int32_t>(le32(data + 22));
        planes = le16(data + 26);
        bits = le16(data + 28);
        compression = le32(data + 30);
    } else {
        return problem("the bitmap has an info header of " + std::to_string(infoSize) +
                       " bytes, which no bitmap version has");
    }
    if (kFileHeader + infoSize > size) return problem("the bitmap is cut short in its header");
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
        return problem("the bitmap has " + std::to_string(planes) + " planes of " + std::to_string(bits) +
                       " bits a pixel, which no bitmap has");
    const bool rle = (compression == 1 && bits == 8) || (compression == 2 && bits == 4);
    const bool fields = compression == 3 && (bits == 16 || bits == 32);
    if (compression != 0 && !rle && !fields)
        return problem("the bitmap's pixels are stored in a way (compression " + std::to_string(compression) +
                       " at " + std::to_string(bits) + " bits) spreadsheets do not read");
    if ((rle && topDown) || pixelsAt < kFileHeader + infoSize || pixelsAt >= size)
        return problem("the bitmap's pixels do not start inside it (at byte " + std::to_string(pixelsAt) +
                       " of " + std::to_string(size) + ")");
    Image image = found(ImageFormat::Bmp, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
    if (image.format == ImageFormat::None || rle) return image;
    // Rows of pixels are padded to whole 4-byte words.
    const std::uint64_t row = (static_cast<std::uint64_t>(image.width) * bits + 31) / 32 * 4;
    const std::uint64_t needed = row * image.height;
    if (needed > size - pixelsAt)
        return problem("the bitmap's pixels run past its end: " + std::to_string(image.width) + " x " +
                       std::to_string(image.height) + " pixels of " + std::to_string(bits) + " bits need " +
                       std::to_string(needed) + " bytes, " + std::to_string(size - pixelsAt) + " are there");
    return image;
}

// PNG: the signature, then the IHDR chunk with width and height.
Image png(const std::uint8_t* data, std::size_t size) {
    if (size < 33 || be32(data + 8) != 13 || std::memcmp(data + 12, "IHDR", 4) != 0)
        return problem("the PNG picture does not begin with its header chunk");
    return found(ImageFormat::Png, be32(data + 16), be32(data + 20));
}

// JPEG: markers up to the frame header (SOFn), which holds the size.
Image jpeg(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (data[at] != 0xFF) break;
        const std::uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) break;  // end, or scan data before a frame
        const std::size_t length = be16(data + at + 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8 || at + 9 > size) break;
            return found(ImageFormat::Jpeg, be16(data + at + 7), be16(data + at + 5));
        }
        if (length < 2) break;
        at += 2 + length;
    }
    return problem("the JPEG picture has no frame header that gives its size");
}

// GIF: the signature and the logical screen's size.
Image gif(const std::uint8_t* data, std::size_t size) {
    if (size < 13) return problem("the GIF picture is cut short in its header");
    return found(ImageFormat::Gif, le16(data + 6), le16(data + 8));
}

Image imageAt(const std::uint8_t* data, std::size_t size) {
    if (startsWith(data, size, "BM")) return bitmap(data, size);
    if (startsWith(data, size, "\x89PNG\r\n\x1A\n")) return png(data, size);
    if (startsWith(data, size, "\xFF\xD8\xFF")) return jpeg(data, size);
    if (startsWith(data, size, "GIF87a") || startsWith(data, size, "GIF89a")) return gif(data, size);
    return problem("");
}

}  // namespace

Image findImage(const std::uint8_t* data, std::size_t size) {
    Image first;
    for (const std::size_t offset : kImageOffsets) {
        if (offset >= size && offset > 0) break;
        Image image = imageAt(data + offset, size - offset);
        image.offset = offset;
        if (image.format != ImageFormat::None) return image;
        if (first.problem.empty()) first = std::move(image);
    }
    first.offset = 0;
    if (first.problem.empty())
        first.problem = "the value holds no picture in a format spreadsheets read (BMP, PNG, JPEG or GIF)";
    return first;
}

std::string_view imageFormatName(ImageFormat format) {
    switch (format) {
    case ImageFormat::Bmp: return "BMP";
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Gif: return "GIF";
    case ImageFormat::None: break;
    }
    return "";
}

std::string_view imageExtension(ImageFormat format) {
    switch (format) {
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Png: return "png";
    case ImageFormat::Jpeg: return "jpg";
    case ImageFormat::Gif: return "gif";
    case ImageFormat::None: break;
    }
    return "bin";
}

BlobContent blobContent(const Bytes& value) {
    BlobContent content{value.data.data(), value.data.size(), ImageFormat::None};
    const Image image = findImage(value);
    if (image.format == ImageFormat::None || (image.offset != 0 && value.type != FieldType::Graphic)) return content;
    content.data += image.offset;
    content.size -= image.offset;
    content.format = image.format;
    return content;
}

}  // namespace driver
