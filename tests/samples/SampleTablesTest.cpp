// The sample database as the program ships it: written into a temp folder,
// read back with our reader (names, types, counts, chosen values) and with
// pxlib, an independent reader, which must see the same header, fields and
// non-blob values.
//
// pxlib 0.6.8 aborts when a .mb file is attached, so blob values are checked
// with our reader only; pxlib sees their descriptors. Its PX_open_file wants
// write access, so the table is opened read-only here and handed over.

#include "SampleTables.h"
#include "TempFolder.h"
#include "driver/Table.h"

#include <gtest/gtest.h>
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <sstream>

using namespace driver;
using samples::test::fileBytes;
using samples::test::TempFolder;

namespace {

const Value kNull = Null{};

class SampleTables : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempFolder>();
        written_ = samples::writeSampleTables(folder_->path());
    }
    static void TearDownTestSuite() { folder_.reset(); }

    static std::unique_ptr<Table> open(const std::filesystem::path& table) {
        return Table::open(folder_->path() / table);
    }
    static std::vector<std::pair<std::string, FieldType>> layout(const Table& table) {
        std::vector<std::pair<std::string, FieldType>> out;
        for (const Field& f : table.fields()) out.emplace_back(f.name, f.type);
        return out;
    }

    static std::unique_ptr<TempFolder> folder_;
    static std::vector<samples::WrittenTable> written_;
};

std::unique_ptr<TempFolder> SampleTables::folder_;
std::vector<samples::WrittenTable> SampleTables::written_;

}  // namespace

TEST_F(SampleTables, EveryTableIsWrittenWithItsRows) {
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_->path()))
        if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(folder_->path()).string());
    EXPECT_EQ(files, (std::set<std::string>{"CUSTOMER.DB", "CUSTOMER.MB", "ORDERS.DB", "PARTS.DB", "EMPLOYEE.DB",
                                            "EMPLOYEE.MB", "Archive/orders1999.db"}));
    const std::map<std::filesystem::path, std::int64_t> expected = {
        {"CUSTOMER.DB", 300}, {"ORDERS.DB", 2000}, {"PARTS.DB", 250}, {"EMPLOYEE.DB", 60},
        {std::filesystem::path("Archive") / "orders1999.db", 365}};
    ASSERT_EQ(written_.size(), expected.size());
    for (const auto& table : written_) {
        SCOPED_TRACE(table.file.string());
        EXPECT_EQ(table.rows, expected.at(table.file));
        const auto read = open(table.file);
        EXPECT_EQ(read->rowCount(), table.rows);
        EXPECT_EQ(read->headerRowCount(), table.rows);
        EXPECT_EQ(read->codePage(), 1252);
        EXPECT_TRUE(read->damage().empty());
    }
}

TEST_F(SampleTables, FieldNamesAndTypesAreThoseOfATradingHouse) {
    using L = std::vector<std::pair<std::string, FieldType>>;
    EXPECT_EQ(layout(*open(samples::kCustomer)),
              (L{{"Customer No", FieldType::AutoIncrement}, {"Company", FieldType::Alpha},
                 {"Contact", FieldType::Alpha}, {"Street", FieldType::Alpha}, {"City", FieldType::Alpha},
                 {"Postal Code", FieldType::Alpha}, {"Country", FieldType::Alpha}, {"Phone", FieldType::Alpha},
                 {"Credit Limit", FieldType::Money}, {"Customer Since", FieldType::Date},
                 {"Active", FieldType::Logical}, {"Notes", FieldType::Memo}}));
    EXPECT_EQ(layout(*open(samples::kParts)),
              (L{{"Part No", FieldType::Alpha}, {"Description", FieldType::Alpha}, {"Price", FieldType::Money},
                 {"On Hand", FieldType::Short}, {"On Order", FieldType::Long}, {"Weight (kg)", FieldType::Number},
                 {"Unit Cost", FieldType::Bcd}}));
    EXPECT_EQ(open(samples::kParts)->fields()[6].decimals, 4);
}

