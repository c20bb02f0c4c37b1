// libFuzzer target for the reader's damage checks: it damages a sound table
// and fails when the reader reads other names or values than the sound
// table's without saying so.
//
// The sound tables are the corpus's (VELLOMAR_CORPUS, else
// ../shared/paradox-corpus), read once at start together with their .mb
// files; tables over 256 KiB and scrambled ones are left out. An input picks
// a table (its first two bytes) and lists up to eight changes of five bytes
// each: a kind, a place (three bytes) and a byte. A change sets the byte at
// the place, adds to it, cuts the file there, or appends bytes to the file.
// Places are bytes a reader can check against the rest of the file: the
// header (less the code page and the language driver, which choose how text
// is decoded, and the field descriptors, whose types no other byte confirms),
// the NULs of the field names (and name bytes, made NUL or a control
// character: a name changed to other letters cannot be told from a true one),
// every block header, the blob descriptor of each live record, and the .mb's
// block headers and slot tables. Record values themselves are never changed:
// no reader can tell a changed value from a true one.
//
// The reader may refuse the table (ReadError at open), put its rows in doubt
// (rowsInDoubt()), give a value as a ValueError cell, or replace a name;
// everything else it gives must be the sound table's.
//
// With VELLOMAR_DAMAGE_SEEDS naming a folder, the first run writes seeds
// there: each sound table unchanged, and the changes of each shared damaged
// table (../damaged-tables) to the table it was made from.

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
constexpr std::size_t kChangeSize = 5;
constexpr std::size_t kMostChanges = 8;

struct Place {
    bool inBlobFile;
    std::uint32_t offset;
    bool nameByte;  // a byte of a field name: set to NUL or a control character only
};

struct Sound {
    std::string name;
    Bytes db, mb;
    bool hasBlobFile = false;
    std::vector<driver::Field> fields;
    std::vector<std::vector<driver::Value>> rows;
    std::vector<Place> places;
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
    std::size_t namesEnd = namesAt;
    for (int i = 0; i < fields; ++i) {
        while (namesEnd < headerSize && db[namesEnd] != 0) places.push_back({false, std::uint32_t(namesEnd++), true});
        places.push_back({false, std::uint32_t(namesEnd++), false});
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
        if (at != 0x29 && !codePage && !descriptor && !names && !driverName) places.push_back({false, std::uint32_t(at), false});
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
        for (unsigned i = 0; i < 6; ++i) places.push_back({false, std::uint32_t(start + i), false});
    }
    std::vector<bool> seen(65536, false);
    for (unsigned block = u16(db, 0x0E); block != 0 && !seen[block]; block = u16(db, headerSize + (block - 1) * blockSize)) {
        seen[block] = true;
        const std::size_t start = headerSize + std::size_t(block - 1) * blockSize;
        const int last = static_cast<std::int16_t>(u16(db, start + 4));
        for (int r = 0; last >= 0 && r <= last / int(recordSize); ++r)
            for (const auto& [at, leader] : blobs)
                for (unsigned i = 0; i < 10; ++i)
                    places.push_back({false, std::uint32_t(start + 6 + r * recordSize + at + i), false});
    }
    // The .mb: block headers, and the slot tables of sub-allocated blocks.
    for (std::size_t at = 0; at + 3 <= mb.size();) {
        const unsigned type = mb[at], units = u16(mb, at + 1);
        const std::size_t head = type == 2 ? 9 : type == 3 ? 12 + 64 * 5 : 3;
        for (std::size_t i = 0; i < head && at + i < mb.size(); ++i) places.push_back({true, std::uint32_t(at + i), false});
        if (units == 0) break;
        at += std::size_t{units} * 4096;
    }
    return places;
}

// Values the same to the bit (NaN included).
bool same(const driver::Value& a, const driver::Value& b) {
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
        if (sound.db.size() < 0x78 || u32(sound.db, 0x25) == 0xFF00FF00u || (sound.db[0x39] < 5 && u32(sound.db, 0x25) != 0) ||
            (sound.db[0x39] >= 5 && u32(sound.db, 0x5C) != 0))
            continue;  // scrambled: a changed byte lands anywhere once restored
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
        sounds.push_back(std::move(sound));
    }
    std::fprintf(stderr, "damage fuzzer: %zu sound tables from %s\n", sounds.size(), corpus.c_str());
    if (sounds.empty()) std::abort();
}

