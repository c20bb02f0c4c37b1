// libFuzzer target for the reader's damage checks: it damages a sound table
// and fails when the reader reads other names or values than the sound
// table's without saying so.
//
// The sound tables are the corpus's (VELLOMAR_CORPUS, else
// ../shared/paradox-corpus), read once at start together with their .mb
// files; tables over 256 KiB and scrambled ones are left out. An input is one
// damage of one kind, as a damaged table in the wild has: the table (two
// bytes), the kind, a place (three bytes) and a byte. It sets the byte at the
// place, adds to the little-endian word there (a count or link off by a
// little), cuts the file there, appends bytes to the file, or copies or
// swaps two data blocks (headers and records alike). Places are bytes a
// reader can check against the rest of the file: the header (less the code
// page and the language driver, which choose how text is decoded, and the
// field descriptors, whose types no other byte confirms), the NULs of the
// field names (and name bytes, made NUL or a control character: a name
// changed to other letters cannot be told from a true one), every block
// header, the blob descriptor of each live record, and the .mb's block
// headers and slot tables. Record values themselves are never changed: no
// reader can tell a changed value from a true one. Several damages at once
// can always be made to agree with each other (a record deleted: a block's
// count and the header's, one less each), so an input makes one.
//
// The reader may refuse the table (ReadError at open), put its rows in doubt
// (rowsInDoubt()), give a value as a ValueError cell, or replace a name;
// everything else it gives must be the sound table's.
//
// With VELLOMAR_DAMAGE_SEEDS naming a folder, the first run writes seeds
// there: each sound table unchanged, and the damage of each shared damaged
// table (../damaged-tables) to the table it was made from, where one kind
// describes it.

#include "driver/Table.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kLargestTable = 256 * 1024;
// An input: table (2 bytes), kind, place (3 bytes), byte.
constexpr std::size_t kInputSize = 7;

struct Place {
    bool inBlobFile;
    std::uint32_t offset;
    // Values the byte is set to are below this (0: any). A name's byte
    // becomes NUL or a control character; a slot's chunk offset points into
    // its block's header and slots (elsewhere it may point at unused bytes
    // of the same length, which nothing can tell from the value).
    std::uint8_t below = 0;
    // A byte of the names (NULs included): changed alone, never as part of a word.
    bool inNames = false;
};

struct Sound {
    std::string name;
    Bytes db, mb;
    bool hasBlobFile = false;
    std::vector<driver::Field> fields;
    std::vector<std::vector<driver::Value>> rows;
    std::vector<Place> places;
    std::vector<char> free[2];  // by offset in the .db and the .mb: a place any byte may go to
};

std::vector<Sound> sounds;

unsigned u16(const Bytes& b, std::size_t at) { return at + 2 <= b.size() ? b[at] | b[at + 1] << 8 : 0; }
std::uint32_t u32(const Bytes& b, std::size_t at) { return at + 4 <= b.size() ? u16(b, at) | u16(b, at + 2) << 16 : 0; }

Bytes readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

const fs::path& workDir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "damage-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return fs::path(pattern);
    }();
    return dir;
}

