#include "workbook/SheetAttachments.h"

#include <algorithm>
#include <vector>

namespace workbook {
namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// A pixel at 96 dots an inch, in the English Metric Units of drawings.
constexpr std::uint64_t kEmuPerPixel = 9525;
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

enum Kind : std::uint8_t { kPicture = 1, kLink = 2 };

std::string columnName(int index) {
    std::string name;
    for (; index > 0; index = (index - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

std::string emu(std::uint64_t pixels) { return std::to_string(pixels * kEmuPerPixel); }

// An attribute value: & < > " escaped.
std::string attribute(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace

// One picture or link in the temporary file, followed by `size` bytes: the
// image file, or the link's target.
struct SheetAttachments::Entry {
    std::uint8_t kind = 0;
    std::uint8_t format = 0;
    std::uint16_t unused = 0;
    std::int32_t column = 0;
    std::int64_t row = 0;
    std::uint64_t left = 0, top = 0;
    std::int32_t lastColumn = 0;
    std::uint32_t lastColumnOffset = 0;
    std::uint32_t width = 0, height = 0;
    std::uint64_t size = 0;
};

SheetAttachments::SheetAttachments(std::filesystem::path folder, std::string context)
    : folder_(std::move(folder)), context_(std::move(context)) {}

SheetAttachments::~SheetAttachments() = default;

void SheetAttachments::addPicture(const Place& place, driver::ImageFormat format, const std::uint8_t* data,
                                  std::size_t size) {
    if (!file_) file_ = std::make_unique<TemporaryFile>(folder_, context_);
    Entry entry;
    entry.kind = kPicture;
    entry.format = static_cast<std::uint8_t>(format);
    entry.column = place.column;
    entry.row = place.row;
    entry.left = place.left;
    entry.top = place.top;
    entry.lastColumn = place.lastColumn;
    entry.lastColumnOffset = place.lastColumnOffset;
    entry.width = place.width;
    entry.height = place.height;
    entry.size = size;
    file_->append(&entry, sizeof entry);
    file_->append(data, size);
    ++pictures_;
    formats_ |= 1u << static_cast<unsigned>(format);
}

void SheetAttachments::addLink(std::int64_t row, int column, std::string_view target) {
    if (!file_) file_ = std::make_unique<TemporaryFile>(folder_, context_);
    Entry entry;
    entry.kind = kLink;
    entry.column = column;
    entry.row = row;
    const std::string encoded = linkTarget(target);
    entry.size = encoded.size();
    file_->append(&entry, sizeof entry);
    file_->append(encoded.data(), encoded.size());
    ++links_;
}

// Calls visit(entry, offset of its bytes) for each entry in order.
template <typename Visit>
void SheetAttachments::forEach(Visit&& visit) {
    if (!file_) return;
    const std::uint64_t end = file_->size();
    for (std::uint64_t at = 0; at < end;) {
        Entry entry;
        file_->read(at, &entry, sizeof entry);
        at += sizeof entry;
        visit(entry, at);
        at += entry.size;
    }
}

void SheetAttachments::writeHyperlinks(const Emit& emit) {
    if (links_ == 0) return;
    emit("<hyperlinks>");
    int link = 0;
    forEach([&](const Entry& entry, std::uint64_t) {
        if (entry.kind != kLink) return;
        emit("<hyperlink ref=\"" + columnName(entry.column) + std::to_string(entry.row) + "\" r:id=\"rId" +
             std::to_string(2 + link++) + "\"/>");
    });
    emit("</hyperlinks>");
}

void SheetAttachments::writeSheetRelationships(const Emit& emit, int drawing) {
    emit(kDeclaration);
    emit("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    if (pictures_ > 0)
        emit("<Relationship Id=\"rId1\" Type=\"" + std::string(kRelationships) +
             "/drawing\" Target=\"../drawings/drawing" + std::to_string(drawing) + ".xml\"/>");
    int link = 0;
    std::string target;
    forEach([&](const Entry& entry, std::uint64_t at) {
        if (entry.kind != kLink) return;
        target.resize(static_cast<std::size_t>(entry.size));
        file_->read(at, target.data(), target.size());
        emit("<Relationship Id=\"rId" + std::to_string(2 + link++) + "\" Type=\"" + std::string(kRelationships) +
             "/hyperlink\" Target=\"" + attribute(target) + "\" TargetMode=\"External\"/>");
    });
    emit("</Relationships>");
}

void SheetAttachments::writeDrawing(const Emit& emit) {
    emit(kDeclaration);
    emit("<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
         "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" +
         std::string(kRelationships) + "\">");
    int picture = 0;
    forEach([&](const Entry& entry, std::uint64_t) {
        if (entry.kind != kPicture) return;
        ++picture;
        const std::string row = std::to_string(entry.row - 1);
        emit("<xdr:twoCellAnchor><xdr:from><xdr:col>" + std::to_string(entry.column - 1) +
             "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" + row +
             "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:to><xdr:col>" +
             std::to_string(entry.lastColumn - 1) + "</xdr:col><xdr:colOff>" + emu(entry.lastColumnOffset) +
             "</xdr:colOff><xdr:row>" + row + "</xdr:row><xdr:rowOff>" + emu(entry.height) +
             "</xdr:rowOff></xdr:to><xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"" + std::to_string(picture + 1) +
             "\" name=\"Picture " + std::to_string(picture) + "\" descr=\"" + columnName(entry.column) +
             std::to_string(entry.row) +
             "\"/><xdr:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></xdr:cNvPicPr></xdr:nvPicPr>"
             "<xdr:blipFill><a:blip r:embed=\"rId" + std::to_string(picture) +
             "\"/><a:stretch><a:fillRect/></a:stretch></xdr:blipFill><xdr:spPr><a:xfrm><a:off x=\"" +
             emu(entry.left) + "\" y=\"" + emu(entry.top) + "\"/><a:ext cx=\"" + emu(entry.width) + "\" cy=\"" +
             emu(entry.height) +
             "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr></xdr:pic>"
             "<xdr:clientData/></xdr:twoCellAnchor>");
    });
    emit("</xdr:wsDr>");
}

void SheetAttachments::writeDrawingRelationships(const Emit& emit, int firstImage) {
    emit(kDeclaration);
    emit("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    int picture = 0;
    forEach([&](const Entry& entry, std::uint64_t) {
        if (entry.kind != kPicture) return;
        emit("<Relationship Id=\"rId" + std::to_string(picture + 1) + "\" Type=\"" + std::string(kRelationships) +
             "/image\" Target=\"../media/image" + std::to_string(firstImage + picture) + "." +
             std::string(driver::imageExtension(static_cast<driver::ImageFormat>(entry.format))) + "\"/>");
        ++picture;
    });
    emit("</Relationships>");
}

void SheetAttachments::writeImages(
    int firstImage, const std::function<void(const std::string&, const std::function<void(const Emit&)>&)>& member) {
    int picture = 0;
    std::vector<char> chunk;
    forEach([&](const Entry& entry, std::uint64_t at) {
        if (entry.kind != kPicture) return;
        const std::string name = "xl/media/image" + std::to_string(firstImage + picture++) + "." +
                                 std::string(driver::imageExtension(static_cast<driver::ImageFormat>(entry.format)));
        member(name, [&](const Emit& emit) {
            for (std::uint64_t done = 0; done < entry.size;) {
                chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kCopyChunk, entry.size - done)));
                file_->read(at + done, chunk.data(), chunk.size());
                emit(std::string_view(chunk.data(), chunk.size()));
                done += chunk.size();
            }
        });
    });
}

void SheetAttachments::clear() {
    if (file_) file_->clear();
    pictures_ = 0;
    links_ = 0;
}

std::string linkTarget(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

}  // namespace workbook
