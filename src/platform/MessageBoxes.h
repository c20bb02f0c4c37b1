#pragma once
// Modal message boxes, each wide enough to show its title.

#include <QString>

class QWidget;

namespace platform {

enum class Buttons { Ok, YesNo };
enum class Icon { None, Exclamation };
enum class Answer { Ok, Yes, No };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows one box and returns the button pressed (closing a Yes/No box counts as No).
    virtual Answer show(const QString& text, const QString& title, Buttons buttons,
                        Icon icon = Icon::None) = 0;
    // An OK box kept above every other window, those of other programs too
    // (the spreadsheet that has just been opened), until it is closed; when
    // the spreadsheet's window takes the keyboard while it starts, the box
    // takes it back.
    virtual void showInFront(const QString& text, const QString& title) { show(text, title, Buttons::Ok); }
    // A box that does not wait and does not take the keyboard: what the user
    // is typing goes on arriving where it was. Closed with its OK button.
    virtual void notify(const QString& text, const QString& title) { show(text, title, Buttons::Ok); }
};

class QtMessageBoxes : public MessageBoxes {
public:
    Answer show(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    void showInFront(const QString& text, const QString& title) override;
    void notify(const QString& text, const QString& title) override;
};

}  // namespace platform
