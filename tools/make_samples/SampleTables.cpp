#include "SampleTables.h"

#include "Random.h"
#include "paradoxwriter/Writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace samples {
namespace {

using driver::FieldType;
using driver::Value;
using paradoxwriter::FieldDef;
using paradoxwriter::Writer;

const Value kNull = driver::Null{};

Value text(const std::string& s) { return s; }
Value integer(std::int64_t v) { return v; }
Value money(double v) { return driver::Money{std::round(v * 100) / 100}; }
Value date(int y, int m, int d) { return driver::Date{y, m, d}; }
Value timeOfDay(int h, int m, int s, int ms = 0) {
    return driver::Time{((h * 60 + m) * 60 + s) * 1000LL + ms};
}

struct Place {
    std::string city, postalCode, country, dialCode;
    std::vector<std::string> streets;
};

const std::vector<Place>& places() {
    static const std::vector<Place> all = {
        {"Dresden", "01067", "Deutschland", "+49 351", {"Königstraße", "Großenhainer Straße", "Bürgerwiese"}},
        {"Leipzig", "04109", "Deutschland", "+49 341", {"Grimmaische Straße", "Thomaskirchhof"}},
        {"Köln", "50667", "Deutschland", "+49 221", {"Hohe Straße", "Am Hof"}},
        {"München", "80331", "Deutschland", "+49 89", {"Weinstraße", "Maximilianstraße"}},
        {"Besançon", "25000", "France", "+33 3", {"Rue de l'Église", "Grande Rue"}},
        {"Orléans", "45000", "France", "+33 2", {"Rue Jeanne-d'Arc", "Quai du Châtelet"}},
        {"Nîmes", "30000", "France", "+33 4", {"Boulevard Gambetta", "Rue de l'Étoile"}},
        {"København", "1050", "Danmark", "+45", {"Østergade", "Nyhavn", "Vesterbrogade"}},
        {"Århus", "8000", "Danmark", "+45", {"Søndergade", "Åboulevarden"}},
        {"Malmö", "211 20", "Sverige", "+46 40", {"Södergatan", "Östra Förstadsgatan"}},
        {"Göteborg", "411 01", "Sverige", "+46 31", {"Kungsgatan", "Västra Hamngatan"}},
        {"Tromsø", "9008", "Norge", "+47", {"Storgata", "Søndre Tollbodgate"}},
        {"São Paulo", "01310-100", "Brasil", "+55 11", {"Avenida Paulista", "Rua Augusta"}},
        {"Maringá", "87013-000", "Brasil", "+55 44", {"Avenida Brasil", "Rua Joubert de Carvalho"}},
        {"A Coruña", "15001", "España", "+34 981", {"Calle Real", "Plaza de María Pita"}},
        {"Cádiz", "11001", "España", "+34 956", {"Calle Ancha", "Plaza de San Juan de Dios"}},
        {"Setúbal", "2900-001", "Portugal", "+351 265", {"Avenida Luísa Todi", "Rua Álvaro Castelões"}},
        {"Zürich", "8001", "Schweiz", "+41 44", {"Bahnhofstrasse", "Limmatquai"}},
        {"Genève", "1201", "Suisse", "+41 22", {"Rue du Rhône", "Quai du Mont-Blanc"}},
        {"Reykjavík", "101", "Ísland", "+354", {"Laugavegur", "Skólavörðustígur"}},
        {"Wien", "1010", "Österreich", "+43 1", {"Kärntner Straße", "Graben"}},
    };
    return all;
}

const std::vector<std::string> kFirstNames = {
    "Françoise", "Jürgen", "Søren", "João", "Inés", "Zoë", "Björn", "Åsa", "Renée", "José",
    "Noël", "Chloé", "Begoña", "Þórunn", "Hélène", "Günther", "Mårten", "Ólafur", "Anaïs", "Jérôme",
    "Ingrid", "Tomás", "Maëlle", "Dörte", "Niamh", "Çelik", "Léa", "Jörg", "Margrét", "Ramón"};
const std::vector<std::string> kLastNames = {
    "Müller", "Lefèvre", "Sørensen", "Gonçalves", "Núñez", "Østergaard", "Weiß", "Jönsson",
    "Ó Briain", "Fernández", "Kühn", "Dubois", "Håkansson", "Guðmundsdóttir", "Schäfer", "Brontë",
    "Peña", "Löwe", "Nørgaard", "Araújo", "Citroën", "Gómez", "Bäcker", "Françon", "Ibáñez"};
const std::vector<std::string> kCompanyNames = {
    "Café Révolution", "Müller & Söhne", "Øresund Marine", "Boulangerie Françoise",
    "Importadora Paulista", "Smørrebrød Hus", "Ñandú Viajes", "Crème Brûlée Pâtisserie",
    "Zürcher Uhrenatelier", "Ålborg Fiskehandel", "Björk & Dóttir", "Bäckerei Größl",
    "Librería Cervantes", "Château Lumière", "Fjällräv Friluft", "Açores Pescas",
    "Kaffeehaus Schönbrunn", "Études & Conseil", "Ærø Cykler", "Maison Noël",
    "Brauerei Fäßler", "Cerâmica Alentejo", "Skärgårdsbåtar", "Optique Bérénice"};
const std::vector<std::string> kCompanyForms = {
    "GmbH", "S.A.", "ApS", "SARL", "Ltda.", "AB", "S.L.", "AG", "ehf.", "& Cie", "KG", "A/S"};

std::string phoneNumber(Random& random, const Place& place) {
    return place.dialCode + " " + std::to_string(random.between(100, 999)) + " " +
           std::to_string(random.between(1000, 9999));
}

// Memo texts: a few lines with CR LF breaks; long ones run past 2 KiB so they
// get a block of their own in the .MB.
const std::vector<std::string> kNoteLines = {
    "Zahlt pünktlich, bevorzugt Lieferung vor 10 Uhr.",
    "Prefers invoices in € — no cheques, please.",
    "Livraison par la porte arrière, sonner deux fois.",
    "Kontakt über Frau Weiß in der Buchhaltung.",
    "Rabatt von 5 % ab 1.000 € Bestellwert vereinbart.",
    "Entrega só às terças e quintas-feiras.",
    "Ønsker ikke nyhedsbrev.",
    "Reklamation vom Frühjahr erledigt; Gutschrift erteilt.",
    "Visite du représentant prévue à l'automne.",
    "Ordrer over 50 kg sendes med fragtmand.",
};

std::string noteText(Random& random, int lines) {
    std::string out;
    for (int i = 0; i < lines; ++i) {
        if (i) out += "\r\n";
        out += random.pick(kNoteLines);
    }
    return out;
}

std::string visitLog(Random& random, int year, int entries) {
    std::string out = "Besuchsprotokoll / visit log " + std::to_string(year);
    for (int i = 0; i < entries; ++i) {
        out += "\r\n" + std::to_string(random.between(1, 28)) + "." + std::to_string(random.between(1, 12)) +
               ".: " + random.pick(kNoteLines);
    }
    return out;
}

// Notes: NULL, inline (fits the 20-byte leader), sub-allocated or a block of its own.
Value customerNotes(Random& random, int row) {
    if (row % 40 == 0) return visitLog(random, 1990 + row % 15, 60);
    const auto kind = random.between(0, 9);
    if (kind < 3) return kNull;
    if (kind < 5) return random.pick(std::vector<std::string>{"VIP", "Zahlt bar.", "Nur per Fax!", "Café-Kunde"});
    return noteText(random, static_cast<int>(random.between(1, 6)));
}

void writeCustomers(const std::filesystem::path& file) {
    Writer w(file,
             {{"Customer No", FieldType::AutoIncrement},
              {"Company", FieldType::Alpha, 40},
              {"Contact", FieldType::Alpha, 30},
              {"Street", FieldType::Alpha, 40},
              {"City", FieldType::Alpha, 25},
              {"Postal Code", FieldType::Alpha, 10},
              {"Country", FieldType::Alpha, 20},
              {"Phone", FieldType::Alpha, 20},
              {"Credit Limit", FieldType::Money},
              {"Customer Since", FieldType::Date},
              {"Active", FieldType::Logical},
              {"Notes", FieldType::Memo, 20}});
    // The first rows are fixed: documentation and tests refer to them.
    w.addRow({kNull, text("Café Révolution SARL"), text("Françoise Lefèvre"), text("Rue de l'Église 7"),
              text("Besançon"), text("25000"), text("France"), text("+33 3 81 52 44 10"), money(15000),
              date(1987, 3, 14), true,
              text("Livraison par la porte arrière, sonner deux fois.\r\nPrefers invoices in € — no cheques, please.")});
    Random fixed(7);
    w.addRow({kNull, text("Müller & Söhne GmbH"), text("Jürgen Müller"), text("Königstraße 12"), text("Dresden"),
              text("01067"), text("Deutschland"), text("+49 351 4812 337"), money(250000.5), date(1979, 11, 2), true,
              visitLog(fixed, 1998, 60)});
    w.addRow({kNull, text("Øresund Marine ApS"), text("Søren Østergaard"), text("Nyhavn 31"), text("København"),
              text("1050"), text("Danmark"), kNull, kNull, kNull, kNull, kNull});
    w.addRow({kNull, text("Importadora Paulista Ltda."), text("João Gonçalves"), text("Avenida Paulista 1578"),
              text("São Paulo"), text("01310-100"), text("Brasil"), text("+55 11 3251 5644"), money(0),
              date(1999, 12, 31), false, text("VIP")});

    Random random(1987);
    for (int row = 5; row <= kCustomerRows; ++row) {
        const Place& place = random.pick(places());
        const std::string company = random.pick(kCompanyNames) + " " + random.pick(kCompanyForms);
        const std::string contact = random.pick(kFirstNames) + " " + random.pick(kLastNames);
        const std::string street = random.pick(place.streets) + " " + std::to_string(random.between(1, 180));
        Value phone = random.chance(8) ? kNull : Value(phoneNumber(random, place));
        Value limit = random.chance(10) ? kNull : money(static_cast<double>(random.between(1, 100) * 500));
        Value since = random.chance(5) ? kNull
                                       : date(static_cast<int>(random.between(1975, 2004)),
                                              static_cast<int>(random.between(1, 12)),
                                              static_cast<int>(random.between(1, 28)));
        Value active = random.chance(5) ? kNull : Value(random.chance(80));
        w.addRow({kNull, company, contact, street, place.city, place.postalCode, place.country, phone, limit, since,
                  active, customerNotes(random, row)});
    }
    w.finish();
}

std::vector<FieldDef> orderFields() {
    return {{"Order No", FieldType::Long},   {"Customer No", FieldType::Long}, {"Order Date", FieldType::Date},
            {"Ship Time", FieldType::Time},  {"Entered", FieldType::Timestamp}, {"Amount", FieldType::Money},
            {"Discount", FieldType::Number}, {"Paid", FieldType::Logical},     {"Items", FieldType::Short}};
}

// Orders spread over `firstYear`..`lastYear`; one in 25 is a credit note
// (negative amount and items).
void writeOrders(const std::filesystem::path& file, int rows, int firstOrder, int firstYear, int lastYear,
                 std::uint64_t seed, int blockKiB) {
    paradoxwriter::Options options;
    options.blockKiB = blockKiB;
    Writer w(file, orderFields(), options);
    Random random(seed);
    static const std::vector<double> kDiscounts = {0.0, 0.0, 0.0, 0.05, 0.1, 0.125, 0.2};
    for (int row = 0; row < rows; ++row) {
        const int year = static_cast<int>(random.between(firstYear, lastYear));
        const int month = static_cast<int>(random.between(1, 12));
        const int day = static_cast<int>(random.between(1, 28));
        const bool credit = random.chance(4);
        const auto items = random.between(1, 40) * (credit ? -1 : 1);
        const double amount = static_cast<double>(items) * static_cast<double>(random.between(199, 25000)) / 100.0;
        const driver::Time entered{random.between(7 * 3600, 19 * 3600) * 1000 + random.between(0, 999)};
        w.addRow({integer(firstOrder + row), integer(random.between(1, kCustomerRows)), date(year, month, day),
                  random.chance(10) ? kNull : timeOfDay(static_cast<int>(random.between(8, 17)),
                                                          static_cast<int>(random.between(0, 3)) * 15, 0),
                  random.chance(5) ? kNull : Value(driver::Timestamp{{year, month, day}, entered}),
                  random.chance(3) ? kNull : money(amount), random.chance(5) ? kNull : Value(random.pick(kDiscounts)),
                  random.chance(5) ? kNull : Value(random.chance(70)), random.chance(3) ? kNull : integer(items)});
    }
    w.finish();
}

void writeParts(const std::filesystem::path& file) {
    static const std::vector<std::string> kItems = {
        "Schraube M6 verzinkt", "Écrou papillon M8", "Tornillo hexagonal 10 mm", "Kugellager 6204–2RS",
        "Möbelgriff Messing", "Ventilator Ø 120 mm", "Rondelle élastique", "Dübel für Gasbeton",
        "Kædeled ½\"", "Gångjärn rostfritt", "Parafuso auto-roscante", "Flügelmutter Edelstahl",
        "Tôle perforée 1×2 m", "Sägeblatt 250 mm", "Tiefziehteil „Spezial“"};
    paradoxwriter::Options options;
    options.languageDriver = paradoxwriter::LanguageDriver::DbWinUs0;
    options.blockKiB = 4;
    Writer w(file,
             {{"Part No", FieldType::Alpha, 10},
              {"Description", FieldType::Alpha, 40},
              {"Price", FieldType::Money},
              {"On Hand", FieldType::Short},
              {"On Order", FieldType::Long},
              {"Weight (kg)", FieldType::Number},
              {"Unit Cost", FieldType::Bcd, 4}},
             options);
    Random random(250);
    for (int row = 1; row <= kPartRows; ++row) {
        char partNo[16];
        std::snprintf(partNo, sizeof partNo, "P-%06d", row * 37);
        const auto cents = random.between(5, 250000);
        // Unit cost in ten-thousandths: about 61 % of the price.
        const auto cost = cents * 61 + random.between(0, 99);
        char costText[32];
        std::snprintf(costText, sizeof costText, "%lld.%04lld", static_cast<long long>(cost / 10000),
                      static_cast<long long>(cost % 10000));
        w.addRow({text(partNo), text(random.pick(kItems)), money(static_cast<double>(cents) / 100.0),
                  random.chance(5) ? kNull : integer(random.between(0, 30000)),
                  random.chance(30) ? kNull : integer(random.between(0, 2'000'000)),
                  random.chance(5) ? kNull : Value(static_cast<double>(random.between(1, 250000)) / 1000.0),
                  random.chance(5) ? kNull : Value(driver::Decimal{costText})});
    }
    w.finish();
}

void writeEmployees(const std::filesystem::path& file) {
    Writer w(file,
             {{"Emp No", FieldType::AutoIncrement},
              {"Last Name", FieldType::Alpha, 25},
              {"First Name", FieldType::Alpha, 20},
              {"Birth Date", FieldType::Date},
              {"Hire Date", FieldType::Date},
              {"Salary", FieldType::Money},
              {"Department", FieldType::Alpha, 20},
              {"Remarks", FieldType::Memo, 40}});
    // The founders and the early staff: dates before 1900, and the days
    // around 1900-02-29, which spreadsheets count although it never was.
    w.addRow({kNull, text("Durand-Ørsted"), text("Émile"), date(1868, 3, 14), date(1891, 6, 1), kNull,
              text("Direction"),
              text("Gründer der Firma. Begann 1891 mit einem Kontor am Hafen von Århus und einem Lager in Besançon.")});
    w.addRow({kNull, text("Durand-Ørsted"), text("Margrét"), date(1872, 9, 30), date(1891, 6, 1), kNull,
              text("Direction"), text("Mitgründerin.")});
    w.addRow({kNull, text("Schäfer"), text("Günther"), date(1899, 12, 31), date(1921, 4, 1), money(180),
              text("Lager"), kNull});
    w.addRow({kNull, text("Peña"), text("Begoña"), date(1900, 2, 28), date(1924, 1, 7), money(210.5),
              text("Buchhaltung"), kNull});
    w.addRow({kNull, text("Löwe"), text("Jörg"), date(1900, 3, 1), date(1925, 9, 15), money(199.99),
              text("Vertrieb"), kNull});
    static const std::vector<std::string> kDepartments = {"Vertrieb", "Lager", "Buchhaltung", "Einkauf",
                                                          "Service après-vente", "Logística"};
    Random random(1891);
    for (int row = 6; row <= kEmployeeRows; ++row) {
        const int born = static_cast<int>(random.between(1935, 1984));
        const int hired = std::min(2004, born + static_cast<int>(random.between(18, 40)));
        Value remarks = kNull;
        if (row % 15 == 0) remarks = visitLog(random, hired, 50);
        else if (random.chance(50)) remarks = noteText(random, static_cast<int>(random.between(1, 3)));
        w.addRow({kNull, text(random.pick(kLastNames)), text(random.pick(kFirstNames)),
                  random.chance(5) ? kNull
                                   : date(born, static_cast<int>(random.between(1, 12)),
                                          static_cast<int>(random.between(1, 28))),
                  date(hired, static_cast<int>(random.between(1, 12)), 1),
                  money(static_cast<double>(random.between(180000, 720000)) / 100.0),
                  random.chance(5) ? kNull : text(random.pick(kDepartments)), remarks});
    }
    w.finish();
}

}  // namespace

std::vector<WrittenTable> writeSampleTables(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / kArchivedOrders.parent_path());
    writeCustomers(folder / kCustomer);
    writeOrders(folder / kOrders, kOrderRows, 20001, 2000, 2004, 2000, 2);
    writeParts(folder / kParts);
    writeEmployees(folder / kEmployee);
    writeOrders(folder / kArchivedOrders, kArchivedOrderRows, 10001, 1999, 1999, 1999, 2);
    return {{kCustomer, kCustomerRows},
            {kOrders, kOrderRows},
            {kParts, kPartRows},
            {kEmployee, kEmployeeRows},
            {kArchivedOrders, kArchivedOrderRows}};
}

}  // namespace samples