// The structure of a sound table, as the format notes describe it.
std::vector<Place> placesOf(const Bytes& db, const Bytes& mb) {
    std::vector<Place> places;
    const unsigned recordSize = u16(db, 0), headerSize = u16(db, 2), blockSize = db[5] * 1024u;
    const int fields = static_cast<std::int16_t>(u16(db, 0x21));
    const int version = db[0x39];
    const bool extended = version >= 5;
    const std::size_t descriptors = extended ? 0x78 : 0x58;
    const std::size_t namesAt = descriptors + 6 * fields + 4 + (extended && version >= 12 ? 261 : 79);
    // On 3.5 tables zeros follow the names: the last name cut short by a NUL,
    // or run on into the zeros, is still a name.
    std::size_t namesEnd = namesAt;
    for (int i = 0; i < fields; ++i) {
        const bool checkable = extended || version == 3 || i + 1 < fields;
        while (namesEnd < headerSize && db[namesEnd] != 0) {
            if (checkable) places.push_back({false, std::uint32_t(namesEnd), 0x20, true});
            ++namesEnd;
        }
        if (checkable) places.push_back({false, std::uint32_t(namesEnd), 0, true});
        ++namesEnd;
    }
    std::size_t driverEnd = namesEnd;
    if (extended) {
        driverEnd = namesEnd + 2 * fields;
        while (driverEnd < headerSize && db[driverEnd] != 0) ++driverEnd;
    }
    for (std::size_t at = 0; at < headerSize; ++at) {
        const bool codePage = extended && (at == 0x6A || at == 0x6B);
        const bool descriptor = at >= descriptors && at < descriptors + 2 * fields;
        const bool names = at >= namesAt && at < namesEnd;
        const bool driverName = extended && at >= namesEnd + 2 * fields && at <= driverEnd;
        if (at != 0x29 && !codePage && !descriptor && !names && !driverName) places.push_back({false, std::uint32_t(at), 0});
    }
    // Every block header; the blob descriptors of the live records.
    std::vector<std::pair<unsigned, unsigned>> blobs;  // offset in the record of each descriptor, leader
    unsigned offset = 0;
    for (int i = 0; i < fields; ++i) {
        const unsigned type = db[descriptors + 2 * i], size = db[descriptors + 2 * i + 1];
        const unsigned bytes = type == 0x17 ? 17 : size;
        if (type >= 0x0C && type <= 0x10) blobs.emplace_back(offset + bytes - 10, bytes - 10);
        offset += bytes;
    }
    for (std::size_t start = headerSize; start + 6 <= db.size(); start += blockSize) {
        for (unsigned i = 0; i < 6; ++i) places.push_back({false, std::uint32_t(start + i), 0});
    }
    std::vector<bool> seen(65536, false);
    for (unsigned block = u16(db, 0x0E); block != 0 && !seen[block]; block = u16(db, headerSize + (block - 1) * blockSize)) {
        seen[block] = true;
        const std::size_t start = headerSize + std::size_t(block - 1) * blockSize;
        const int last = static_cast<std::int16_t>(u16(db, start + 4));
        for (int r = 0; last >= 0 && r <= last / int(recordSize); ++r)
            for (const auto& [at, leader] : blobs)
                for (unsigned i = 0; i < 10; ++i)
                    places.push_back({false, std::uint32_t(start + 6 + r * recordSize + at + i), 0});
    }
    // The .mb: block headers, and the slot tables of sub-allocated blocks.
    for (std::size_t at = 0; at + 3 <= mb.size();) {
        const unsigned type = mb[at], units = u16(mb, at + 1);
        const std::size_t head = type == 2 ? 9 : type == 3 ? 12 + 64 * 5 : 3;
        for (std::size_t i = 0; i < head && at + i < mb.size(); ++i) {
            const bool chunkOffset = type == 3 && i >= 12 && (i - 12) % 5 == 0;
            places.push_back({true, std::uint32_t(at + i), std::uint8_t(chunkOffset ? (12 + 64 * 5) / 16 : 0)});
        }
        if (units == 0) break;
        at += std::size_t{units} * 4096;
    }
    return places;
}

// Values the same to the bit (NaN included). An empty text is no value, as
// in the workbook: neither writes a cell.
bool same(const driver::Value& a, const driver::Value& b) {
    auto blank = [](const driver::Value& v) {
        const auto* text = std::get_if<std::string>(&v);
        return driver::isNull(v) || (text && text->empty());
    };
    if (blank(a) || blank(b)) return blank(a) && blank(b);
    if (a.index() != b.index()) return false;
    if (const auto* x = std::get_if<double>(&a))
        return std::bit_cast<std::uint64_t>(*x) == std::bit_cast<std::uint64_t>(std::get<double>(b));
    if (const auto* x = std::get_if<driver::Money>(&a))
        return std::bit_cast<std::uint64_t>(x->value) == std::bit_cast<std::uint64_t>(std::get<driver::Money>(b).value);
    return a == b;
}

