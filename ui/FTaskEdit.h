#pragma once

#include "scheduler/classQMTask.h"

#include <QDialog>

#include <array>
#include <memory>

class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QFileDialog;
class QFrame;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTimeEdit;
class QTimer;

// The modal editor of one task. The caller fills Task() before exec() when a
// task is modified and reads it back when exec() returns QDialog::Accepted
// ("Save"); every other way of closing returns something else. The controls
// are written back into Task() on every close.
class TFormTaskEdit : public QDialog {
    Q_OBJECT

public:
    explicit TFormTaskEdit(QWidget* parent = nullptr);
    ~TFormTaskEdit() override;

    // The working task, owned by the dialog.
    TQMTask& Task() { return *FTask; }
    const TQMTask& Task() const { return *FTask; }

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Design pixels (96 dpi, 8-point font) to pixels for the dialog's font.
    int Px(int designPixels) const;
    void CreateControls();
    void PlaceControls();
    void SetTabOrder();
    // CheckMonday ... CheckSunday.
    std::array<QCheckBox*, 7> WeekdayBoxes() const;

    // Event handlers.
    void FormShow();
    void ButtonSaveClick();
    void ButtonCancelClick();
    // True when the key may reach the name box.
    static bool EditTaskNameKeyPress(const QKeyEvent& key);
    void CheckMondayClick();
    void PickerDateClick();
    void Button1Click();
    void ButtonFileClick();
    void ButtonStartInClick();

    void TaskToControls();
    void ControlsToTask();
    bool ValidateInput();

    // Shows the hint on the name box's characters for a while, or hides it.
    void ShowNameHint(bool show);

    // Selects one option button (clearing the others) or, with false, clears it.
    void SetOption(QRadioButton* radio, bool selected);

    std::unique_ptr<TQMTask> FTask;
    bool FShown = false;
    double FScale = 1.0;

    QFrame* PanelBottom = nullptr;
    QPushButton* ButtonSave = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QScrollArea* ScrollMain = nullptr;
    QFrame* PanelMain = nullptr;
    QFrame* Panel6 = nullptr;
    QRadioButton* RadioOne_Shot = nullptr;
    QDateEdit* PickerDate = nullptr;
    QRadioButton* RadioDaily = nullptr;
    QRadioButton* RadioWeekly = nullptr;
    QButtonGroup* Options = nullptr;
    QCheckBox* CheckMonday = nullptr;
    QCheckBox* CheckTuesday = nullptr;
    QCheckBox* CheckWednesday = nullptr;
    QCheckBox* CheckThursday = nullptr;
    QCheckBox* CheckFriday = nullptr;
    QCheckBox* CheckSaturday = nullptr;
    QCheckBox* CheckSunday = nullptr;
    QLabel* Label4 = nullptr;
    QTimeEdit* PickerTime = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* EditDateTime_LastExecuted = nullptr;
    QPushButton* Button1 = nullptr;
    QFrame* Panel5 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* EditTaskName = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EditTaskFileName = nullptr;
    QPushButton* ButtonFile = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EditTaskParameters = nullptr;
    QCheckBox* CheckActive = nullptr;
    // Settings beyond the design's, in one group below it.
    QGroupBox* GroupBoxOptions = nullptr;
    QCheckBox* CheckCatchUp = nullptr;
    QCheckBox* CheckTimeLimit = nullptr;
    QSpinBox* EditTimeLimit = nullptr;
    QLabel* LabelTimeLimitUnit = nullptr;
    QLabel* LabelStartIn = nullptr;
    QLineEdit* EditStartIn = nullptr;
    QPushButton* ButtonStartIn = nullptr;
    // Under the name box while it refuses a typed character.
    QLabel* LabelNameHint = nullptr;
    QTimer* NameHintTimer = nullptr;
    // Created on first use: building a file dialog starts a file-system watcher.
    QFileDialog* OpenDialog1 = nullptr;
};