TEST_F(SampleTables, TheFirstCustomersCarryAccentsLeadingZerosAndNulls) {
    const auto customers = open(samples::kCustomer);
    EXPECT_EQ(customers->row(0),
              (std::vector<Value>{std::int64_t{1}, std::string("Café Révolution SARL"), std::string("Françoise Lefèvre"),
                                  std::string("Rue de l'Église 7"), std::string("Besançon"), std::string("25000"),
                                  std::string("France"), std::string("+33 3 81 52 44 10"), Money{15000},
                                  Date{1987, 3, 14}, true,
                                  std::string("Livraison par la porte arrière, sonner deux fois.\r\n"
                                              "Prefers invoices in € — no cheques, please.")}));
    const auto mueller = customers->row(1);
    EXPECT_EQ(mueller[1], Value(std::string("Müller & Söhne GmbH")));
    EXPECT_EQ(mueller[5], Value(std::string("01067")));
    EXPECT_EQ(mueller[8], Value(Money{250000.5}));
    const auto& log = std::get<std::string>(mueller[11]);
    EXPECT_GT(log.size(), 2047u);  // a block of its own in the .MB
    EXPECT_TRUE(log.starts_with("Besuchsprotokoll / visit log 1998\r\n")) << log.substr(0, 40);

    const auto oresund = customers->row(2);
    EXPECT_EQ(oresund[1], Value(std::string("Øresund Marine ApS")));
    EXPECT_EQ(oresund[4], Value(std::string("København")));
    EXPECT_EQ(std::vector<Value>(oresund.begin() + 7, oresund.end()), std::vector<Value>(5, kNull));

    const auto paulista = customers->row(3);
    EXPECT_EQ(paulista[4], Value(std::string("São Paulo")));
    EXPECT_EQ(paulista[5], Value(std::string("01310-100")));
    EXPECT_EQ(paulista[8], Value(Money{0}));  // zero, not NULL
    EXPECT_EQ(paulista[10], Value(false));
    EXPECT_EQ(paulista[11], Value(std::string("VIP")));
}

// Without the .MB only memos that fit the record's leader can be read: proof
// that the others really live in the blob file.
TEST_F(SampleTables, LongerMemosLiveInTheBlobFile) {
    TempFolder alone;
    std::filesystem::copy_file(folder_->path() / samples::kCustomer, alone / samples::kCustomer);
    const auto customers = open(samples::kCustomer);
    const auto withoutBlobs = Table::open(alone / samples::kCustomer);
    int inBlobFile = 0, inRecord = 0;
    for (std::int64_t i = 0; i < customers->rowCount(); ++i) {
        const Value notes = customers->row(i)[11];
        const Value cut = withoutBlobs->row(i)[11];
        ASSERT_FALSE(std::holds_alternative<ValueError>(notes)) << i;
        if (std::holds_alternative<ValueError>(cut)) ++inBlobFile;
        else {
            EXPECT_EQ(cut, notes) << i;
            inRecord += !isNull(notes);
        }
    }
    EXPECT_GT(inBlobFile, 100);
    EXPECT_GT(inRecord, 20);
    EXPECT_TRUE(std::holds_alternative<ValueError>(withoutBlobs->row(0)[11]));
    EXPECT_TRUE(std::holds_alternative<ValueError>(withoutBlobs->row(1)[11]));
}

TEST_F(SampleTables, EmployeesIncludeBirthsAndHiresBefore1900) {
    const auto employees = open(samples::kEmployee);
    EXPECT_EQ(employees->row(0)[1], Value(std::string("Durand-Ørsted")));
    EXPECT_EQ(employees->row(0)[2], Value(std::string("Émile")));
    EXPECT_EQ(employees->row(0)[3], Value(Date{1868, 3, 14}));
    EXPECT_EQ(employees->row(0)[4], Value(Date{1891, 6, 1}));
    EXPECT_EQ(employees->row(0)[5], kNull);
    EXPECT_EQ(employees->row(2)[3], Value(Date{1899, 12, 31}));
    EXPECT_EQ(employees->row(3)[3], Value(Date{1900, 2, 28}));
    EXPECT_EQ(employees->row(4)[3], Value(Date{1900, 3, 1}));
    EXPECT_EQ(employees->row(4)[5], Value(Money{199.99}));
    EXPECT_EQ(employees->row(59)[0], Value(std::int64_t{60}));
}

