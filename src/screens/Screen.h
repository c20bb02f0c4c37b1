#pragma once
// What the three wizard screens have in common: a fixed-size top-level window
// reached through the platform's window operations, whose closing ends the
// program, and the pointer that follows the mouse over its controls.

#include "platform/Window.h"
#include "shell/ErrorReport.h"

#include <QSet>
#include <QWidget>

#include <initializer_list>
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

    // The mouse moved over `control`: the hand over push buttons, the arrow
    // over the other controls that follow the mouse, nothing while busy.
    void MouseMove(QWidget* control);

protected:
    // When "HAND-M.CUR" lies in the program's data folder (the test, step `test`), loads
    // it as the picture of the custom pointer (step `load`).
    void loadHandPointer(shell::Procedure& p, int test, int load);
    void handOver(std::initializer_list<QWidget*> controls);
    void arrowOver(std::initializer_list<QWidget*> controls);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Return (or Enter) presses the push button that has the focus.
    void keyPressEvent(QKeyEvent* event) override;

    Wizard& wizard_;
    std::unique_ptr<platform::Window> window_;

private:
    void follow(QWidget* control);
    QSet<QObject*> hand_;
    QSet<QObject*> arrow_;
};

// Places a control by its design position and size in twips (15 to a pixel).
void placeTwips(QWidget* control, int left, int top, int width, int height);

}  // namespace screens
