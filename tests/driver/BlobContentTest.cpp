// What a blob value holds: the image in a graphic, found by its signature
// and checked far enough to be shown; the text of a formatted memo.

#include "driver/FormattedMemo.h"
#include "driver/Picture.h"
#include "support/Bitmaps.h"

#include <gtest/gtest.h>

using namespace driver;

namespace {

using ByteVector = std::vector<std::uint8_t>;

ByteVector bytesOf(std::string_view text) { return ByteVector(text.begin(), text.end()); }
ByteVector joined(ByteVector a, const ByteVector& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(Picture, EachFormatIsFoundBySignatureWithItsSize) {
    ByteVector topDown = test_images::bitmap(3, 2);
    topDown[25] = 0xFF, topDown[24] = 0xFF, topDown[23] = 0xFF, topDown[22] = 0xFE;  // height -2
    ByteVector cut = test_images::bitmap(30, 20);
    cut.resize(cut.size() - 1);
    ByteVector sevenBits = test_images::bitmap(3, 2);
    sevenBits[28] = 7;
    const ByteVector png = joined(bytesOf(std::string("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x05\0\0\0\x04", 24)),
                                  ByteVector(13, 0));
    const ByteVector jpeg = bytesOf(std::string("\xFF\xD8\xFF\xE0\0\x04JF\xFF\xC0\0\x11\x08\0\x10\0\x20\x03", 19));
    const ByteVector gif = bytesOf(std::string("GIF89a\x07\0\x03\0\0\0\0", 13));
    const ByteVector prefixed = joined({1, 0, 0, 1, 0xFF, 0, 0, 0}, test_images::bitmap(4, 5));

    struct Case {
        const char* what;
        ByteVector value;
        ImageFormat format;
        std::size_t offset;
        std::uint32_t width, height;
        const char* problem;  // part of it
    };
    const Case cases[] = {
        {"bitmap", test_images::bitmap(3, 2), ImageFormat::Bmp, 0, 3, 2, ""},
        {"top-down bitmap", topDown, ImageFormat::Bmp, 0, 3, 2, ""},
        {"after a prefix that did not check out", prefixed, ImageFormat::Bmp, 8, 4, 5, ""},
        {"PNG", png, ImageFormat::Png, 0, 5, 4, ""},
        {"JPEG", jpeg, ImageFormat::Jpeg, 0, 32, 16, ""},
        {"GIF", gif, ImageFormat::Gif, 0, 7, 3, ""},
        {"bitmap cut short", cut, ImageFormat::None, 0, 0, 0, "need 1840 bytes, 1839 are there"},
        {"seven bits a pixel", sevenBits, ImageFormat::None, 0, 0, 0, "1 planes of 7 bits"},
        {"JPEG without a frame", ByteVector{0xFF, 0xD8, 0xFF, 0xD9, 0, 0}, ImageFormat::None, 0, 0, 0, "no frame header"},
        {"no picture", bytesOf("Paradox Document"), ImageFormat::None, 0, 0, 0, "no picture in a format"},
        {"empty", {}, ImageFormat::None, 0, 0, 0, "no picture in a format"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Image image = findImage(c.value.data(), c.value.size());
        EXPECT_EQ(image.format, c.format);
        EXPECT_EQ(image.offset, c.offset);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        EXPECT_NE(image.problem.find(c.problem), std::string::npos) << image.problem;
    }
}

TEST(Picture, AFileKeepsAGraphicFromItsSignatureAndAnythingElseWhole) {
    const ByteVector bmp = test_images::bitmap(2, 2);
    const ByteVector prefixed = joined({1, 0, 0, 1, 9, 9, 9, 9}, bmp);
    const auto content = [](const Bytes& value) {
        const BlobContent c = blobContent(value);
        return std::pair(ByteVector(c.data, c.data + c.size), std::string(imageExtension(c.format)));
    };
    EXPECT_EQ(content({FieldType::Graphic, prefixed}), std::pair(bmp, std::string("bmp")));
    EXPECT_EQ(content({FieldType::Binary, bmp}), std::pair(bmp, std::string("bmp")));
    EXPECT_EQ(content({FieldType::Binary, prefixed}), std::pair(prefixed, std::string("bin")));
    EXPECT_EQ(content({FieldType::Ole, bytesOf("OLE")}), std::pair(bytesOf("OLE"), std::string("bin")));
}

TEST(FormattedMemo, TheTextFollowsTheDirectoryAndEndsInItsNul) {
    // Two sections: the text and one of 3 bytes.
    const ByteVector memo = {2, 0, 0, 0, 6, 0, 0, 0, 9, 0, 3, 0, 0, 0, 'a', '\r', '\n', 'b', 0, 0, 1, 2, 3};
    EXPECT_EQ(formattedMemoText(memo.data(), memo.size()), "a\r\nb");
    ByteVector noNul = memo;
    noNul[19] = 'x';
    ByteVector tooLong = memo;
    tooLong[4] = 10;
    ByteVector noSections = memo;
    noSections[0] = 0;
    for (const ByteVector& bad : {noNul, tooLong, noSections, ByteVector(memo.begin(), memo.begin() + 7)})
        EXPECT_EQ(formattedMemoText(bad.data(), bad.size()), std::nullopt);
}
