#include "support/WrittenTables.h"

#include "paradoxwriter/Encode.h"

#include <fstream>
#include <iterator>

namespace testsupport {

using driver::FieldType;
using driver::Value;
using paradoxwriter::FieldDef;
using paradoxwriter::Options;

namespace {

const Value kNull = driver::Null{};

Value text(const char* s) { return std::string(s); }

}  // namespace

void writeTable(const std::filesystem::path& file, const std::vector<FieldDef>& fields, const Rows& rows,
                const Options& options) {
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    paradoxwriter::Writer writer(file, fields, options);
    for (const auto& row : rows) writer.addRow(row);
    writer.finish();
}

void writeNumbered(const std::filesystem::path& file, int count, const Options& options) {
    Rows rows;
    for (std::int64_t id = 1; id <= count; ++id) rows.push_back({id, "row " + std::to_string(id)});
    writeTable(file, {{"Id", FieldType::Long}, {"Label", FieldType::Alpha, 20}}, rows, options);
}

void writeCountry(const std::filesystem::path& file) {
    struct Country {
        const char* name;
        const char* capital;
        bool south;
        double area, population;
    };
    static const Country countries[] = {
        {"Argentina", "Buenos Aires", true, 2777815, 32300003},  {"Bolivia", "La Paz", true, 1098575, 7300000},
        {"Brazil", "Brasília", true, 8511196, 150400000},       {"Canada", "Ottawa", false, 9976147, 26500000},
        {"Chile", "Santiago", true, 756943, 13200000},          {"Colombia", "Bogotá", true, 1138907, 33000000},
        {"Cuba", "La Habana", false, 114524, 10600000},         {"Ecuador", "Quito", true, 455502, 10600000},
        {"El Salvador", "San Salvador", false, 20865, 5300000}, {"Guyana", "Georgetown", true, 214969, 800000},
        {"Jamaica", "Kingston", false, 11424, 2500000},         {"Mexico", "Ciudad de México", false, 1967180, 88600000},
        {"Nicaragua", "Managua", false, 139000, 3900000},       {"Paraguay", "Asunción", true, 406576, 4660000},
        {"Peru", "Lima", true, 1285215, 21600000},              {"United States of America", "Washington", false, 9363130, 249200000},
        {"Uruguay", "Montevideo", true, 176140, 3002000},       {"Venezuela", "Caracas", true, 912047, 19700000},
    };
    Options options;
    options.codePage = 850;
    options.keyFields = 1;
    Rows rows;
    for (const Country& c : countries)
        rows.push_back({text(c.name), text(c.capital), text(c.south ? "South America" : "North America"), c.area,
                        c.population});
    writeTable(file,
               {{"Name", FieldType::Alpha, 24}, {"Capital", FieldType::Alpha, 24}, {"Continent", FieldType::Alpha, 24},
                {"Area", FieldType::Number}, {"Population", FieldType::Number}},
               rows, options);
}

void writeTypSammlung(const std::filesystem::path& file) {
    const std::vector<FieldDef> fields = {
        {"Alpha", FieldType::Alpha, 30},     {"Numerisch", FieldType::Number},     {"Währung", FieldType::Money},
        {"Integer kurz", FieldType::Short},  {"Integer lang", FieldType::Long},    {"BCD", FieldType::Bcd, 6},
        {"Datum", FieldType::Date},          {"Zeit", FieldType::Time},            {"Datum/Zeit", FieldType::Timestamp},
        {"Memo", FieldType::Memo, 1},        {"Logisch", FieldType::Logical},      {"Zähler", FieldType::AutoIncrement},
        {"Binär", FieldType::Binary, 0},     {"Bytes", FieldType::Bytes, 255}};
    auto row = [](const char* name, Value number, Value money, Value small, Value large, Value bcd, Value date,
                  Value time, Value stamp, Value memo, Value logical, std::int64_t counter) {
        return std::vector<Value>{text(name), number, money, small, large, bcd, date, time, stamp, memo, logical,
                                  counter, kNull, kNull};
    };
    const driver::Date epoch{1970, 1, 1};
    Options options;
    options.keyFields = 2;
    writeTable(file, fields,
               {row("AAA Irgendein Text", 40.0, driver::Money{40}, std::int64_t{40}, std::int64_t{40},
                    driver::Decimal{"40.000000"}, epoch, driver::Time{0}, driver::Timestamp{epoch, {39'600'000}},
                    kNull, kNull, 1),
                row("Erste Zeile", 23.0, kNull, kNull, kNull, kNull, kNull, kNull, kNull, kNull, false, 3),
                row("Fünfter Datensatz", 1.34, driver::Money{13.002}, kNull, kNull, driver::Decimal{"13.123457"},
                    epoch, driver::Time{4'212'000}, driver::Timestamp{epoch, {}},
                    text("Dies ist eine Memo im 'Fünften Datensat'"), kNull, 5),
                row("Null-Werte", 0.0, driver::Money{0}, std::int64_t{0}, std::int64_t{0}, driver::Decimal{"0.000000"},
                    kNull, kNull, kNull, kNull, kNull, 4),
                row("Zweite Zeile", -40.0, driver::Money{-40}, std::int64_t{-40}, std::int64_t{-40},
                    driver::Decimal{"-40.000000"}, driver::Date{1999, 9, 9}, driver::Time{40'271'000},
                    driver::Timestamp{{2003, 6, 10}, {40'271'000}}, kNull, true, 2)},
               options);

    // The oddities, in the records of rows 2 and 3 of block 1.
    std::vector<std::uint8_t> bytes = fileBytes(file);
    std::vector<std::size_t> at;  // each field's offset in a record
    std::size_t recordSize = 0;
    for (const FieldDef& f : fields) {
        at.push_back(recordSize);
        recordSize += static_cast<std::size_t>(paradoxwriter::Writer::recordBytes(f));
    }
    const std::size_t block = bytes[2] | static_cast<std::size_t>(bytes[3]) << 8;
    auto field = [&](int row, int column) { return &bytes[block + 6 + row * recordSize + at[column]]; };
    field(1, 5)[0] = 0x06;  // decimals set, sign and bit 6 clear
    constexpr std::int64_t kDayBeforeYearMinus1 = -366;  // 0001-01-01 is day 1
    paradoxwriter::encode::integer(field(2, 6), kDayBeforeYearMinus1, 4);
    paradoxwriter::encode::number(field(2, 8), (kDayBeforeYearMinus1 * 24 + 1) * 3'600'000.0);  // 01:00
    writeBytes(file, bytes);
}

std::vector<WrittenTable> writeEveryVersion(const std::filesystem::path& folder) {
    struct Case {
        int version, codePage, keyFields, blockKiB;
        std::uint32_t scrambleKey;
        const char* name;  // of the first field
        const char* text;  // the start of its values
    };
    const Case cases[] = {
        {3, 437, 0, 1, 0, "Prénom du client", "Café Noël"},  {4, 866, 1, 2, 0x9BF8A65C, "Имя клиента", "Абана"},
        {9, 850, 1, 4, 0xE1C3, "Größe in m²", "Straße"},      {11, 865, 0, 16, 0, "Søknad nr", "både"},
        {12, 1252, 2, 2, 0, "Währung €", "Fünf €"},          {12, 857, 0, 32, 0x7A15FF01, "İl adı", "İLKADAM"},
    };
    // 3.x knows the first 5 types, 4.x the first 10, later versions all.
    const std::vector<FieldDef> types = {
        {"", FieldType::Alpha, 20},          {"Short", FieldType::Short},          {"Number", FieldType::Number},
        {"Money", FieldType::Money},         {"Date", FieldType::Date},            {"Memo", FieldType::Memo, 8},
        {"Binary", FieldType::Binary, 4},    {"Graphic", FieldType::Graphic, 0},   {"OLE", FieldType::Ole, 10},
        {"Formatted", FieldType::FormattedMemo, 1}, {"Long", FieldType::Long},     {"Time", FieldType::Time},
        {"Timestamp", FieldType::Timestamp}, {"Logical", FieldType::Logical},      {"Counter", FieldType::AutoIncrement},
        {"Bcd", FieldType::Bcd, 2},          {"Bytes", FieldType::Bytes, 6}};
    using driver::Bytes;
    std::vector<Value> nulls(types.size(), kNull);
    nulls[14] = std::int64_t{2};  // an autoincrement is never NULL
    const std::vector<std::vector<Value>> values = {
        {text("?"), std::int64_t{32767}, 0.1, driver::Money{-222.22}, driver::Date{1996, 5, 4}, text("kurz"),
         Bytes{FieldType::Binary, std::vector<std::uint8_t>(300, 7)}, Bytes{FieldType::Graphic, {'B', 'M', 0, 1}},
         Bytes{FieldType::Ole, {'O', 'L', 'E'}}, text("Line one\r\nLine two"), std::int64_t{-2147483647},
         driver::Time{86'399'999}, driver::Timestamp{{2020, 2, 1}, {3'601'000}}, true, std::int64_t{1},
         driver::Decimal{"-12.50"}, Bytes{FieldType::Bytes, {0x31, 0, 0x32, 0, 0x33, 0}}},
        nulls,
        {text("?"), std::int64_t{0}, 0.0, driver::Money{0}, driver::Date{1, 1, 1}, std::string(3000, 'm'), kNull,
         Bytes{FieldType::Graphic, std::vector<std::uint8_t>(5000, 'g')}, kNull, std::string(2500, 'f'),
         std::int64_t{0}, driver::Time{0}, driver::Timestamp{{1, 1, 1}, {0}}, false, std::int64_t{3},
         driver::Decimal{"0.00"}, Bytes{FieldType::Bytes, {0, 0, 0, 0, 0, 1}}},
        {text("?"), std::int64_t{-32767}, -1e300, driver::Money{-0.01}, driver::Date{9999, 12, 31},
         std::string(600, 's'), Bytes{FieldType::Binary, {9}}, kNull, Bytes{FieldType::Ole, std::vector<std::uint8_t>(700, 'o')},
         kNull, std::int64_t{2147483647}, driver::Time{3'601'000}, driver::Timestamp{{1899, 12, 31}, {1}}, false,
         std::int64_t{100}, driver::Decimal{"999999999999999999999999999999.99"},
         Bytes{FieldType::Bytes, {255, 255, 255, 255, 255, 255}}},
    };
    std::vector<WrittenTable> written;
    for (const Case& c : cases) {
        const std::size_t columns = c.version < 5 ? 5 : c.version < 10 ? 10 : types.size();
        std::vector<FieldDef> fields(types.begin(), types.begin() + static_cast<std::ptrdiff_t>(columns));
        fields[0].name = c.name;
        Rows rows;
        for (int copy = 0; copy < 40; ++copy)  // several blocks
            for (auto row : values) {
                row.resize(columns);
                if (!driver::isNull(row[0])) row[0] = std::string(c.text) + " " + std::to_string(rows.size());
                rows.push_back(row);
            }
        Options options;
        options.version = c.version;
        options.codePage = c.codePage;
        options.keyFields = c.keyFields;
        options.blockKiB = c.blockKiB;
        options.scrambleKey = c.scrambleKey;
        const auto file = folder / ("V" + std::to_string(c.version) + "-" + std::to_string(c.codePage) + ".DB");
        writeTable(file, fields, rows, options);
        written.push_back({file, fields, rows, c.codePage, c.scrambleKey != 0});
    }
    return written;
}

void writeEmpty(const std::filesystem::path& file) {
    writeTable(file,
               {{"ID", FieldType::Long}, {"ScientificName", FieldType::Alpha, 30}, {"CommonName", FieldType::Alpha, 30},
                {"Order", FieldType::Alpha, 20}, {"Genus", FieldType::Alpha, 20}, {"Notes", FieldType::Memo, 10},
                {"Picture", FieldType::Binary, 1}},
               {});
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
