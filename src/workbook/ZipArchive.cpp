#include "workbook/ZipArchive.h"

#include "workbook/OutputFile.h"

#include <zip.h>

#include <ctime>
#include <utility>

namespace workbook {
namespace {

// minizip's file functions over an OutputFile. None throws: a failed write
// is kept in the OutputFile and minizip answers ZIP_ERRNO.
voidpf openFile(voidpf opaque, const void*, int) { return opaque; }
uLong readFile(voidpf, voidpf, void*, uLong) { return 0; }
uLong writeFile(voidpf, voidpf stream, const void* data, uLong size) {
    return static_cast<OutputFile*>(stream)->write(data, size) ? size : 0;
}
ZPOS64_T tellFile(voidpf, voidpf stream) { return static_cast<OutputFile*>(stream)->tell(); }
long seekFile(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
    auto* file = static_cast<OutputFile*>(stream);
    if (origin == ZLIB_FILEFUNC_SEEK_CUR) offset += file->tell();
    else if (origin != ZLIB_FILEFUNC_SEEK_SET) return -1;  // minizip seeks from the end only when reading
    return file->seek(offset) ? 0 : -1;
}
int closeFile(voidpf, voidpf) { return 0; }
int testError(voidpf, voidpf stream) { return static_cast<OutputFile*>(stream)->failed() ? 1 : 0; }

zip_fileinfo nowInfo() {
    zip_fileinfo info{};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
    return info;
}

}  // namespace

ZipArchive::ZipArchive(OutputFile& file) : file_(file) {
    zlib_filefunc64_def functions{};
    functions.zopen64_file = openFile;
    functions.zread_file = readFile;
    functions.zwrite_file = writeFile;
    functions.ztell64_file = tellFile;
    functions.zseek64_file = seekFile;
    functions.zclose_file = closeFile;
    functions.zerror_file = testError;
    functions.opaque = &file_;
    zip_ = zipOpen2_64(file_.path().c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
    if (zip_ == nullptr) file_.fail("the zip library could not start (not enough memory).");
}

ZipArchive::~ZipArchive() {
    if (zip_ != nullptr) zipClose(static_cast<zipFile>(zip_), nullptr);
}

void ZipArchive::check(int result, const char* what) {
    if (result == ZIP_OK) return;
    file_.fail(std::string("the zip library failed ") + what + " (error " + std::to_string(result) + ").");
}

void ZipArchive::add(const std::string& name, std::string_view data, int level) {
    const zip_fileinfo info = nowInfo();
    auto* zip = static_cast<zipFile>(zip_);
    check(zipOpenNewFileInZip4_64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, level, 0,
                                  -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0, 0),
          ("to start " + name).c_str());
    check(zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())), ("to write " + name).c_str());
    check(zipCloseFileInZip(zip), ("to end " + name).c_str());
}

void ZipArchive::openRaw(const std::string& name, int level, bool zip64) {
    const zip_fileinfo info = nowInfo();
    check(zipOpenNewFileInZip4_64(static_cast<zipFile>(zip_), name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, level, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                                  0, zip64 ? 1 : 0),
          ("to start " + name).c_str());
}

void ZipArchive::writeRaw(const char* data, std::size_t size) {
    constexpr std::size_t kStep = std::size_t{1} << 30;
    while (size > 0) {
        const std::size_t step = size < kStep ? size : kStep;
        check(zipWriteInFileInZip(static_cast<zipFile>(zip_), data, static_cast<unsigned>(step)), "to write a member");
        data += step;
        size -= step;
    }
}

void ZipArchive::closeRaw(std::uint64_t size, std::uint32_t crc) {
    check(zipCloseFileInZipRaw64(static_cast<zipFile>(zip_), size, crc), "to end a member");
}

void ZipArchive::close() {
    auto* zip = static_cast<zipFile>(std::exchange(zip_, nullptr));
    check(zipClose(zip, nullptr), "to write the directory");
    file_.check();
}

}  // namespace workbook