TEST_F(SampleTables, TheArchivedOrdersAreAllFrom1999) {
    const auto orders = open(samples::kArchivedOrders);
    for (std::int64_t i = 0; i < orders->rowCount(); ++i) EXPECT_EQ(std::get<Date>(orders->row(i)[2]).year, 1999) << i;
}

TEST_F(SampleTables, EveryTypeHasANullSomewhereButAutoincrement) {
    std::set<FieldType> types, withNull;
    for (const auto& table : written_) {
        const auto read = open(table.file);
        for (std::int64_t i = 0; i < read->rowCount(); ++i) {
            const auto row = read->row(i);
            for (std::size_t f = 0; f < row.size(); ++f) {
                types.insert(read->fields()[f].type);
                if (isNull(row[f])) withNull.insert(read->fields()[f].type);
            }
        }
    }
    EXPECT_EQ(types.size(), 12u);
    types.erase(FieldType::AutoIncrement);
    EXPECT_EQ(withNull, types);
}

TEST_F(SampleTables, WritingTwiceGivesTheSameBytes) {
    TempFolder again;
    samples::writeSampleTables(again.path());
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_->path())) {
        if (!entry.is_regular_file()) continue;
        const auto relative = entry.path().lexically_relative(folder_->path());
        EXPECT_TRUE(fileBytes(entry.path()) == fileBytes(again / relative)) << relative;
    }
}

namespace {

void quietErrors(pxdoc_t*, int, const char*, void*) {}

// One table opened read-only by pxlib (no .mb attached).
struct PxTable {
    explicit PxTable(const std::filesystem::path& path) {
        file = std::fopen(path.c_str(), "rb");
        doc = PX_new2(quietErrors, nullptr, nullptr, nullptr);
        opened = file && PX_open_fp(doc, file) == 0;
        if (opened) PX_set_targetencoding(doc, "UTF-8");
    }
    ~PxTable() {
        if (opened) PX_close(doc);
        PX_delete(doc);
        if (file) std::fclose(file);
    }
    PxTable(const PxTable&) = delete;
    PxTable& operator=(const PxTable&) = delete;

    FILE* file = nullptr;
    pxdoc_t* doc = nullptr;
    bool opened = false;
};

// pxlib's value of one field in a comparable notation ("NULL", "ERR", text).
std::string pxValue(pxdoc_t* doc, const pxfield_t& field, char* data) {
    std::ostringstream out;
    out.precision(17);
    auto allZero = [&](int n) { return std::all_of(data, data + n, [](char c) { return c == 0; }); };
    switch (field.px_ftype) {
        case pxfAlpha: {
            char* value = nullptr;
            if (PX_get_data_alpha(doc, data, field.px_flen, &value) <= 0 || !value) return "NULL";
            std::string text(value);
            doc->free(doc, value);
            return "'" + text + "'";
        }
        case pxfShort: {
            short value = 0;
            return PX_get_data_short(doc, data, 2, &value) <= 0 ? "NULL" : std::to_string(value);
        }
        case pxfLong:
        case pxfAutoInc:
        case pxfDate:
        case pxfTime: {
            if (allZero(4)) return "NULL";  // pxlib reads a long as 8 bytes on 64-bit hosts
            long value = 0;
            if (PX_get_data_long(doc, data, 4, &value) < 0) return "ERR";
            if (field.px_ftype != pxfDate) return std::to_string(static_cast<std::int32_t>(value));
            int y = 0, m = 0, d = 0;
            PX_SdnToGregorian(value + 1721425, &y, &m, &d);
            return "D" + std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(d);
        }
        case pxfNumber:
        case pxfCurrency:
        case pxfTimestamp: {
            double value = 0;
            if (PX_get_data_double(doc, data, 8, &value) <= 0) return "NULL";
            if (field.px_ftype == pxfTimestamp) return "TS" + std::to_string(std::llround(value));
            return (out << value, out.str());
        }
        case pxfLogical: {
            char value = 0;
            if (PX_get_data_byte(doc, data, 1, &value) <= 0) return "NULL";
            return value ? "true" : "false";
        }
        case pxfBCD: {
            char* value = nullptr;
            if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(data), field.px_fdc, &value) <= 0 || !value)
                return "NULL";
            std::string text(value);
            doc->free(doc, value);
            return "#" + text;
        }
        default: {
            // Blob: the descriptor's length, little-endian.
            const auto* tail = reinterpret_cast<const std::uint8_t*>(data) + field.px_flen - 10;
            const std::uint32_t length = tail[4] | (tail[5] << 8) | (tail[6] << 16) | (std::uint32_t{tail[7]} << 24);
            return length == 0 ? "NULL" : "BLOB";
        }
    }
}

