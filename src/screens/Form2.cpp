#include "screens/Form2.h"

#include "datasource/TableListView.h"
#include "screens/Form1.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"
#include "shell/Appearance.h"
#include "shell/ErrorReport.h"
#include "shell/Main.h"

#include <QPushButton>
#include <QTableView>

namespace screens {

QString PreviewQuery(const QString& table) {
    return "SELECT * FROM [" + QString(table).replace("]", "]]") + "];";
}

Form2::Form2(Wizard& wizard) : Screen(wizard, 8040, 2955) {
    setObjectName("Form2");
    setWindowTitle("Form2");
    ListView1 = new shell::ListView(this);
    PushButton2 = new QPushButton("< Back", this);
    PushButton3 = new QPushButton("Next >", this);
    ListView1->setObjectName("ListView1");
    PushButton2->setObjectName("PushButton2");
    PushButton3->setObjectName("PushButton3");

    placeTwips(ListView1, 120, 120, 7800, 2235);
    placeTwips(PushButton2, 120, 2450, 3840, 405);
    placeTwips(PushButton3, 4080, 2450, 3840, 405);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, ListView1);

    shell::ApplyFonts(this, true);
    shell::ApplyDesignColors(this);
    handOver({PushButton2, PushButton3});
    arrowOver({ListView1});

    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
}

void Form2::Form_Load() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form2.Form_Load ");
    p.step(100, [&] { shell::ApplyFormColors(this); });
    p.step(102, [&] { window().setIcon(wizard_.applicationIcon()); });
    loadHandPointer(p, 104, 106);
    p.step(108, [&] { window().setCaption(kProductName); });
    p.step(110, [&] { ListView1->addColumnHeader("Which table do you want to send to Excel?", 7550); });
    p.step(112, [&] { ListView1->setColumnWidth(0, 7550 / 15); });
    p.step(114, [&] {
        datasource::AddTablesToParadoxListbox(*ListView1, wizard_.form1().folder(), os);
    });
    p.step(116, [&] { window().setEnabled(true); });
    p.step(118, [&] { window().setMousePointer(platform::DefaultPointer); });
}

void Form2::PushButton2_Click() {
    shell::Procedure p(wizard_.platform().messages, "in Vellomar2021/08/31.Form2.PushButton2_Click ");
    p.step(100, [&] { wizard_.form1().window().show(); });
    p.step(102, [&] { window().hide(); });
}

void Form2::PushButton3_Click() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form2.PushButton3_Click ");
    platform::Connection connection;
    platform::Recordset recordset;

    if (p.test(106, [&] { return ListView1->count() == 0; })) return;
    if (p.test(108, [&] { return ListView1->selectedPosition() == 0; })) {
        p.step(174, [&] { wizard_.message("Please select a table"); });
        return;
    }
    p.step(110, [&] { window().setMousePointer(platform::BusyPointer); });
    p.step(112, [&] { connection.CursorLocation(platform::adUseClient); });
    // A table that cannot be opened (a file that is no Paradox table) is
    // reported once, and the user stays here to choose another.
    const bool opened =
        p.step(114, [&] {
            datasource::OpenTablePlace(connection, datasource::PlaceOfEntry(*ListView1, ListView1->selectedPosition()));
        }) &&
        p.step(126, [&] {
            recordset.Open(PreviewQuery(ListView1->itemText(ListView1->selectedPosition())), connection,
                           platform::adOpenDynamic, platform::adLockOptimistic);
        });
    if (!opened) {
        p.step(172, [&] { window().setMousePointer(platform::DefaultPointer); });
        return;
    }
    p.step(116, [&] {
        wizard_.SelectedTable = ListView1->itemText(ListView1->selectedPosition());
        wizard_.SelectedPlace = datasource::PlaceOfEntry(*ListView1, ListView1->selectedPosition());
    });

    p.step(118, [&] { wizard_.form3().window().show(); });
    Form3* fields = &wizard_.form3();
    shell::ListView& available = *fields->ListView1;
    shell::ListView& chosen = *fields->ListView2;

    p.step(120, [&] { available.clearItems(); });
    p.step(122, [&] { fields->bindPreview(nullptr); });
    p.step(128, [&] { fields->bindPreview(recordset.DataSource()); });

    int count = 0;
    p.step(130, [&] { count = recordset.Fields().Count(); });
    for (int i = 0; i < count; ++i) {
        p.step(132, [&] { os.process.processEvents(); });
        p.step(134, [&] { available.addItem(recordset.Fields()[i].Name()); });
    }

    if (p.test(144, [&] { return available.count() == 0; })) {
        p.step(146, [&] { fields->PushButton5->setEnabled(false); });
        p.step(148, [&] { fields->PushButton6->setEnabled(false); });
    } else {
        p.step(150, [&] { fields->PushButton5->setEnabled(true); });
        p.step(152, [&] { fields->PushButton6->setEnabled(true); });
    }
    if (p.test(154, [&] { return chosen.count() == 0; })) {
        p.step(156, [&] { fields->PushButton7->setEnabled(false); });
        p.step(158, [&] { fields->PushButton8->setEnabled(false); });
    } else {
        p.step(160, [&] { fields->PushButton7->setEnabled(true); });
        p.step(162, [&] { fields->PushButton8->setEnabled(true); });
    }
    if (p.test(164, [&] { return available.count() > 0; }))
        available.selectPosition(1);
    p.step(166, [&] { fields->DataGrid1->setFocus(); });
    p.step(168, [&] { shell::SubtractListItems(available, chosen, os.process); });
    p.step(170, [&] { window().hide(); });
    p.step(172, [&] { window().setMousePointer(platform::DefaultPointer); });
}

}  // namespace screens
