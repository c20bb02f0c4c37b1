#include "platform/Database.h"
#include "support/WrittenTables.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace fs = std::filesystem;
using platform::Connection;
using platform::DatabaseError;
using platform::Recordset;
using platform::valueText;

namespace {

// A folder of tables written once per test program: country.db, TypSammlung.DB
// (every type) and empty.db (no rows).
const std::string& data() {
    static const QTemporaryDir dir;
    static const std::string folder = [] {
        const fs::path folder = fs::path(dir.path().toStdString()) / "data";
        testsupport::writeCountry(folder / "country.db");
        testsupport::writeTypSammlung(folder / "TypSammlung.DB");
        testsupport::writeEmpty(folder / "empty.db");
        return folder.string();
    }();
    return folder;
}

// The connection string the program builds for a folder.
QString paradoxString(const std::string& folder) {
    return QString::fromStdString("Driver={Microsoft Paradox Driver (*.db )};DriverID=538;Fil=Paradox 5.X;DefaultDir=" +
                                  folder + ";Dbq=" + folder + ";CollatingSequence=ASCII;");
}

void openConnection(Connection& connection, const std::string& folder, int cursorLocation) {
    connection.CursorLocation(cursorLocation);
    connection.Open(paradoxString(folder));
}

template <typename Action>
std::string messageOf(Action&& action) {
    try {
        action();
    } catch (const DatabaseError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(Connection, TakesServerOrClientCursorsOnly) {
    Connection connection;
    EXPECT_EQ(connection.CursorLocation(), platform::adUseServer);
    connection.CursorLocation(platform::adUseClient);
    EXPECT_EQ(connection.CursorLocation(), 3);
    EXPECT_EQ(messageOf([&] { connection.CursorLocation(1); }),
              "Cursor location 1 is not supported; use 2 (server) or 3 (client).");
    EXPECT_EQ(connection.CursorLocation(), 3);
}

TEST(Connection, OpensTheFolderOrSaysWhyNot) {
    Connection connection;
    EXPECT_FALSE(connection.isOpen());
    openConnection(connection, data(), platform::adUseClient);
    EXPECT_TRUE(connection.isOpen());
    EXPECT_EQ(connection.folder(), data());
    EXPECT_EQ(messageOf([&] { connection.Open(paradoxString(data())); }), "The connection is already open.");

    Connection missing;
    EXPECT_EQ(messageOf([&] { missing.Open(paradoxString("/no/such/folder")); }),
              "The folder \"/no/such/folder\" does not exist.");
    EXPECT_FALSE(missing.isOpen());
    EXPECT_EQ(messageOf([&] { missing.Open("Driver={SQL Server};Dbq=/tmp"); }),
              "The driver \"SQL Server\" is not available; the only driver is \"Microsoft Paradox Driver (*.db )\".");
}

TEST(Connection, OpensAFolderWithSeparatorsAndBracesInItsName) {
    QTemporaryDir root;
    const fs::path folder = fs::path(root.path().toStdString()) / "old;{tables}";
    fs::create_directory(folder);
    fs::copy_file(fs::path(data()) / "country.db", folder / "Country.DB");

    Connection connection;
    connection.Open(paradoxString("{" + root.path().toStdString() + "/old;{tables}}}"));  // "}}" stands for "}"
    Recordset rs;
    rs.Open("SELECT * FROM [COUNTRY];", connection, platform::adOpenDynamic, platform::adLockOptimistic);
    EXPECT_EQ(rs.RecordCount(), 18);
}

TEST(Recordset, PreviewQueryGivesFieldsInTableOrderAndAGridModel) {
    Connection connection;
    openConnection(connection, data(), platform::adUseClient);
    Recordset rs;
    rs.Open("SELECT * FROM [COUNTRY];", connection, platform::adOpenDynamic, platform::adLockOptimistic);

    ASSERT_EQ(rs.Fields().Count(), 5);
    QStringList names;
    for (int i = 0; i < rs.Fields().Count(); ++i) names << rs.Fields().Item(i).Name();
    EXPECT_EQ(names, (QStringList{"Name", "Capital", "Continent", "Area", "Population"}));
    EXPECT_EQ(rs.RecordCount(), 18);

    const std::unique_ptr<QAbstractItemModel> model = rs.DataSource();
    ASSERT_EQ(model->rowCount(), 18);
    ASSERT_EQ(model->columnCount(), 5);
    EXPECT_EQ(model->headerData(4, Qt::Horizontal).toString(), "Population");
    EXPECT_EQ(model->headerData(0, Qt::Vertical).toString(), "1");
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "Argentina");
    EXPECT_EQ(model->data(model->index(0, 3)).toString(), "2777815");
    EXPECT_EQ(model->data(model->index(17, 0)).toString(), "Venezuela");
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->setData(model->index(0, 0), "Changed"));
}

TEST(Recordset, ImportQueryStreamsTheChosenFieldsRowByRow) {
    Connection connection;
    openConnection(connection, data(), platform::adUseServer);
    Recordset rs;
    rs.Open("SELECT `Alpha`, `Numerisch`, `Datum/Zeit` FROM `TYPSAMMLUNG`", connection, platform::adOpenStatic,
            platform::adLockReadOnly);

    ASSERT_EQ(rs.RecordCount(), 5);
    EXPECT_EQ(rs.Fields().Item(1).Name(), "Numerisch");
    std::vector<std::string> companies;
    for (std::int64_t j = 1; j <= rs.RecordCount(); ++j) {
        EXPECT_FALSE(rs.Eof());
        companies.push_back(valueText(rs.Fields()[0].Value()));
        if (j == 1) {
            EXPECT_EQ(rs.Fields()[1].Value(), driver::Value(40.0));
            EXPECT_EQ(valueText(rs.Fields()[2].Value()), "1970-01-01 11:00:00");
        }
        rs.MoveNext();
    }
    EXPECT_EQ(companies.front(), "AAA Irgendein Text");
    EXPECT_EQ(companies[1], "Erste Zeile");
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(messageOf([&] { rs.MoveNext(); }), "There is no next record: the end of the records has been reached.");
    EXPECT_EQ(messageOf([&] { rs.Fields()[0].Value(); }),
              "There is no current record: the end of the records has been reached.");
    EXPECT_EQ(messageOf([&] { rs.Fields().Item(3); }), "There is no field number 3; the fields are numbered 0 to 2.");
}

TEST(Recordset, AnEmptyTableIsAtItsEndAtOnce) {
    Connection connection;
    openConnection(connection, data(), platform::adUseServer);
    Recordset rs;
    rs.Open("SELECT `ID`, `Picture` FROM `EMPTY`", connection, platform::adOpenStatic, platform::adLockReadOnly);
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(rs.Fields().Count(), 2);
    EXPECT_TRUE(rs.Eof());
    EXPECT_EQ(rs.DataSource()->rowCount(), 0);
}

TEST(Recordset, FailedOpenLeavesItClosedWithTheDriversWords) {
    Connection connection;
    openConnection(connection, data(), platform::adUseClient);
    Recordset rs;
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT * FROM [MYASE];", connection, 2, 3); }),
              "The table \"MYASE\" does not exist: there is no file MYASE.db in \"" + data() + "\".");
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT * FROM [A]B];", connection, 2, 3); }),
              "Syntax error in query at character 18: expected the end of the query, found \"B\".");
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT `Town` FROM `COUNTRY`", connection, 3, 1); }),
              "The table \"COUNTRY\" has no field \"Town\".");
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT * FROM [COUNTRY]", connection, 3, 7); }),
              "Lock type 7 is not supported.");

    // What the screens do next with a recordset that did not open.
    EXPECT_FALSE(rs.isOpen());
    EXPECT_EQ(rs.Fields().Count(), 0);
    EXPECT_EQ(messageOf([&] { rs.RecordCount(); }), "The recordset is not open.");
    EXPECT_EQ(messageOf([&] { rs.MoveNext(); }), "The recordset is not open.");
    EXPECT_EQ(messageOf([&] { rs.DataSource(); }), "The recordset is not open.");

    Connection closed;
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT * FROM [COUNTRY]", closed, 3, 1); }), "The connection is not open.");

    rs.Open("SELECT * FROM [COUNTRY]", connection, 3, 1);
    EXPECT_EQ(messageOf([&] { rs.Open("SELECT * FROM [COUNTRY]", connection, 3, 1); }),
              "The recordset is already open.");
}

