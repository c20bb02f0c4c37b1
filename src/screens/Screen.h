#pragma once
// What the three wizard screens have in common: a fixed-size top-level window
// reached through the platform's window operations, whose closing ends the program.

#include "platform/Window.h"

#include <QWidget>

#include <memory>

namespace screens {

class Wizard;

class Screen : public QWidget {
    Q_OBJECT
public:
    Screen(Wizard& wizard, int clientWidthTwips, int clientHeightTwips);

    platform::Window& window() { return *window_; }

    // Closing any screen ends the whole program.
    void Form_Unload();

protected:
    void closeEvent(QCloseEvent* event) override;

    Wizard& wizard_;
    std::unique_ptr<platform::Window> window_;
};

// Places a control by its design position and size in twips (15 to a pixel).
void placeTwips(QWidget* control, int left, int top, int width, int height);

}  // namespace screens