// Our value in the same notation.
std::string ourValue(const Value& v) {
    std::ostringstream out;
    out.precision(17);
    if (isNull(v)) return "NULL";
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    if (const auto* d = std::get_if<double>(&v)) return (out << *d, out.str());
    if (const auto* m = std::get_if<Money>(&v)) return (out << m->value, out.str());
    if (const auto* t = std::get_if<Time>(&v)) return std::to_string(t->milliseconds);
    if (const auto* d = std::get_if<Date>(&v))
        return "D" + std::to_string(d->year) + "-" + std::to_string(d->month) + "-" + std::to_string(d->day);
    if (const auto* ts = std::get_if<Timestamp>(&v)) {
        const long days = PX_GregorianToSdn(ts->date.year, ts->date.month, ts->date.day) - 1721425;
        return "TS" + std::to_string(days * 86'400'000LL + ts->time.milliseconds);
    }
    if (const auto* dec = std::get_if<Decimal>(&v)) return "#" + dec->text;
    return "?";
}

}  // namespace

TEST_F(SampleTables, PxlibReadsTheSameHeaderFieldsAndValues) {
    PX_boot();
    int compared = 0;
    for (const auto& table : written_) {
        SCOPED_TRACE(table.file.string());
        const auto ours = open(table.file);
        PxTable px(folder_->path() / table.file);
        ASSERT_TRUE(px.opened);

        float number = 0;
        ASSERT_EQ(PX_get_value(px.doc, "codepage", &number), 0);
        EXPECT_EQ(number, 1252);
        ASSERT_EQ(PX_get_value(px.doc, "numrecords", &number), 0);
        EXPECT_EQ(number, static_cast<float>(table.rows));
        char* name = nullptr;
        ASSERT_EQ(PX_get_parameter(px.doc, "tablename", &name), 0);
        EXPECT_EQ(std::string(name), table.file.filename().string());

        const int numFields = PX_get_num_fields(px.doc);
        ASSERT_EQ(static_cast<std::size_t>(numFields), ours->fields().size());
        pxfield_t* fields = PX_get_fields(px.doc);
        for (int f = 0; f < numFields; ++f) {
            const Field& field = ours->fields()[static_cast<std::size_t>(f)];
            EXPECT_EQ(std::string(fields[f].px_fname), field.name);
            EXPECT_EQ(fields[f].px_ftype, static_cast<int>(field.type)) << field.name;
            EXPECT_EQ(fields[f].px_flen, field.size) << field.name;
            if (field.type == FieldType::Bcd) {
                EXPECT_EQ(fields[f].px_fdc, field.decimals);
            }
        }

        std::vector<char> record(static_cast<std::size_t>(PX_get_recordsize(px.doc)) + 8);
        ASSERT_EQ(PX_get_num_records(px.doc), ours->rowCount());
        for (int r = 0; r < ours->rowCount(); ++r) {
            ASSERT_NE(PX_get_record(px.doc, r, record.data()), nullptr) << r;
            const auto row = ours->row(r);
            int offset = 0;
            for (int f = 0; f < numFields; ++f) {
                const Value& mine = row[static_cast<std::size_t>(f)];
                const std::string theirs = pxValue(px.doc, fields[f], record.data() + offset);
                offset += fields[f].px_flen;
                const bool blob = fields[f].px_ftype == pxfMemoBLOb;
                const std::string expected =
                    blob ? (isNull(mine) ? "NULL" : "BLOB")
                         : (std::holds_alternative<std::string>(mine) ? "'" + std::get<std::string>(mine) + "'"
                                                                       : ourValue(mine));
                EXPECT_EQ(theirs, expected) << "row " << r << ", field " << fields[f].px_fname;
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 25000);
    PX_shutdown();
}