TEST(Recordset, OutlivesItsConnectionAndTheGridModelOutlivesTheRecordset) {
    std::unique_ptr<QAbstractItemModel> model;
    {
        auto connection = std::make_unique<Connection>();
        openConnection(*connection, data(), platform::adUseClient);
        Recordset rs;
        rs.Open("SELECT * FROM [TYPSAMMLUNG];", *connection, 2, 3);
        connection.reset();
        EXPECT_EQ(valueText(rs.Fields()[0].Value()), "AAA Irgendein Text");
        model = rs.DataSource();
    }
    EXPECT_EQ(model->data(model->index(0, 0)).toString(), "AAA Irgendein Text");
    EXPECT_EQ(model->data(model->index(0, 2)).toString(), "40.00");
}

TEST(Recordset, NeverWritesToTheTableWhateverLockIsAsked) {
    QTemporaryDir root;
    const fs::path table = fs::path(root.path().toStdString()) / "orders.db";
    fs::copy_file(fs::path(data()) / "country.db", table);
    fs::permissions(table, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::ifstream before(table, std::ios::binary);
    const std::string bytesBefore((std::istreambuf_iterator<char>(before)), {});
    const auto timeBefore = fs::last_write_time(table);

    {
        Connection connection;
        openConnection(connection, root.path().toStdString(), platform::adUseClient);
        for (int lockType : {platform::adLockPessimistic, platform::adLockOptimistic, platform::adLockBatchOptimistic}) {
            Recordset rs;
            rs.Open("SELECT * FROM [ORDERS];", connection, platform::adOpenDynamic, lockType);
            while (!rs.Eof()) {
                for (int i = 0; i < rs.Fields().Count(); ++i) rs.Fields()[i].Value();
                rs.MoveNext();
            }
        }
    }

    std::ifstream after(table, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), bytesBefore);
    EXPECT_EQ(fs::last_write_time(table), timeBefore);
}

