#pragma once
// The running program: where it and its files live, letting pending window
// events run, ending it.

#include <QElapsedTimer>
#include <QString>

namespace platform {

class Process {
public:
    virtual ~Process() = default;
    // The folder that holds the program's executable, without a trailing "/".
    virtual QString programFolder() const = 0;
    // The folder of the program's own files (the folder "Samples", the pointer
    // "HAND-M.CUR", the skin "x/o.cjs"), without a trailing "/": DataFolderOf
    // the program's folder.
    virtual QString dataFolder() const = 0;
    // The home folder of the user the program runs for ($HOME, else the user's
    // entry in the password database); "" when there is none.
    virtual QString homeFolder() const = 0;
    // Lets the window system handle pending events (repaint, input), then returns.
    virtual void processEvents() = 0;
    // Ends the program at once: no window sees another event and nothing is saved.
    // A test double records the call and returns.
    virtual void end() = 0;
};

// Where the program's files lie for an executable in `programFolder`: that
// folder itself when it holds the folder "Samples" (the build tree), else
// "<programFolder>/../share/vellomar" when that folder exists (an installation
// under any prefix), else `programFolder` again.
QString DataFolderOf(const QString& programFolder);

// Hands over to the event loop at most every few milliseconds: often enough
// for the window to repaint and answer input, rarely enough that a long loop
// that yields at every step does not spend its time in the event loop.
class QtProcess : public Process {
public:
    QtProcess();
    QString programFolder() const override;
    QString dataFolder() const override;
    QString homeFolder() const override;
    void processEvents() override;
    [[noreturn]] void end() override;

private:
    QElapsedTimer sinceEvents_;
};

}  // namespace platform
