#include "screens/Form1.h"

#include "datasource/TableListView.h"
#include "export/IsInstalled.h"
#include "folders/AddFolder.h"
#include "screens/Form2.h"
#include "screens/Wizard.h"
#include "shell/Appearance.h"
#include "shell/ErrorReport.h"
#include "shell/Main.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace screens {

namespace {
const QString kFolderKey = QStringLiteral("ParadoxFile");
const QString kBrowseStartKey = QStringLiteral("LastFolderDot");
}  // namespace

Form1::Form1(Wizard& wizard) : Screen(wizard, 8040, 2115) {
    setObjectName("Form1");
    setWindowTitle("Setup Connections");

    Frame1 = new QGroupBox("Paradox Database", this);
    Label2 = new QLabel("Paradox Folder:", Frame1);
    Text1 = new QLineEdit(Frame1);
    PushButton5 = new QPushButton("...", Frame1);
    PushButton1 = new QPushButton("Load Sample/Example Database", Frame1);
    PushButton2 = new QPushButton("Test Connection", Frame1);
    PushButton3 = new QPushButton("Next >", this);

    Frame1->setObjectName("Frame1");
    Label2->setObjectName("Label2");
    Text1->setObjectName("Text1");
    PushButton5->setObjectName("PushButton5");
    PushButton1->setObjectName("PushButton1");
    PushButton2->setObjectName("PushButton2");
    PushButton3->setObjectName("PushButton3");

    placeTwips(Frame1, 120, 120, 7800, 1350);
    placeTwips(Label2, 240, 345, 1455, 255);
    placeTwips(Text1, 1680, 300, 5055, 345);
    placeTwips(PushButton5, 6825, 300, 720, 345);
    placeTwips(PushButton1, 240, 780, 3600, 405);
    placeTwips(PushButton2, 3960, 780, 3600, 405);
    placeTwips(PushButton3, 120, 1600, 7800, 405);
    setTabOrder(Text1, PushButton5);
    setTabOrder(PushButton5, PushButton2);
    setTabOrder(PushButton2, PushButton3);
    setTabOrder(PushButton3, Frame1);
    setTabOrder(Frame1, PushButton1);

    shell::ApplyFonts(this, false);
    shell::ApplyDesignColors(this);
    handOver({PushButton1, PushButton2, PushButton3, PushButton5});
    arrowOver({Frame1, Text1});

    connect(Text1, &QLineEdit::textChanged, this, [this] { Text1_Change(); });
    Text1->installEventFilter(this);
    connect(PushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    connect(PushButton2, &QPushButton::clicked, this, [this] { PushButton2_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
}

void Form1::Form_Load() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form1.Form_Load ");

    p.step(102, [&] { shell::LoadSkin(this, os.files, os.process.dataFolder()); });

    loadHandPointer(p, 122, 124);

    p.step(126, [&] {
        stored_ = os.settings.GetSetting(shell::kSettingsApplication, shell::kSettingsSection, kFolderKey, QString());
        setFolder(*stored_);
    });

    p.step(128, [&] {
        window().setCaption(kProductName);
        window().setIcon(wizard_.applicationIcon());
        wizard_.SetApplicationTitle(kProductName);
    });

    if (p.test(130, [&] { return shell::PathExists(os.files, folder()); })) {
        p.step(132, [&] { wizard_.form2().window().show(); });
        p.step(134, [&] { handedOver_ = true; });
    }
    p.step(136, [&] { exporting::CheckExcelInstalled(os, wizard_.applicationTitle()); });
}

void Form1::PushButton5_Click() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form1.PushButton5_Click ");
    QString chosen;
    p.step(100, [&] {
        const QString start = os.settings.GetSetting(shell::kSettingsApplication,
                                                     shell::kSettingsSection, kBrowseStartKey, QString());
        chosen = folders::BrowseForFolder(os, this, "Please select folder:", start);
    });
    if (p.test(102, [&] { return chosen.isEmpty(); })) return;
    p.step(104, [&] { setFolder(chosen); });
    p.step(106, [&] { datasource::CopyDB(false, *this, os, wizard_.applicationTitle()); });
}

void Form1::PushButton1_Click() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form1.PushButton1_Click ");
    p.step(100, [&] { setFolder(os.process.dataFolder() + "/Samples"); });
    p.step(102, [&] { datasource::CopyDB(true, *this, os, wizard_.applicationTitle()); });
}

void Form1::PushButton2_Click() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form1.PushButton2_Click ");
    p.step(100, [&] { datasource::CopyDB(false, *this, os, wizard_.applicationTitle()); });
    bool hasTables = false;
    p.step(102, [&] { hasTables = datasource::ParadoxFolderHasTables(os, folder()); });
    if (p.test(104, [&] { return hasTables; }))
        wizard_.message("Connection successful.");
    else
        p.step(106, [&] { wizard_.message("Could not connect."); });
}

void Form1::PushButton3_Click() {
    platform::Platform& os = wizard_.platform();
    shell::Procedure p(os.messages, "in Vellomar2021/08/31.Form1.PushButton3_Click ");
    p.step(100, [&] { datasource::CopyDB(false, *this, os, wizard_.applicationTitle()); });
    bool hasTables = false;
    p.step(102, [&] { hasTables = datasource::ParadoxFolderHasTables(os, folder()); });
    if (p.test(104, [&] { return !hasTables; })) {
        wizard_.message("Could not connect.");
        return;
    }
    p.step(106, [&] { datasource::AddTablesToParadoxListbox(*wizard_.form2().ListView1, folder(), os); });
    p.step(108, [&] { wizard_.form2().window().show(); });
    p.step(110, [&] { window().hide(); });
}

void Form1::Text1_Change() {
    const QString text = folder();
    if (stored_ && *stored_ == text) return;  // already what the store holds
    try {
        wizard_.platform().settings.SaveSetting(shell::kSettingsApplication,
                                                shell::kSettingsSection, kFolderKey, text);
        stored_ = text;
    } catch (const std::exception& e) {
        stored_.reset();
        // Told once a run, since the folder would otherwise be forgotten
        // silently. The program set the box: its caller's report tells it.
        // The user typed: a box that leaves the keyboard with the folder box.
        if (std::exchange(storeFailureTold_, true)) return;
        if (settingFolder_)
            changeFailure_ = std::current_exception();
        else
            wizard_.platform().messages.notify(
                QString::fromUtf8(e.what()) + "\r\nThe folder you choose will not be remembered for the next start.",
                wizard_.applicationTitle());
    }
}

void Form1::setFolder(const QString& folder) {
    changeFailure_ = nullptr;
    settingFolder_ = true;
    Text1->setText(folder);
    settingFolder_ = false;
    if (changeFailure_) std::rethrow_exception(std::exchange(changeFailure_, nullptr));
}

QString Form1::folder() const { return Text1->text(); }

void Form1::Text1_GotFocus() { Text1->selectAll(); }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Select the whole text after the click that gave the focus has placed the cursor.
    if (watched == Text1 && event->type() == QEvent::FocusIn)
        QTimer::singleShot(0, Text1, [this] { Text1_GotFocus(); });
    return Screen::eventFilter(watched, event);
}

}  // namespace screens
