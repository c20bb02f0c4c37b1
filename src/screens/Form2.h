#pragma once
// The table selection screen: the tables found under the folder; "Next >"
// opens the chosen one and fills the field selection screen.

#include "screens/Screen.h"
#include "shell/ListView.h"

class QPushButton;

namespace screens {

class Form2 : public Screen {
    Q_OBJECT
public:
    explicit Form2(Wizard& wizard);

    void Form_Load();
    void PushButton2_Click();  // "< Back"
    void PushButton3_Click();  // "Next >"

    shell::ListView* ListView1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
};

// The preview query for a table; a "]" in the name is doubled so that any
// name makes a well-formed query.
QString PreviewQuery(const QString& table);

}  // namespace screens