void load() {
    const char* env = std::getenv("VELLOMAR_CORPUS");
    const fs::path corpus = env ? env : "../shared/paradox-corpus";
    std::vector<fs::path> tables;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && ext == ".db" && entry.file_size() <= kLargestTable) tables.push_back(entry.path());
    }
    std::sort(tables.begin(), tables.end());
    for (const fs::path& path : tables) {
        Sound sound;
        sound.name = fs::relative(path, corpus).string();
        sound.db = readAll(path);
        if (sound.db.size() < 0x78) continue;
        const std::uint32_t key = u32(sound.db, 0x25) == 0xFF00FF00u && sound.db[0x39] >= 5 ? u32(sound.db, 0x5C)
                                                                                            : u32(sound.db, 0x25);
        if (key != 0) continue;  // scrambled: a changed byte lands anywhere once restored
        for (const auto& entry : fs::directory_iterator(path.parent_path())) {
            std::string name = entry.path().filename().string(), want = path.stem().string() + ".mb";
            std::transform(name.begin(), name.end(), name.begin(), ::tolower);
            std::transform(want.begin(), want.end(), want.begin(), ::tolower);
            if (name == want) {
                sound.mb = readAll(entry.path());
                sound.hasBlobFile = true;
            }
        }
        if (sound.mb.size() > kLargestTable) continue;
        try {
            const fs::path db = workDir() / "S.DB";
            writeAll(db, sound.db);
            fs::remove(workDir() / "S.MB");
            if (sound.hasBlobFile) writeAll(workDir() / "S.MB", sound.mb);
            const auto table = driver::Table::open(db);
            if (!table->damage().empty()) continue;
            sound.fields = table->fields();
            for (std::int64_t i = 0; i < table->rowCount(); ++i) sound.rows.push_back(table->row(i));
        } catch (const driver::ReadError&) {
            continue;
        }
        sound.places = placesOf(sound.db, sound.mb);
        sound.free[0].assign(sound.db.size() + 1, 0);
        sound.free[1].assign(sound.mb.size() + 1, 0);
        for (const Place& place : sound.places) sound.free[place.inBlobFile][place.offset] = place.below == 0 && !place.inNames;
        sounds.push_back(std::move(sound));
    }
    std::fprintf(stderr, "damage fuzzer: %zu sound tables from %s\n", sounds.size(), corpus.c_str());
    if (sounds.empty()) std::abort();
}

