#pragma once
// The one error report every working procedure shows, and the numbered-step
// mechanism that gives a procedure its report.
//
//   Procedure p(boxes, "in Vellomar2021/08/31.Form1.PushButton2_Click ");
//   p.step(100, [&] { CopyDB(false); });
//   bool found = false;
//   p.step(102, [&] { found = ParadoxFolderHasTables(); });
//   if (p.test(104, [&] { return found; })) ...
//
// A step that throws is reported with the procedure's context and the step's
// number, and the procedure goes on with its next step. Helpers without a
// report of their own simply throw; the step that called them reports. A
// procedure with its own Procedure never lets a failure reach its caller.

#include "platform/MessageBoxes.h"

#include <QString>

#include <exception>
#include <utility>

namespace shell {

inline const QString kSupportAddress = QStringLiteral("support@quillmark.example");

void ShowErrorReport(platform::MessageBoxes& boxes, const QString& description,
                     const QString& context, int step);

// The report's text, exactly as the box shows it.
QString ErrorReportText(const QString& description, const QString& context, int step);

class Procedure {
public:
    Procedure(platform::MessageBoxes& boxes, QString context)
        : boxes_(boxes), context_(std::move(context)) {}

    // Runs one numbered step. Returns false when it failed (after the report).
    template <class F>
    bool step(int number, F&& body) {
        current_ = number;
        try {
            std::forward<F>(body)();
            return true;
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QStringLiteral("Unknown error"));
        }
        return false;
    }

    // A numbered condition test. A test that fails counts as holding, so the
    // procedure goes on with the branch that runs when the condition holds.
    template <class F>
    bool test(int number, F&& condition) {
        bool holds = true;
        step(number, [&] { holds = std::forward<F>(condition)(); });
        return holds;
    }

    // Marks the start of a numbered step without running it through step():
    // for a step that cannot fail by itself, or for the steps inside a larger
    // one in a loop whose every pass must stay cheap, where a failure is
    // reported by the enclosing step with the number marked last.
    void at(int number) { current_ = number; }

    int current() const { return current_; }
    const QString& context() const { return context_; }

private:
    void report(const QString& description);

    platform::MessageBoxes& boxes_;
    QString context_;
    int current_ = 0;
};

}  // namespace shell
