#pragma once
// The connection set-up screen and the program's start-up window.

#include "screens/Screen.h"

#include <exception>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace screens {

class Form1 : public Screen {
    Q_OBJECT
public:
    explicit Form1(Wizard& wizard);

    // Start-up: pointer picture, remembered folder, caption, icon and title.
    void Form_Load();
    // True when the load showed another screen instead of this one.
    bool handedOver() const { return handedOver_; }

    // Saves every change of the folder box under "ParadoxFile".
    void Text1_Change();
    void Text1_GotFocus();

    // Sets the folder box; a failure to save the new text reaches the caller.
    void setFolder(const QString& folder);
    QString folder() const;

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
};

}  // namespace screens
