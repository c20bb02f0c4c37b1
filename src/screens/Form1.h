#pragma once
// The connection set-up screen and the program's start-up window: the user
// names the folder of Paradox tables, tests it and moves on.

#include "datasource/Paradox.h"
#include "screens/Screen.h"

#include <exception>
#include <optional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace screens {

class Form1 : public Screen, public datasource::FolderBox {
    Q_OBJECT
public:
    explicit Form1(Wizard& wizard);

    // Start-up: skin, pointer picture, remembered folder, caption, icon and
    // title; hands over to the table selection screen when the remembered
    // folder still exists.
    void Form_Load();
    // True when the load showed another screen instead of this one.
    bool handedOver() const { return handedOver_; }

    void PushButton1_Click();  // "Load Sample/Example Database"
    void PushButton2_Click();  // "Test Connection"
    void PushButton3_Click();  // "Next >"
    void PushButton5_Click();  // "..."

    // Saves every change of the folder box under "ParadoxFile".
    void Text1_Change();
    void Text1_GotFocus();

    // The folder box. Setting it saves the new text; a failure to save
    // reaches the caller.
    QString folder() const override;
    void setFolder(const QString& folder) override;

    QGroupBox* Frame1;
    QLabel* Label2;
    QLineEdit* Text1;
    QPushButton* PushButton5;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handedOver_ = false;
    // A failure of the change procedure while the program itself set the box.
    std::exception_ptr changeFailure_;
    bool settingFolder_ = false;
    // The folder the settings store holds, when known: setting the box to it
    // again writes nothing.
    std::optional<QString> stored_;
    // A failure to save the folder has been told; it is told once a run.
    bool storeFailureTold_ = false;
};

}  // namespace screens
