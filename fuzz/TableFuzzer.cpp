// libFuzzer target for the table reader. An input is a .db file, optionally
// followed by kBlobMarker and the bytes of its .mb file. The reader must never
// crash, hang or over-allocate: every problem has to come out as a ReadError
// at open, in damage() or as a ValueError cell. The file does not change while
// it is read, so every row rowCount() counts must read. The parsers of blob
// values (images, formatted memos) read the whole input as a value, and every
// blob value the table gives.

#include "driver/FormattedMemo.h"
#include "driver/Picture.h"
#include "driver/Table.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

constexpr std::string_view kBlobMarker = "\n--VELLOMAR-MB--\n";

const std::filesystem::path& workDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "table-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return std::filesystem::path(pattern);
    }();
    return dir;
}

void writeFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    if (size) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    (void)driver::findImage(data, size);
    (void)driver::formattedMemoText(data, size);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find(kBlobMarker);
    const std::filesystem::path table = workDir() / "T.DB";
    const std::filesystem::path blobs = workDir() / "t.mb";
    writeFile(table, data, split == std::string_view::npos ? size : split);
    if (split == std::string_view::npos) {
        std::filesystem::remove(blobs);
    } else {
        const std::size_t start = split + kBlobMarker.size();
        writeFile(blobs, data + start, size - start);
    }

    try {
        const auto reader = driver::Table::open(table);
        (void)reader->fields();
        (void)reader->damage();
        std::vector<driver::Value> row;
        const std::int64_t rows = reader->rowCount();
        for (std::int64_t i = 0; i < rows; ++i) {
            try {
                reader->readRow(i, row);
                for (const driver::Value& value : row)
                    if (const auto* blob = std::get_if<driver::Bytes>(&value)) (void)driver::blobContent(*blob);
            } catch (const driver::ReadError& error) {
                std::fprintf(stderr, "row %lld of %lld counted but unreadable: %s\n", static_cast<long long>(i),
                             static_cast<long long>(rows), error.what());
                std::abort();
            }
        }
        // Random access backwards, one column, to exercise the block cache.
        for (std::int64_t i = rows - 1; i >= 0 && i >= rows - 3; --i) {
            try {
                (void)reader->row(i, {0});
            } catch (const driver::ReadError&) {
            }
        }
    } catch (const driver::ReadError&) {
    }
    return 0;
}