// Seeds: each table unchanged, and the shared damaged tables as changes.
void writeSeeds(const fs::path& folder, const fs::path& damaged) {
    fs::create_directories(folder);
    for (std::size_t t = 0; t < sounds.size(); ++t)
        writeAll(folder / ("table-" + std::to_string(t)), Bytes{std::uint8_t(t >> 8), std::uint8_t(t)});
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
        std::size_t best = sounds.size(), fewest = 64;
        for (std::size_t t = 0; t < sounds.size(); ++t) {
            if (sounds[t].db.size() != db.size() || (!mb.empty() && sounds[t].mb.size() != mb.size())) continue;
            std::size_t apart = 0;
            for (std::size_t i = 0; i < db.size(); ++i) apart += db[i] != sounds[t].db[i];
            for (std::size_t i = 0; i < mb.size(); ++i) apart += mb[i] != sounds[t].mb[i];
            if (apart < fewest) fewest = apart, best = t;
        }
        if (best == sounds.size()) continue;
        Bytes seed{std::uint8_t(best >> 8), std::uint8_t(best)};
        const Sound& sound = sounds[best];
        for (std::size_t p = 0; p < sound.places.size() && seed.size() < 2 + kChangeSize * kMostChanges; ++p) {
            const Place& place = sound.places[p];
            const Bytes& from = place.inBlobFile ? sound.mb : sound.db;
            const Bytes& to = place.inBlobFile ? mb : db;
            if (place.offset < to.size() && to[place.offset] != from[place.offset])
                seed.insert(seed.end(), {0, std::uint8_t(p >> 16), std::uint8_t(p >> 8), std::uint8_t(p), to[place.offset]});
        }
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
    if (size < 2) return 0;
    const Sound& sound = sounds[(std::size_t{data[0]} << 8 | data[1]) % sounds.size()];
    Bytes db = sound.db, mb = sound.mb;
    std::string changes;
    for (std::size_t at = 2; at + kChangeSize <= size && at < 2 + kChangeSize * kMostChanges; at += kChangeSize) {
        const Place& place = sound.places[(std::size_t{data[at + 1]} << 16 | data[at + 2] << 8 | data[at + 3]) % sound.places.size()];
        Bytes& file = place.inBlobFile ? mb : db;
        const std::uint8_t value = data[at + 4];
        char text[96];
        switch (data[at] % 4) {
            case 0:
            case 1:
                if (place.offset >= file.size()) continue;
                file[place.offset] = data[at] % 4 == 0 ? value : std::uint8_t(file[place.offset] + value);
                if (place.nameByte) file[place.offset] &= 0x1F;
                std::snprintf(text, sizeof text, "%s byte %u = 0x%02X; ", place.inBlobFile ? ".mb" : ".db", place.offset,
                              file[place.offset]);
                break;
            case 2:
                if (place.offset >= file.size()) continue;
                file.resize(place.offset);
                std::snprintf(text, sizeof text, "%s cut at byte %u; ", place.inBlobFile ? ".mb" : ".db", place.offset);
                break;
            default:
                file.insert(file.end(), std::size_t{value} + 1, value);
                std::snprintf(text, sizeof text, "%s: %u bytes 0x%02X appended; ", place.inBlobFile ? ".mb" : ".db",
                              unsigned(value) + 1, value);
                break;
        }
        changes += text;
    }
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
    if (fields.size() != sound.fields.size()) fail(sound, changes + " other fields", *reader);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const driver::Field& a = fields[f];
        const driver::Field& b = sound.fields[f];
        if (a.type != b.type || a.size != b.size || a.decimals != b.decimals)
            fail(sound, changes + " field " + std::to_string(f + 1) + " has another type or size", *reader);
        if (!a.nameReplaced && a.name != b.name)
            fail(sound, changes + " field " + std::to_string(f + 1) + " is called '" + a.name + "', not '" + b.name + "'", *reader);
    }
    if (!reader->damage().empty() && reader->rowsInDoubt() == false && reader->rowCount() != std::int64_t(sound.rows.size()))
        fail(sound, changes + " all rows claimed, but " + std::to_string(reader->rowCount()) + " given", *reader);
    if (reader->rowsInDoubt()) {
        if (reader->damage().empty()) fail(sound, changes + " rows in doubt without a word", *reader);
        // Rows in doubt may be anything, but every one counted reads.
        std::vector<driver::Value> row;
        for (std::int64_t i = 0; i < reader->rowCount(); ++i) reader->readRow(i, row);
        return 0;
    }
    if (reader->rowCount() != std::int64_t(sound.rows.size()))
        fail(sound, changes + " " + std::to_string(reader->rowCount()) + " rows given, not " + std::to_string(sound.rows.size()),
             *reader);
    std::vector<driver::Value> row;
    for (std::int64_t i = 0; i < reader->rowCount(); ++i) {
        reader->readRow(i, row);
        for (std::size_t f = 0; f < row.size(); ++f)
            if (!std::holds_alternative<driver::ValueError>(row[f]) && !same(row[f], sound.rows[std::size_t(i)][f]))
                fail(sound, changes + " row " + std::to_string(i + 1) + ", field " + std::to_string(f + 1) + " differs",
                     *reader);
    }
    return 0;
}
