#include "screens/Form3.h"

#include "screens/Form2.h"
#include "screens/Wizard.h"
#include "shell/Appearance.h"
#include "shell/ErrorReport.h"
#include "shell/Main.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace screens {

Form3::Form3(Wizard& wizard) : Screen(wizard, 8040, 5985) {
    setObjectName("Form3");
    setWindowTitle("Form4");

    PushButton2 = new QPushButton("< Back", this);
    Frame1 = new QGroupBox("Form3", this);
    DataGrid1 = new QTableView(Frame1);
    Frame2 = new QGroupBox(" Which fields do you want to send to Excel?", this);
    ListView1 = new shell::ListView(Frame2);
    PushButton5 = new QPushButton(">", Frame2);
    PushButton6 = new QPushButton(">>", Frame2);
    PushButton7 = new QPushButton("<", Frame2);
    PushButton8 = new QPushButton("<<", Frame2);
    ListView2 = new shell::ListView(Frame2);
    PushButton9 = new QPushButton("Start Importing", this);
    ProgressBar1 = new QProgressBar(this);

    for (auto [widget, name] : std::initializer_list<std::pair<QWidget*, const char*>>{
             {PushButton2, "PushButton2"}, {Frame1, "Frame1"}, {DataGrid1, "DataGrid1"},
             {Frame2, "Frame2"}, {ListView1, "ListView1"}, {PushButton5, "PushButton5"},
             {PushButton6, "PushButton6"}, {PushButton7, "PushButton7"}, {PushButton8, "PushButton8"},
             {ListView2, "ListView2"}, {PushButton9, "PushButton9"}, {ProgressBar1, "ProgressBar1"}})
        widget->setObjectName(name);

    placeTwips(PushButton2, 120, 120, 7800, 405);
    placeTwips(Frame1, 120, 570, 7800, 1845);
    placeTwips(DataGrid1, 240, 300, 7320, 1365);
    placeTwips(Frame2, 120, 2490, 7800, 2355);
    placeTwips(ListView1, 240, 330, 3240, 1845);
    placeTwips(PushButton5, 3600, 330, 615, 405);
    placeTwips(PushButton6, 3600, 810, 615, 405);
    placeTwips(PushButton7, 3600, 1290, 615, 405);
    placeTwips(PushButton8, 3600, 1770, 615, 405);
    placeTwips(ListView2, 4320, 360, 3240, 1845);
    placeTwips(PushButton9, 120, 4960, 7800, 405);
    placeTwips(ProgressBar1, 120, 5480, 7800, 405);
    const QWidget* tabOrder[] = {PushButton2, PushButton9, ProgressBar1, Frame1, DataGrid1, Frame2,
                                 PushButton8, PushButton7, PushButton6, PushButton5, ListView1, ListView2};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(const_cast<QWidget*>(tabOrder[i - 1]), const_cast<QWidget*>(tabOrder[i]));

    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DataGrid1->setTabKeyNavigation(false);  // Tab leaves the grid for the lists and buttons
    DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1->verticalHeader()->setDefaultSectionSize(18);
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    shell::ApplyFonts(this, true);
    shell::ApplyDesignColors(this);
    handOver({PushButton2, PushButton5, PushButton6, PushButton7, PushButton8, PushButton9});
    arrowOver({ListView1, ListView2, Frame1, Frame2, DataGrid1});

    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton6, &QPushButton::clicked, this, [this] { PushButton6_Click(); });
    connect(PushButton7, &QPushButton::clicked, this, [this] { PushButton7_Click(); });
    connect(PushButton8, &QPushButton::clicked, this, [this] { PushButton8_Click(); });
    connect(PushButton9, &QPushButton::clicked, this, [this] { PushButton9_Click(); });
    connect(ListView1, &shell::ListView::DblClick, this, [this] { ListView1_DblClick(); });
    connect(ListView2, &shell::ListView::DblClick, this, [this] { ListView2_DblClick(); });
}

void Form3::Form_Load() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form3.Form_Load ");
    p.step(100, [&] { shell::ApplyFormColors(this); });
    p.step(102, [&] {
        window().setCaption(kProductName);
        window().setIcon(wizard_.applicationIcon());
    });
    loadHandPointer(p, 104, 106);
    p.step(110, [&] { ListView1->addColumnHeader("Fields", 3000); });
    p.step(112, [&] { ListView1->setColumnWidth(0, 3000 / 15); });
    p.step(114, [&] { ListView2->addColumnHeader("Fields", 3000); });
    p.step(116, [&] { ListView2->setColumnWidth(0, 3000 / 15); });
}

