#pragma once
// What a worksheet carries beside its cells: pictures anchored at cells and
// links from cells to files. Both arrive as the rows stream by, while the
// sheet's XML is still being written, so they wait in a temporary file beside
// the workbook (made at the first one) until the sheet's cells are complete;
// then XlsxWriter writes them out as the sheet's parts. Memory does not
// grow with them.
//
// A picture's anchor is the cell's top-left corner; its far corner lies
// `width` x `height` pixels on, found through the columns' widths, so the
// picture moves (and, with its cell, sizes) as its cell does: sorting or
// filtering rows keeps it beside its row.

#include "driver/Picture.h"
#include "workbook/TemporaryFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace workbook {

class SheetAttachments {
public:
    using Emit = std::function<void(std::string_view)>;

    // Where a picture goes, in the sheet's numbering (row 1 the header) and in
    // pixels from the sheet's top-left corner.
    struct Place {
        std::int64_t row = 0;
        int column = 0;
        std::uint64_t left = 0, top = 0;  // the cell's corner
        int lastColumn = 0;               // the column the far corner is in
        std::uint32_t lastColumnOffset = 0;  // and how far into it
        std::uint32_t width = 0, height = 0;  // the size shown
    };

    // `folder` holds the temporary file; `context` begins its error messages.
    SheetAttachments(std::filesystem::path folder, std::string context);
    ~SheetAttachments();

    void addPicture(const Place& place, driver::ImageFormat format, const std::uint8_t* data, std::size_t size);
    // `target` is a relative path ('/' between names), as the cell shows it.
    void addLink(std::int64_t row, int column, std::string_view target);

    int pictures() const { return pictures_; }
    int links() const { return links_; }
    // Whether a format's image files are among the pictures so far (of any sheet).
    bool used(driver::ImageFormat format) const { return (formats_ >> static_cast<unsigned>(format)) & 1u; }

    // The sheet's <hyperlinks> element; nothing without links.
    void writeHyperlinks(const Emit& emit);
    // The sheet's relationships part: rId1 its drawing `drawing` (when it has
    // pictures), then the links.
    void writeSheetRelationships(const Emit& emit, int drawing);
    // The drawing part, and its relationships to the images, which are
    // numbered from firstImage on.
    void writeDrawing(const Emit& emit);
    void writeDrawingRelationships(const Emit& emit, int firstImage);
    // Each picture's image file in order: its name in the package
    // ("xl/media/image12.bmp"), then its bytes through `emit`.
    void writeImages(int firstImage, const std::function<void(const std::string& name, const std::function<void(const Emit&)>& bytes)>& member);
    // Forgets the sheet's pictures and links, for the next sheet.
    void clear();

private:
    struct Entry;
    template <typename Visit>
    void forEach(Visit&& visit);

    std::filesystem::path folder_;
    std::string context_;
    std::unique_ptr<TemporaryFile> file_;
    int pictures_ = 0;
    int links_ = 0;
    unsigned formats_ = 0;
};

// How a relative path is written as a link's target: each name's bytes
// outside A-Z a-z 0-9 - . _ ~ as %HH, '/' kept.
std::string linkTarget(std::string_view path);

}  // namespace workbook
