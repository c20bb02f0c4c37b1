#pragma once
// Modal message boxes.

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
};

class QtMessageBoxes : public MessageBoxes {
public:
    Answer show(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
};

}  // namespace platform