void Form3::bindPreview(std::unique_ptr<platform::RecordsetModel> rows) {
    DataGrid1->setModel(rows.get());
    preview_ = std::move(rows);
}

void Form3::PushButton2_Click() {
    if (wizard_.importRunning) return;
    shell::Procedure p(wizard_.platform().messages, "in Vellomar2021/08/31.Form3.PushButton2_Click ");
    p.step(100, [&] { wizard_.form2().window().show(); });
    p.step(102, [&] { window().hide(); });
}

// ">" and ">>" are enabled exactly when the available list has items; "<", "<<"
// and "Start Importing" exactly when the chosen list has. The steps are
// numbered from `first`: the test, two disabling or two enabling steps, then
// the second test with three steps each way.
void Form3::applyEnablingRule(shell::Procedure& p, int first) {
    if (p.test(first, [&] { return ListView1->count() == 0; })) {
        p.step(first + 2, [&] { PushButton5->setEnabled(false); });
        p.step(first + 4, [&] { PushButton6->setEnabled(false); });
    } else {
        p.step(first + 6, [&] { PushButton5->setEnabled(true); });
        p.step(first + 8, [&] { PushButton6->setEnabled(true); });
    }
    if (p.test(first + 10, [&] { return ListView2->count() == 0; })) {
        p.step(first + 12, [&] { PushButton7->setEnabled(false); });
        p.step(first + 14, [&] { PushButton8->setEnabled(false); });
        p.step(first + 16, [&] { PushButton9->setEnabled(false); });
    } else {
        p.step(first + 18, [&] { PushButton7->setEnabled(true); });
        p.step(first + 20, [&] { PushButton8->setEnabled(true); });
        p.step(first + 22, [&] { PushButton9->setEnabled(true); });
    }
}

void Form3::moveSelected(shell::ListView& from, shell::ListView& to, const char* context) {
    if (wizard_.importRunning) return;
    shell::Procedure p(wizard_.platform().messages, context);
    if (!p.test(100, [&] { return from.count() > 0; })) return;
    if (p.test(102, [&] { return from.selectedPosition() == 0; })) {
        p.step(132, [&] { wizard_.message("Please select a field first."); });
        return;
    }
    p.step(104, [&] { to.addItem(from.itemText(from.selectedPosition())); });
    p.step(106, [&] { from.removeItem(from.selectedPosition()); });
    from.clearSelection();

    applyEnablingRule(p, 108);
}

void Form3::moveAll(shell::ListView& from, shell::ListView& to, const char* context) {
    if (wizard_.importRunning) return;
    shell::Procedure p(wizard_.platform().messages, context);
    const int count = from.count();
    for (int i = 1; i <= count; ++i) {
        p.at(100);
        p.step(102, [&] { to.addItem(from.itemText(i)); });
        p.at(104);
    }
    for (int i = count; i >= 1; --i) {
        p.at(106);
        p.step(108, [&] { from.removeItem(i); });
        p.at(110);
    }
    applyEnablingRule(p, 112);
}

void Form3::PushButton5_Click() {
    moveSelected(*ListView1, *ListView2, "in Vellomar2021/08/31.Form3.PushButton5_Click ");
}

void Form3::PushButton6_Click() {
    moveAll(*ListView1, *ListView2, "in Vellomar2021/08/31.Form3.PushButton6_Click ");
}

void Form3::PushButton7_Click() {
    moveSelected(*ListView2, *ListView1, "in Vellomar2021/08/31.Form3.PushButton7_Click ");
}

void Form3::PushButton8_Click() {
    moveAll(*ListView2, *ListView1, "in Vellomar2021/08/31.Form3.PushButton8_Click ");
}

void Form3::PushButton9_Click() {
    if (wizard_.importRunning) return;
    wizard_.importRunning = true;
    const QString built = exporting::PushButton9_Click(*this, wizard_.platform());
    if (!built.isNull()) FieldList = built;  // a run that built none keeps the last one
    wizard_.importRunning = false;
}

QStringList Form3::chosenFields() const {
    QStringList names;
    for (int i = 1; i <= ListView2->count(); ++i) names << ListView2->itemText(i);
    return names;
}

QString Form3::selectedTable() const { return wizard_.SelectedTable; }

datasource::TablePlace Form3::selectedPlace() const { return wizard_.SelectedPlace; }

QString Form3::buttonCaption() const { return PushButton9->text(); }

void Form3::setButtonCaption(const QString& caption) { PushButton9->setText(caption); }

void Form3::setProgress(int percent) { ProgressBar1->setValue(percent); }

QString Form3::applicationTitle() const { return wizard_.applicationTitle(); }

bool Form3::endRequested() const { return wizard_.endRequested; }

}  // namespace screens
