#pragma once
// The field selection and preview screen: the user moves field names between
// the available and the chosen list while a grid previews the table.

#include "export/ImportRun.h"
#include "platform/RecordsetModel.h"
#include "screens/Screen.h"
#include "shell/ErrorReport.h"
#include "shell/ListView.h"

#include <memory>

class QGroupBox;
class QProgressBar;
class QPushButton;
class QTableView;

namespace screens {

class Form3 : public Screen, public exporting::ImportScreen {
    Q_OBJECT
public:
    explicit Form3(Wizard& wizard);

    void Form_Load();
    void PushButton2_Click();  // "< Back"
    void PushButton5_Click();  // ">"
    void PushButton6_Click();  // ">>"
    void PushButton7_Click();  // "<"
    void PushButton8_Click();  // "<<"
    void PushButton9_Click();  // "Start Importing", then "Exit"
    void ListView1_DblClick() { PushButton5_Click(); }
    void ListView2_DblClick() { PushButton7_Click(); }

    // Shows `rows` in the preview grid (nothing: an empty grid). The grid owns
    // the model from then on.
    void bindPreview(std::unique_ptr<platform::RecordsetModel> rows);

    // What the import run reads and shows.
    QStringList chosenFields() const override;
    QString selectedTable() const override;
    datasource::TablePlace selectedPlace() const override;
    QString buttonCaption() const override;
    void setButtonCaption(const QString& caption) override;
    void setProgress(int percent) override;
    platform::Window& window() override { return Screen::window(); }
    QString applicationTitle() const override;
    bool endRequested() const override;

    // The text of the last import's field list.
    QString FieldList;

    QPushButton* PushButton2;
    QGroupBox* Frame1;
    QTableView* DataGrid1;
    QGroupBox* Frame2;
    shell::ListView* ListView1;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    shell::ListView* ListView2;
    QPushButton* PushButton9;
    QProgressBar* ProgressBar1;

private:
    void applyEnablingRule(shell::Procedure& p, int first);
    void moveSelected(shell::ListView& from, shell::ListView& to, const char* context);
    void moveAll(shell::ListView& from, shell::ListView& to, const char* context);

    // While an import runs (Wizard::importRunning), the buttons that would
    // start another run or change the fields or the table do nothing.
    std::unique_ptr<platform::RecordsetModel> preview_;
};

}  // namespace screens
