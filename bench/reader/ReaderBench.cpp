// Reader benchmark: generates a deterministic mixed-type table and reads every
// field of every row with our reader or with pxlib, one reader per process so
// each peak RSS is its own.
//
//   reader_bench generate <file.db> <rows>
//   reader_bench ours|pxlib <file.db>
//   reader_bench open <file.db>
//
// Prints: reader, rows, seconds, rows/s, peak RSS (KiB), checksum; for open,
// the fastest and the median of 21 opens of the table (what the wizard does
// when a table is chosen).

#include "paradoxwriter/Writer.h"
#include "driver/Table.h"

extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// The day numbers Paradox counts from 0001-01-01 (day 1).
driver::Date dateOfDay(std::int64_t day) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days{days{day - 719163}}};
    return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day()))};
}

int generate(const char* path, long rows) {
    using driver::FieldType;
    using driver::Value;
    paradoxwriter::Options options;
    options.blockKiB = 4;
    paradoxwriter::Writer writer(path,
                                 {{"Id", FieldType::AutoIncrement}, {"Name", FieldType::Alpha, 30},
                                  {"Count", FieldType::Short},      {"Amount", FieldType::Number},
                                  {"Price", FieldType::Money},      {"Day", FieldType::Date},
                                  {"Stamp", FieldType::Timestamp},  {"Flag", FieldType::Logical},
                                  {"Note", FieldType::Memo, 30}},
                                 options);
    static const char* const names[] = {"Müller", "Ødegård", "Garçon", "Smith", "Nuñez", "Straße"};
    std::uint64_t state = 12345;
    std::vector<Value> row(9);
    for (long i = 0; i < rows; ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const std::uint64_t r = state >> 17;
        const std::int64_t day = 700000 + static_cast<std::int64_t>(r % 40000);
        row[0] = std::int64_t{i + 1};
        row[1] = std::string(names[r % 6]) + " " + std::to_string(r % 100000);
        row[2] = r % 10 != 0 ? Value(static_cast<std::int64_t>(r % 2000) - 1000) : Value(driver::Null{});
        row[3] = static_cast<double>(r % 1000000) / 100.0 - 5000.0;
        row[4] = driver::Money{static_cast<double>(r % 100000) / 100.0};
        row[5] = dateOfDay(day);
        row[6] = driver::Timestamp{dateOfDay(day), driver::Time{static_cast<std::int64_t>(r % 86400000)}};
        row[7] = r % 3 != 0 ? Value(bool(r & 1)) : Value(driver::Null{});
        // A memo short enough to live in its 30-byte leader.
        row[8] = r % 4 != 0 ? Value("note " + std::to_string(r % 1000000007)) : Value(driver::Null{});
        writer.addRow(row);
    }
    writer.finish();
    return 0;
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Adds a row's values to the checksum, the same way for both readers.
std::uint64_t checksum(const std::vector<driver::Value>& row) {
    std::uint64_t sum = 0;
    for (const auto& v : row) {
        if (const auto* s = std::get_if<std::string>(&v)) sum += s->size();
        else if (const auto* n = std::get_if<std::int64_t>(&v)) sum += static_cast<std::uint64_t>(*n);
        else if (const auto* d = std::get_if<double>(&v)) sum += static_cast<std::uint64_t>(std::llround(*d));
        else if (const auto* m = std::get_if<driver::Money>(&v)) sum += static_cast<std::uint64_t>(std::llround(m->value));
        else if (const auto* date = std::get_if<driver::Date>(&v)) sum += static_cast<std::uint64_t>(date->day);
        else if (const auto* ts = std::get_if<driver::Timestamp>(&v))
            sum += static_cast<std::uint64_t>(ts->time.milliseconds + ts->date.day);
        else if (const auto* b = std::get_if<bool>(&v)) sum += *b;
    }
    return sum;
}

std::uint64_t readOurs(const char* path, long& rows) {
    const auto table = driver::Table::open(path);
    std::uint64_t sum = 0;
    std::vector<driver::Value> row;
    rows = table->rowCount();
    for (std::int64_t i = 0; i < rows; ++i) {
        table->readRow(i, row);
        sum += checksum(row);
    }
    return sum;
}

void quiet(pxdoc_t*, int, const char*, void*) {}

// pxlib's fastest sequential way: PX_get_record walks the block list from the
// start on every call, so the blocks are read here in chain order and every
// field of every record is decoded with pxlib's PX_get_data_* functions into
// the same typed values our reader returns.
std::uint64_t readPxlib(const char* path, long& rows) {
    FILE* file = std::fopen(path, "rb");
    pxdoc_t* doc = PX_new2(quiet, nullptr, nullptr, nullptr);
    if (!file || PX_open_fp(doc, file) != 0) {
        std::fprintf(stderr, "pxlib cannot open %s\n", path);
        std::exit(1);
    }
    PX_set_targetencoding(doc, "UTF-8");
    const pxhead_t* head = doc->px_head;
    const int numFields = PX_get_num_fields(doc);
    pxfield_t* fields = PX_get_fields(doc);
    const long blockSize = head->px_maxtablesize * 1024L;
    const int recordSize = head->px_recordsize;
    std::vector<char> block(static_cast<std::size_t>(blockSize) + 16);
    std::vector<driver::Value> row(static_cast<std::size_t>(numFields));
    std::uint64_t sum = 0;
    rows = 0;
    for (unsigned number = head->px_firstblock; number != 0;) {
        std::fseek(file, head->px_headersize + static_cast<long>(number - 1) * blockSize, SEEK_SET);
        if (std::fread(block.data(), 1, static_cast<std::size_t>(blockSize), file) < 6) break;
        const auto* b = reinterpret_cast<const unsigned char*>(block.data());
        const unsigned next = b[0] | (b[1] << 8);
        const auto addDataSize = static_cast<std::int16_t>(b[4] | (b[5] << 8));
        const int count = addDataSize < 0 ? 0 : addDataSize / recordSize + 1;
        for (int r = 0; r < count; ++r, ++rows) {
            char* data = block.data() + 6 + r * recordSize;
            for (int f = 0; f < numFields; ++f) {
                const int len = fields[f].px_flen;
                driver::Value& out = row[static_cast<std::size_t>(f)];
                out = driver::Null{};
                switch (fields[f].px_ftype) {
                    case pxfAlpha: {
                        char* value = nullptr;
                        if (PX_get_data_alpha(doc, data, len, &value) > 0 && value) {
                            out = std::string(value);
                            doc->free(doc, value);
                        }
                        break;
                    }
                    case pxfShort: {
                        short value = 0;
                        if (PX_get_data_short(doc, data, len, &value) > 0) out = std::int64_t{value};
                        break;
                    }
                    case pxfAutoInc:
                    case pxfLong:
                    case pxfDate: {
                        // PX_get_data_long reads 8 bytes on 64-bit: test the NULL pattern first.
                        long value = 0;
                        if ((data[0] | data[1] | data[2] | data[3]) && PX_get_data_long(doc, data, len, &value) > 0) {
                            if (fields[f].px_ftype == pxfDate) {
                                int y, m, d;
                                PX_SdnToGregorian(value + 1721425, &y, &m, &d);
                                out = driver::Date{y, m, d};
                            } else {
                                out = std::int64_t{static_cast<std::int32_t>(value)};
                            }
                        }
                        break;
                    }
                    case pxfNumber:
                    case pxfCurrency:
                    case pxfTimestamp: {
                        double value = 0;
                        if (PX_get_data_double(doc, data, len, &value) > 0) {
                            if (fields[f].px_ftype == pxfTimestamp) {
                                const auto ms = std::llround(value);
                                const long day = static_cast<long>(ms / 86400000);
                                int y, m, d;
                                PX_SdnToGregorian(day + 1721425, &y, &m, &d);
                                out = driver::Timestamp{{y, m, d}, driver::Time{ms - day * 86400000LL}};
                            } else if (fields[f].px_ftype == pxfCurrency) {
                                out = driver::Money{value};
                            } else {
                                out = value;
                            }
                        }
                        break;
                    }
                    case pxfLogical: {
                        char value = 0;
                        if (PX_get_data_byte(doc, data, len, &value) > 0) out = value != 0;
                        break;
                    }
                    case pxfMemoBLOb: {
                        // Only inline memos in this table, which pxlib reads without a .mb.
                        int mod = 0, size = 0;
                        char* value = nullptr;
                        if (PX_get_data_blob(doc, data, len, &mod, &size, &value) > 0 && value) {
                            out = std::string(value, static_cast<std::size_t>(size));
                            doc->free(doc, value);
                        }
                        break;
                    }
                    default: break;
                }
                data += len;
            }
            sum += checksum(row);
        }
        number = next;
    }
    PX_close(doc);
    PX_delete(doc);
    std::fclose(file);
    return sum;
}

}  // namespace

// Opens the table again and again; prints the fastest and the median time.
int timeOpen(const char* path) {
    std::vector<double> ms;
    std::int64_t rows = 0;
    for (int i = 0; i < 21; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const auto table = driver::Table::open(path);
        rows = table->rowCount();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("open   %9lld rows  fastest %.2f ms  median %.2f ms\n", static_cast<long long>(rows), ms.front(),
                ms[ms.size() / 2]);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "generate") == 0) return generate(argv[2], std::atol(argv[3]));
    if (argc == 3 && std::strcmp(argv[1], "open") == 0) return timeOpen(argv[2]);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s generate <file> <rows> | ours <file> | pxlib <file>\n", argv[0]);
        return 2;
    }
    const bool ours = std::strcmp(argv[1], "ours") == 0;
    if (!ours) PX_boot();
    long rows = 0;
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t sum = ours ? readOurs(argv[2], rows) : readPxlib(argv[2], rows);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%-6s %9ld rows %8.3f s %12.0f rows/s %8ld KiB peak RSS  checksum %llu\n", argv[1], rows, seconds,
                static_cast<double>(rows) / seconds, peakKiB(), static_cast<unsigned long long>(sum));
    return 0;
}