// Numbers shortest but exact, money with two decimals, dates and times ISO-like,
// blobs and unreadable cells summarised.
TEST(ValueText, ShowsEachKindOfValueAsText) {
    using driver::FieldType;
    const std::pair<driver::Value, std::string> cases[] = {
        {driver::Null{}, ""},
        {true, "True"},
        {false, "False"},
        {std::int64_t{-32768}, "-32768"},
        {std::string("Größe"), "Größe"},
        {driver::Decimal{"-12.50"}, "-12.50"},
        {0.1, "0.1"},
        {19.68503937007874, "19.68503937007874"},
        {2777815.0, "2777815"},
        {-0.5, "-0.5"},
        {driver::Money{1250}, "1250.00"},
        {driver::Money{-3.456}, "-3.46"},
        {driver::Money{0.125}, "0.12"},  // exactly 1/8: ties go to even
        {driver::Money{-0.001}, "0.00"},
        {driver::Money{1e15}, "1000000000000000.00"},
        {driver::Date{1996, 6, 5}, "1996-06-05"},
        {driver::Date{33, 1, 1}, "0033-01-01"},
        {driver::Date{-44, 3, 15}, "-0044-03-15"},
        {driver::Time{0}, "00:00:00"},
        {driver::Time{36000000 + 60000 + 1000}, "10:01:01"},
        {driver::Time{86399999}, "23:59:59.999"},
        {driver::Time{5}, "00:00:00.005"},
        {driver::Timestamp{{1988, 12, 28}, {43200000}}, "1988-12-28 12:00:00"},
        {driver::Bytes{FieldType::Graphic, std::vector<std::uint8_t>(1234)}, "(graphic, 1234 bytes)"},
        {driver::Bytes{FieldType::Binary, {7}}, "(binary, 1 byte)"},
        {driver::Bytes{FieldType::Ole, {}}, "(OLE object, 0 bytes)"},
        {driver::Bytes{FieldType::FormattedMemo, {1, 2}}, "(formatted memo, 2 bytes)"},
        {driver::Bytes{FieldType::Bytes, {1, 2, 3}}, "(bytes, 3 bytes)"},
        {driver::ValueError{"x.mb: block 7 is missing"}, "(unreadable: x.mb: block 7 is missing)"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(valueText(value), text);
}

}  // namespace

namespace {

// A table of a million generated rows that counts the rows read; row 70 is damaged.
class MillionRows : public driver::Table {
public:
    explicit MillionRows(int* rowsRead) : rowsRead_(rowsRead) {}
    const fs::path& path() const override { return path_; }
    const std::vector<driver::Field>& fields() const override { return fields_; }
    std::int64_t rowCount() const override { return 1'000'000; }
    std::vector<driver::Value> row(std::int64_t index) const override {
        ++*rowsRead_;
        if (index == 70) throw driver::ReadError("big.db: record 71 is damaged");
        return {index, "row " + std::to_string(index)};
    }
    std::vector<driver::Value> row(std::int64_t index, const std::vector<int>&) const override { return row(index); }

private:
    int* rowsRead_;
    fs::path path_ = "big.db";
    std::vector<driver::Field> fields_{{"Id", driver::FieldType::Long, 4}, {"Label", driver::FieldType::Alpha, 20}};
};

class RecordsetModelOverAMillionRows : public ::testing::Test {
protected:
    int rowsRead = 0;
    platform::RecordsetModel model{
        std::make_shared<driver::ResultSet>(std::make_unique<MillionRows>(&rowsRead), std::vector<int>{0, 1})};
};

TEST_F(RecordsetModelOverAMillionRows, ReadsOnlyTheRowsTheViewShows) {
    // The view learns of the rows in growing batches, without reading any.
    EXPECT_EQ(model.rowCount(), platform::RecordsetModel::firstRows);
    EXPECT_EQ(model.totalRows(), 1'000'000);
    int batches = 0;
    while (model.canFetchMore({})) {
        model.fetchMore({});
        ++batches;
    }
    EXPECT_EQ(model.rowCount(), 1'000'000);
    EXPECT_LE(batches, 10);
    EXPECT_EQ(model.columnCount(), 2);
    EXPECT_EQ(rowsRead, 0);

    EXPECT_EQ(model.data(model.index(999'999, 1)).toString(), "row 999999");
    EXPECT_EQ(model.data(model.index(500'000, 0)).toString(), "500000");
    EXPECT_LE(rowsRead, 2 * platform::RecordsetModel::chunkRows);

    // Painting the same screenful again reads nothing new.
    const int afterFirstPaint = rowsRead;
    for (int row = 500'000; row < 500'030; ++row) model.data(model.index(row, 1));
    EXPECT_EQ(rowsRead, afterFirstPaint);
}

TEST_F(RecordsetModelOverAMillionRows, KeepsOnlyAFewChunksWhileScrolling) {
    while (model.canFetchMore({})) model.fetchMore({});
    const int chunk = platform::RecordsetModel::chunkRows;
    const int kept = platform::RecordsetModel::chunksKept;
    for (int c = 0; c <= kept; ++c) model.data(model.index(200'000 + c * chunk, 0));
    const int read = rowsRead;
    model.data(model.index(200'000 + kept * chunk, 0));  // the newest is kept
    EXPECT_EQ(rowsRead, read);
    model.data(model.index(200'000, 0));  // the oldest was let go
    EXPECT_EQ(rowsRead, read + chunk);
}

TEST_F(RecordsetModelOverAMillionRows, ShowsAnUnreadableRowAndGoesOn) {
    EXPECT_EQ(model.data(model.index(70, 0)).toString(), "(unreadable row: big.db: record 71 is damaged)");
    EXPECT_EQ(model.data(model.index(70, 1)).toString(), "");
    EXPECT_EQ(model.data(model.index(69, 1)).toString(), "row 69");
    EXPECT_EQ(model.data(model.index(71, 1)).toString(), "row 71");
    EXPECT_EQ(model.data(model.index(71, 0), Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_FALSE(model.data(model.index(71, 1), Qt::TextAlignmentRole).isValid());
}

}  // namespace
