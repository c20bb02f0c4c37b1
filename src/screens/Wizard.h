#pragma once
// The wizard: its three screens (each created on first use, then only shown and
// hidden until the program ends) and the state they share.

#include "datasource/TablePlace.h"
#include "platform/Platform.h"

#include <QIcon>
#include <QString>

#include <memory>

namespace screens {

class Form1;
class Form2;
class Form3;

inline const QString kProductName = QStringLiteral("Vellomar");

class Wizard {
public:
    explicit Wizard(platform::Platform& platform);
    ~Wizard();

    // Creates and loads the start-up screen, then shows it unless its load
    // handed over to another screen.
    void start();

    // Each screen is created and loaded the first time it is touched.
    Form1& form1();
    Form2& form2();
    Form3& form3();

    platform::Platform& platform() { return platform_; }

    // The title of every message box that has none of its own.
    const QString& applicationTitle() const { return applicationTitle_; }
    void SetApplicationTitle(const QString& productName);

    // A plain message: OK only, no icon, the application title.
    void message(const QString& text);

    QIcon applicationIcon() const;
    // A file in the program's data folder.
    QString programFile(const QString& name) const;

    // The table chosen on the table selection screen: its entry's text, and
    // the place that opens it.
    QString SelectedTable;
    datasource::TablePlace SelectedPlace;

    // True while an import runs. Closing a window then does not end the
    // program at once: it sets endRequested, and the run stops, removes its
    // unfinished workbook and ends the program itself.
    bool importRunning = false;
    bool endRequested = false;

private:
    platform::Platform& platform_;
    QString applicationTitle_;
    std::unique_ptr<Form1> form1_;
    std::unique_ptr<Form2> form2_;
    std::unique_ptr<Form3> form3_;
};

}  // namespace screens