// Seeds: each table unchanged, and the shared damaged tables as changes.
void writeSeeds(const fs::path& folder, const fs::path& damaged) {
    fs::create_directories(folder);
    // The first place set to the byte it holds: the table as it is.
    for (std::size_t t = 0; t < sounds.size(); ++t) {
        const Place& first = sounds[t].places[0];
        const std::uint8_t same = (first.inBlobFile ? sounds[t].mb : sounds[t].db)[first.offset];
        writeAll(folder / ("table-" + std::to_string(t)), Bytes{std::uint8_t(t >> 8), std::uint8_t(t), 0, 0, 0, 0, same});
    }
    if (!fs::is_directory(damaged)) return;
    for (const auto& entry : fs::directory_iterator(damaged)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext != ".db") continue;
        const Bytes db = readAll(entry.path());
        Bytes mb;
        for (const char* e : {".mb", ".MB"})
            if (fs::exists(fs::path(entry.path()).replace_extension(e))) mb = readAll(fs::path(entry.path()).replace_extension(e));
        // The table it was made from: the same length, and the fewest bytes apart.
        std::size_t best = sounds.size(), fewest = SIZE_MAX;
        for (std::size_t t = 0; t < sounds.size(); ++t) {
            if (sounds[t].db.size() != db.size() || (!mb.empty() && sounds[t].mb.size() != mb.size())) continue;
            std::size_t apart = 0;
            for (std::size_t i = 0; i < db.size(); ++i) apart += db[i] != sounds[t].db[i];
            for (std::size_t i = 0; i < mb.size(); ++i) apart += mb[i] != sounds[t].mb[i];
            if (apart < fewest) fewest = apart, best = t;
        }
        if (best == sounds.size()) continue;
        const Sound& sound = sounds[best];
        std::vector<std::size_t> apart;
        for (std::size_t i = 0; i < db.size(); ++i)
            if (db[i] != sound.db[i]) apart.push_back(i);
        bool inBlobFile = apart.empty();
        if (inBlobFile)
            for (std::size_t i = 0; i < mb.size(); ++i)
                if (mb[i] != sound.mb[i]) apart.push_back(i);
        if (apart.empty()) continue;
        const Bytes& from = inBlobFile ? sound.mb : sound.db;
        const Bytes& to = inBlobFile ? mb : db;
        std::uint8_t kind = 0, value = to[apart[0]];
        std::size_t at = apart[0];
        if (apart.back() - apart.front() <= 1) {
            at = apart.back() == apart.front() && apart[0] > 0 && u16(to, apart[0]) == u16(from, apart[0]) ? apart[0] - 1
                                                                                                              : apart[0];
            const int delta = int(u16(to, at)) - int(u16(from, at));
            if (delta >= -128 && delta <= 127 && delta != 0) kind = 1, value = std::uint8_t(delta);
            else at = apart[0];
        } else if (!inBlobFile) {
            // A block written over with another: its header is the place of the copy's source.
            const unsigned headerSize = u16(from, 2), blockSize = from[5] * 1024u;
            const std::size_t target = (apart[0] - headerSize) / blockSize;
            for (std::size_t source = 0; headerSize + (source + 1) * blockSize <= from.size(); ++source)
                if (std::equal(to.begin() + long(headerSize + target * blockSize), to.begin() + long(headerSize + (target + 1) * blockSize),
                               from.begin() + long(headerSize + source * blockSize)))
                    kind = 4, at = headerSize + source * blockSize, value = std::uint8_t(target);
        }
        std::size_t place = sound.places.size();
        for (std::size_t p = 0; p < sound.places.size(); ++p)
            if (sound.places[p].inBlobFile == inBlobFile && sound.places[p].offset == at) place = p;
        if (place == sound.places.size()) continue;
        const Bytes seed{std::uint8_t(best >> 8), std::uint8_t(best), kind, std::uint8_t(place >> 16),
                         std::uint8_t(place >> 8), std::uint8_t(place), value};
        writeAll(folder / ("damaged-" + entry.path().stem().string()), seed);
    }
}

