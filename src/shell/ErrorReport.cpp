#include "shell/ErrorReport.h"

namespace shell {

QString ErrorReportText(const QString& description, const QString& context, int step) {
    return description + "\r\n" + context + "at line " + QString::number(step) + "\r\r" +
           "Please email screenshot of this message to " + kSupportAddress;
}

void ShowErrorReport(platform::MessageBoxes& boxes, const QString& description,
                     const QString& context, int step) {
    boxes.show(ErrorReportText(description, context, step), QStringLiteral("Application Error"),
               platform::Buttons::Ok, platform::Icon::Exclamation);
}

void Procedure::report(const QString& description) {
    ShowErrorReport(boxes_, description, context_, current_);
}

}  // namespace shell