[[noreturn]] void fail(const Sound& sound, const std::string& what, const driver::Table& table) {
    std::fprintf(stderr, "\n%s, damaged: %s\nrowsInDoubt: %d\ndamage():\n%s\n", sound.name.c_str(), what.c_str(),
                 int(table.rowsInDoubt()), table.damage().c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    load();
    if (const char* seeds = std::getenv("VELLOMAR_DAMAGE_SEEDS")) {
        const char* env = std::getenv("VELLOMAR_CORPUS");
        writeSeeds(seeds, fs::path(env ? env : "../shared/paradox-corpus") / ".." / "damaged-tables");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kInputSize) return 0;
    const Sound& sound = sounds[(std::size_t{data[0]} << 8 | data[1]) % sounds.size()];
    const Place& place = sound.places[(std::size_t{data[3]} << 16 | data[4] << 8 | data[5]) % sound.places.size()];
    const std::uint8_t value = data[6];
    Bytes db = sound.db, mb = sound.mb;
    Bytes& file = place.inBlobFile ? mb : db;
    const char* name = place.inBlobFile ? ".mb" : ".db";
    const unsigned headerSize = u16(sound.db, 2), blockSize = sound.db[5] * 1024u;
    const std::size_t blocks = (sound.db.size() - headerSize) / blockSize;
    char text[128];
    switch (data[2] % 6) {
        case 0:
            file[place.offset] = place.below != 0 ? value % place.below : value;
            std::snprintf(text, sizeof text, "%s byte %u = 0x%02X", name, place.offset, file[place.offset]);
            break;
        case 1: {
            const auto& free = sound.free[place.inBlobFile];
            if (!free[place.offset] || place.offset + 2 > file.size() || !free[place.offset + 1]) return 0;
            const unsigned word = (u16(file, place.offset) + static_cast<std::int8_t>(value)) & 0xFFFF;
            file[place.offset] = std::uint8_t(word);
            file[place.offset + 1] = std::uint8_t(word >> 8);
            std::snprintf(text, sizeof text, "%s word at byte %u = %u", name, place.offset, word);
            break;
        }
        case 2:
            file.resize(place.offset);
            std::snprintf(text, sizeof text, "%s cut at byte %u", name, place.offset);
            break;
        case 3:
            file.insert(file.end(), std::size_t{value} + 1, value);
            std::snprintf(text, sizeof text, "%s: %u bytes 0x%02X appended", name, unsigned(value) + 1, value);
            break;
        default: {
            // Blocks (0-based) in the .db: the one holding the place, and another.
            if (place.inBlobFile || place.offset < headerSize || blocks < 2) return 0;
            const std::size_t a = (place.offset - headerSize) / blockSize, b = value % blocks;
            if (a >= blocks || a == b) return 0;
            const auto blockAt = [&](std::size_t n) { return db.begin() + long(headerSize + n * blockSize); };
            if (data[2] % 6 == 4) std::copy(blockAt(a), blockAt(a + 1), blockAt(b));
            else std::swap_ranges(blockAt(a), blockAt(a + 1), blockAt(b));
            std::snprintf(text, sizeof text, "block %zu %s block %zu", a + 1,
                          data[2] % 6 == 4 ? "copied over" : "swapped with", b + 1);
            break;
        }
    }
    const std::string changes = text;
    const fs::path table = workDir() / "T.DB";
    writeAll(table, db);
    fs::remove(workDir() / "T.MB");
    if (sound.hasBlobFile) writeAll(workDir() / "T.MB", mb);

    std::unique_ptr<driver::Table> reader;
    try {
        reader = driver::Table::open(table);
    } catch (const driver::ReadError&) {
        return 0;  // refused, and said why
    }
    const auto& fields = reader->fields();
    if (fields.size() != sound.fields.size()) fail(sound, changes + "; other fields", *reader);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const driver::Field& a = fields[f];
        const driver::Field& b = sound.fields[f];
        if (a.type != b.type || a.size != b.size || a.decimals != b.decimals)
            fail(sound, changes + "; field " + std::to_string(f + 1) + " has another type or size", *reader);
        if (!a.nameReplaced && a.name != b.name)
            fail(sound, changes + "; field " + std::to_string(f + 1) + " is called '" + a.name + "', not '" + b.name + "'", *reader);
    }
    if (!reader->damage().empty() && reader->rowsInDoubt() == false && reader->rowCount() != std::int64_t(sound.rows.size()))
        fail(sound, changes + "; all rows claimed, but " + std::to_string(reader->rowCount()) + " given", *reader);
    if (reader->rowsInDoubt()) {
        if (reader->damage().empty()) fail(sound, changes + "; rows in doubt without a word", *reader);
        // Rows in doubt may be anything, but every one counted reads.
        std::vector<driver::Value> row;
        for (std::int64_t i = 0; i < reader->rowCount(); ++i) reader->readRow(i, row);
        return 0;
    }
    if (reader->rowCount() != std::int64_t(sound.rows.size()))
        fail(sound, changes + "; " + std::to_string(reader->rowCount()) + " rows given, not " + std::to_string(sound.rows.size()),
             *reader);
    std::vector<driver::Value> row;
    for (std::int64_t i = 0; i < reader->rowCount(); ++i) {
        reader->readRow(i, row);
        for (std::size_t f = 0; f < row.size(); ++f)
            if (!std::holds_alternative<driver::ValueError>(row[f]) && !same(row[f], sound.rows[std::size_t(i)][f]))
                fail(sound, changes + "; row " + std::to_string(i + 1) + ", field " + std::to_string(f + 1) + " differs",
                     *reader);
    }
    return 0;
}
