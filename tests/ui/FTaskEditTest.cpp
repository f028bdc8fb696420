#include "ui/FTaskEdit.h"

#include "ModalHelper.h"
#include "tests/support/TestSupport.h"
#include "ui/QtDateTime.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

using testing_support::Child;
using testing_support::MakeDateTime;
using testing_support::ModalHelper;

namespace {

// Clicks a check box or option button on its indicator.
void ClickBox(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(4, box->height() / 2));
}

const char* const WeekdayBoxes[] = {"CheckMonday",   "CheckTuesday", "CheckWednesday",
                                    "CheckThursday", "CheckFriday",  "CheckSaturday",
                                    "CheckSunday"};

class TaskEditTest : public ::testing::Test {
protected:
    // Created an hour after the start of 2026-12-07 09:15:30.250.
    testing_support::TestClock clock{MakeDateTime(2026, 12, 7, 10, 15, 30, 250)};
    testing_support::ScopedRegional regional{testing_support::EnglishUS()};
    TFormTaskEdit form;

    QLineEdit* Edit(const char* name) { return Child<QLineEdit>(&form, name); }
    QRadioButton* Radio(const char* name) { return Child<QRadioButton>(&form, name); }
    QCheckBox* Check(const char* name) { return Child<QCheckBox>(&form, name); }
    QPushButton* Button(const char* name) { return Child<QPushButton>(&form, name); }

    // Which option is selected: "" for none, several joined by '+'.
    QString Selected() {
        QStringList on;
        for (const char* name : {"RadioOne_Shot", "RadioDaily", "RadioWeekly"})
            if (Radio(name)->isChecked())
                on << QString::fromLatin1(name);
        return on.join(QLatin1Char('+'));
    }

    // Shows the form, fills name and path, and presses Save.
    void SaveWith(const QString& name, const QString& path) {
        form.show();
        Edit("EditTaskName")->setText(name);
        Edit("EditTaskFileName")->setText(path);
        QTest::mouseClick(Button("ButtonSave"), Qt::LeftButton);
    }
};

} // namespace

TEST_F(TaskEditTest, NewTaskOpensWithNoFrequencyActiveAndNeverRun) {
    // The design selects "Weekly"; a task without a frequency must clear it.
    EXPECT_TRUE(Radio("RadioWeekly")->isChecked());
    form.show();
    EXPECT_EQ(Selected(), "");
    EXPECT_TRUE(Check("CheckActive")->isChecked());
    for (const char* day : WeekdayBoxes)
        EXPECT_FALSE(Check(day)->isChecked()) << day;
    EXPECT_EQ(Edit("EditTaskName")->text(), "");
    EXPECT_EQ(Edit("EditTaskFileName")->text(), "");
    EXPECT_EQ(Edit("EditTaskParameters")->text(), "");
    EXPECT_EQ(Edit("EditDateTime_LastExecuted")->text(), "unknown");
    EXPECT_TRUE(Edit("EditDateTime_LastExecuted")->isReadOnly());
    EXPECT_EQ(Child<QTimeEdit>(&form, "PickerTime")->time(), QTime(9, 15, 30, 250));
    EXPECT_EQ(Child<QDateEdit>(&form, "PickerDate")->date(), QDate(2026, 12, 7));

    ModalHelper modal;
    modal.AnswerMessage("OK");
    QTest::mouseClick(Button("ButtonSave"), Qt::LeftButton);
    EXPECT_EQ(modal.Texts(), QStringList{"Task name is empty"});
    EXPECT_TRUE(modal.Unexpected().isEmpty()) << modal.Unexpected().join('\n').toStdString();
    EXPECT_TRUE(form.isVisible());
}

TEST_F(TaskEditTest, SaveChecksNameThenPathThenPeriodAndKeepsTheInput) {
    ModalHelper modal;
    for (int i = 0; i < 3; ++i)
        modal.AnswerMessage("OK");
    // Blanks and control characters count as empty; the key filter is not
    // the only way text gets in (pasting through the context menu).
    SaveWith(" \t ", "/bin/true");
    SaveWith("Backup", "  ");
    SaveWith("Backup", "/no/such/program");
    EXPECT_EQ(modal.Texts(), (QStringList{"Task name is empty", "Program location is empty",
                                          "No period has been selected"}));
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Edit("EditTaskName")->text(), "Backup");
    EXPECT_EQ(Edit("EditTaskFileName")->text(), "/no/such/program");

    // A weekly task without weekdays and a path that names no file both pass.
    ClickBox(Radio("RadioWeekly"));
    Edit("EditTaskName")->setText("my task-1");
    QTest::mouseClick(Button("ButtonSave"), Qt::LeftButton);
    EXPECT_TRUE(modal.Unexpected().isEmpty());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_TRUE(form.Task().Weekly);
    EXPECT_FALSE(form.Task().Daily || form.Task().OneShot);
    EXPECT_EQ(form.Task().TaskName, "my task-1");
    EXPECT_EQ(form.Task().TaskFileName, "/no/such/program");
}

TEST_F(TaskEditTest, NameBoxTakesOnlyLettersDigitsDotAndUnderscore) {
    form.show();
    QLineEdit* name = Edit("EditTaskName");
    QTest::keyClicks(name, "my task-1");
    EXPECT_EQ(name->text(), "mytask1");
    QTest::keyClicks(name, "A.b_Z9");
    QTest::keyClick(name, Qt::Key_Eacute, Qt::NoModifier);
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("\u00e9"));
    QApplication::sendEvent(name, &accented);
    // Nor through an input method's composed text.
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("\u00e9"));
    QApplication::sendEvent(name, &composed);
    EXPECT_EQ(name->text(), "mytask1A.b_Z9");
    QInputMethodEvent plain;
    plain.setCommitString(QStringLiteral("_2"));
    QApplication::sendEvent(name, &plain);
    EXPECT_EQ(name->text(), "mytask1A.b_Z9_2");
    name->setText(QStringLiteral("mytask1A.b_Z9"));

    // Keys without a character still edit; backspace is a character that passes.
    QTest::keyClick(name, Qt::Key_Home);
    QTest::keyClick(name, Qt::Key_Delete);
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClick(name, Qt::Key_Backspace);
    QTest::keyClick(name, Qt::Key_Left);
    QTest::keyClick(name, Qt::Key_Left);
    QTest::keyClicks(name, "x");
    EXPECT_EQ(name->text(), "ytask1A.bx_Z");
    // X11 and Wayland keyboards give the Delete key the text "\x7f".
    QTest::keyClick(name, Qt::Key_Home);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(name, &del);
    EXPECT_EQ(name->text(), "task1A.bx_Z");
    name->setText(QStringLiteral("ytask1A.bx_Z"));

    // Pasting with Ctrl+V would let anything in: it is dropped, while the
    // other boxes paste as usual.
    QApplication::clipboard()->setText(QStringLiteral("a b-c"));
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(name->text(), "ytask1A.bx_Z");
    QLineEdit* parameters = Edit("EditTaskParameters");
    QTest::keyClick(parameters, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(parameters->text(), "a b-c");

    // Enter and Escape in the name box neither type nor close the dialog.
    QTest::keyClick(name, Qt::Key_Return);
    QTest::keyClick(name, Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(name->text(), "ytask1A.bx_Z");
}

TEST_F(TaskEditTest, RefusedCharactersShowAHintUnderTheNameBoxUntilTheNextAcceptedOne) {
    form.show();
    QLineEdit* name = Edit("EditTaskName");
    auto* hint = Child<QLabel>(&form, "LabelNameHint");
    QTest::keyClicks(name, "my");
    EXPECT_FALSE(hint->isVisible());
    QTest::keyClick(name, Qt::Key_Space);
    ASSERT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "A task name takes only letters A-Z, digits, \".\" and \"_\".");
    // Under the box, inside the dialog, in front of the controls below.
    const QRect box(name->mapTo(&form, QPoint(0, 0)), name->size());
    EXPECT_GE(hint->y(), box.bottom());
    EXPECT_LE(hint->geometry().right(), form.width());
    EXPECT_EQ(form.childAt(hint->geometry().center()), hint);
    // Keys that type nothing leave it; the next accepted character hides it.
    QTest::keyClick(name, Qt::Key_Left);
    EXPECT_TRUE(hint->isVisible());
    QTest::keyClick(name, Qt::Key_T);
    EXPECT_FALSE(hint->isVisible());
    QTest::keyClick(name, Qt::Key_Minus);
    EXPECT_TRUE(hint->isVisible());
    QTest::keyClick(name, Qt::Key_Backspace);
    EXPECT_FALSE(hint->isVisible());
    EXPECT_EQ(name->text(), "my");
    // Enter is no character the user meant to type.
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_FALSE(hint->isVisible());
    // Left alone, the hint goes after a few seconds.
    QTest::keyClick(name, Qt::Key_Space);
    EXPECT_TRUE(hint->isVisible());
    ASSERT_TRUE(testing_support::WaitUntil([&] { return !hint->isVisible(); }));
}

TEST_F(TaskEditTest, NeverShrinksSoFarThatSaveAndCancelHide) {
    form.show();
    form.resize(120, 80);
    QApplication::processEvents();
    for (const char* name : {"ButtonSave", "ButtonCancel"}) {
        QPushButton* button = Button(name);
        const QRect shown(button->mapTo(&form, QPoint(0, 0)), button->size());
        EXPECT_TRUE(form.rect().contains(shown)) << name;
    }
}

TEST_F(TaskEditTest, TabGoesSaveCancelThenTheTaskThenTheScheduleThenTheNewSettings) {
    // The option buttons are one stop, at the selected one (Weekly for none).
    for (const auto& [daily, option] : {std::pair{false, "RadioWeekly"}, {true, "RadioDaily"}}) {
        TFormTaskEdit dialog;
        dialog.Task().Daily = daily;
        dialog.show();
        ASSERT_TRUE(testing_support::WaitUntil([&] {
            dialog.activateWindow();
            return dialog.isActiveWindow();
        }));
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), "EditTaskName");
        // Pickers take a Tab per field: each control counts once.
        QStringList stops;
        for (int i = 0; i < 100 && (stops.isEmpty() || stops.back() != "EditTaskName"); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QString name = QApplication::focusWidget()->objectName();
            if (stops.isEmpty() || stops.back() != name)
                stops << name;
        }
        EXPECT_EQ(stops.join(' '),
                  QStringLiteral("EditTaskFileName ButtonFile EditTaskParameters %1 PickerDate "
                                 "PickerTime CheckMonday CheckTuesday CheckWednesday CheckThursday "
                                 "CheckFriday CheckSaturday CheckSunday EditDateTime_LastExecuted "
                                 "Button1 CheckActive CheckCatchUp CheckTimeLimit EditStartIn "
                                 "ButtonStartIn ButtonSave ButtonCancel EditTaskName")
                      .arg(QLatin1String(option)));
    }
}

TEST_F(TaskEditTest, EnterAndEscapeDoNotCloseButTheCloseBoxDoesWithoutOk) {
    form.show();
    QSignalSpy finished(&form, &QDialog::finished);
    for (QWidget* target : std::initializer_list<QWidget*>{
             Edit("EditTaskFileName"), Check("CheckActive"), Button("ButtonSave"), &form}) {
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(target, Qt::Key_Escape);
    }
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(finished.count(), 0);
    for (const char* name : {"ButtonSave", "ButtonCancel", "Button1", "ButtonFile"}) {
        EXPECT_FALSE(Button(name)->isDefault()) << name;
        EXPECT_FALSE(Button(name)->autoDefault()) << name;
    }

    // The close box ends the dialog without OK, and the controls still reach
    // the working task.
    Edit("EditTaskName")->setText("changed");
    form.close();
    EXPECT_FALSE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(form.Task().TaskName, "changed");
}

TEST_F(TaskEditTest, TickingAWeekdaySelectsWeeklyButOpeningADailyTaskWithWeekdaysKeepsDaily) {
    form.Task().Daily = true;
    form.Task().Tuesday = true;
    form.Task().Saturday = true;
    form.show();
    EXPECT_EQ(Selected(), "RadioDaily");
    EXPECT_TRUE(Check("CheckTuesday")->isChecked());
    EXPECT_TRUE(Check("CheckSaturday")->isChecked());

    // Unticking a box is a click too.
    ClickBox(Check("CheckSaturday"));
    EXPECT_EQ(Selected(), "RadioWeekly");
    EXPECT_FALSE(Check("CheckSaturday")->isChecked());

    // Clicking the date picker selects "Once at date"; the pickers and boxes
    // stay usable whatever is selected.
    auto* picker = Child<QDateEdit>(&form, "PickerDate");
    QLineEdit* dateText = picker->findChild<QLineEdit*>();
    ASSERT_NE(dateText, nullptr);
    QTest::mouseClick(dateText, Qt::LeftButton);
    EXPECT_EQ(Selected(), "RadioOne_Shot");
    EXPECT_TRUE(picker->isEnabled());
    EXPECT_TRUE(Check("CheckMonday")->isEnabled());

    // Selecting an option clears the others; the selected one stays.
    ClickBox(Radio("RadioDaily"));
    ClickBox(Radio("RadioDaily"));
    EXPECT_EQ(Selected(), "RadioDaily");
    ClickBox(Check("CheckSunday"));
    EXPECT_EQ(Selected(), "RadioWeekly");

    form.close();
    const TQMTask& t = form.Task();
    EXPECT_TRUE(t.Weekly);
    EXPECT_FALSE(t.Daily || t.OneShot);
    EXPECT_FALSE(t.Monday || t.Wednesday || t.Thursday || t.Friday || t.Saturday);
    EXPECT_TRUE(t.Tuesday && t.Sunday);
}

TEST_F(TaskEditTest, SeveralFrequencyFlagsOpenAsTheLastOfDailyWeeklyOnceAndSaveOnlyThat) {
    struct Case {
        bool daily, weekly, oneShot;
        const char* shown;
    };
    for (const Case c :
         {Case{true, true, true, "RadioOne_Shot"}, Case{true, true, false, "RadioWeekly"},
          Case{true, false, true, "RadioOne_Shot"}, Case{false, true, true, "RadioOne_Shot"}}) {
        TFormTaskEdit dialog;
        TQMTask& t = dialog.Task();
        t.Daily = c.daily;
        t.Weekly = c.weekly;
        t.OneShot = c.oneShot;
        dialog.show();
        QStringList on;
        for (auto* r : dialog.findChildren<QRadioButton*>())
            if (r->isChecked())
                on << r->objectName();
        EXPECT_EQ(on, QStringList{c.shown}) << c.daily << c.weekly << c.oneShot;
        dialog.close();
        EXPECT_EQ(t.Daily + t.Weekly + t.OneShot, 1);
        EXPECT_EQ(t.OneShot, std::string(c.shown) == "RadioOne_Shot");
        EXPECT_EQ(t.Weekly, std::string(c.shown) == "RadioWeekly");
    }
}

TEST_F(TaskEditTest, ModifiedTaskKeepsItsStartDateGuidAndLastRunWhenSavedAsDaily) {
    TQMTask& t = form.Task();
    t.DateTime = MakeDateTime(2011, 3, 5, 14, 30);
    t.DateTimeLastExecuted = MakeDateTime(2011, 3, 7, 14, 30, 5);
    t.OneShot = true;
    t.Active = true;
    t.TaskName = "Backup";
    t.TaskFileName = "/opt/backup tool/run";
    t.TaskParameters = "--all \"x y\"";
    t.Guid = "0123456789ABCDEF0123456789ABCDEF01234567";
    form.show();
    EXPECT_EQ(Edit("EditDateTime_LastExecuted")->text(), "2011-Mar-07 / 14:30");
    EXPECT_EQ(Edit("EditTaskParameters")->text(), "--all \"x y\"");
    ClickBox(Radio("RadioDaily"));
    ClickBox(Check("CheckActive"));
    QTest::mouseClick(Button("ButtonSave"), Qt::LeftButton);
    ASSERT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(t.DateTime, MakeDateTime(2011, 3, 5, 14, 30));
    EXPECT_TRUE(t.Daily);
    EXPECT_FALSE(t.OneShot || t.Weekly);
    EXPECT_FALSE(t.Active);
    EXPECT_EQ(t.DateTimeLastExecuted, MakeDateTime(2011, 3, 7, 14, 30, 5));
    EXPECT_EQ(t.Guid, "0123456789ABCDEF0123456789ABCDEF01234567");
    EXPECT_EQ(t.TaskFileName, "/opt/backup tool/run");
    EXPECT_EQ(t.TaskParameters, "--all \"x y\"");
}

TEST_F(TaskEditTest, PickersSetTheStartDateAndTimeForEveryFrequency) {
    form.Task().Weekly = true;
    form.show();
    Child<QDateEdit>(&form, "PickerDate")->setDate(QDate(2027, 2, 28));
    Child<QTimeEdit>(&form, "PickerTime")->setTime(QTime(23, 59, 30));
    form.close();
    EXPECT_EQ(form.Task().DateTime, MakeDateTime(2027, 2, 28, 23, 59, 30));
    EXPECT_TRUE(form.Task().Weekly);
}

TEST_F(TaskEditTest, ResetShowsUnknownAtOnceAndCancelStillWritesTheControlsBack) {
    TQMTask& t = form.Task();
    t.DateTimeLastExecuted = MakeDateTime(2011, 3, 5, 14, 30);
    t.Daily = true;
    t.TaskName = "Backup";
    form.show();
    EXPECT_EQ(Edit("EditDateTime_LastExecuted")->text(), "2011-Mar-05 / 14:30");
    QTest::mouseClick(Button("Button1"), Qt::LeftButton);
    EXPECT_EQ(Edit("EditDateTime_LastExecuted")->text(), "unknown");
    EXPECT_TRUE(TQMTask::IsNeverDate(t.DateTimeLastExecuted));

    QTest::keyClick(Edit("EditTaskName"), Qt::Key_End);
    QTest::keyClicks(Edit("EditTaskName"), "2");
    // An escaped byte is one character: Backspace takes exactly that byte.
    QTest::keyClick(Edit("EditTaskParameters"), Qt::Key_End);
    QTest::keyClick(Edit("EditTaskParameters"), Qt::Key_Backspace);
    QTest::mouseClick(Button("ButtonCancel"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_NE(form.result(), QDialog::Accepted);
    EXPECT_EQ(t.TaskName, "Backup2");
}

TEST_F(TaskEditTest, ExecReturnsAcceptedOnlyForSave) {
    {
        TFormTaskEdit dialog;
        dialog.setWindowTitle("Define new task");
        ModalHelper modal;
        modal.When<TFormTaskEdit>([](TFormTaskEdit* d) {
            QTest::mouseClick(Child<QPushButton>(d, "ButtonSave"), Qt::LeftButton);
        });
        modal.AnswerMessage("OK");
        modal.When<TFormTaskEdit>([](TFormTaskEdit* d) {
            QTest::keyClicks(Child<QLineEdit>(d, "EditTaskName"), "nightly");
            Child<QLineEdit>(d, "EditTaskFileName")->setText("/bin/true");
            ClickBox(Child<QCheckBox>(d, "CheckFriday"));
            QTest::mouseClick(Child<QPushButton>(d, "ButtonSave"), Qt::LeftButton);
        });
        EXPECT_EQ(dialog.exec(), QDialog::Accepted);
        EXPECT_TRUE(modal.Done());
        EXPECT_EQ(modal.Texts(), QStringList{"Task name is empty"});
        EXPECT_EQ(dialog.windowTitle(), "Define new task");
        EXPECT_EQ(dialog.Task().TaskName, "nightly");
        EXPECT_TRUE(dialog.Task().Weekly && dialog.Task().Friday);
    }
    for (bool closeBox : {false, true}) {
        TFormTaskEdit dialog;
        ModalHelper modal;
        modal.When<TFormTaskEdit>([closeBox](TFormTaskEdit* d) {
            Child<QLineEdit>(d, "EditTaskName")->setText("x");
            Child<QLineEdit>(d, "EditTaskFileName")->setText("/bin/true");
            ClickBox(Child<QRadioButton>(d, "RadioDaily"));
            if (closeBox)
                d->close();
            else
                QTest::mouseClick(Child<QPushButton>(d, "ButtonCancel"), Qt::LeftButton);
        });
        EXPECT_NE(dialog.exec(), QDialog::Accepted) << closeBox;
        EXPECT_TRUE(dialog.Task().Daily);
    }
}

TEST_F(TaskEditTest, FileButtonPutsTheChosenFullPathAndCancelKeepsTheText) {
    testing_support::TempDir dir;
    const std::string program = dir.File("tool.sh");
    testing_support::WriteFile(program, "#!/bin/sh\n", 0755);
    form.show();
    Edit("EditTaskFileName")->setText("/bin/true");

    ModalHelper modal;
    QString offered;
    modal.When<QFileDialog>([&offered](QFileDialog* d) {
        offered = d->selectedFiles().value(0);
        d->reject();
    });
    QTest::mouseClick(Button("ButtonFile"), Qt::LeftButton);
    EXPECT_TRUE(modal.Done());
    EXPECT_EQ(offered, "/bin/true");
    EXPECT_EQ(Edit("EditTaskFileName")->text(), "/bin/true");

    // Typed into the dialog's own name box and confirmed with its Open button.
    modal.When<QFileDialog>([&program](QFileDialog* d) {
        Child<QLineEdit>(d, "fileNameEdit")->setText(QString::fromStdString(program));
        auto* buttons = Child<QDialogButtonBox>(d, "buttonBox");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
    });
    QTest::mouseClick(Button("ButtonFile"), Qt::LeftButton);
    EXPECT_TRUE(modal.Done());
    EXPECT_EQ(Edit("EditTaskFileName")->text().toStdString(), program);
    EXPECT_NE(form.findChild<QFileDialog*>("OpenDialog1"), nullptr);

    // A Latin-1 file name: the dialog offers and gives back the name as Qt
    // shows it; the box gets the file's own bytes.
    const std::string latin1 = dir.File("caf\xe9.sh");
    testing_support::WriteFile(latin1, "#!/bin/sh\n", 0755);
    Edit("EditTaskFileName")->setText(ui::ToQString(latin1));
    modal.When<QFileDialog>([&offered](QFileDialog* d) {
        offered = d->selectedFiles().value(0);
        auto* buttons = Child<QDialogButtonBox>(d, "buttonBox");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
    });
    QTest::mouseClick(Button("ButtonFile"), Qt::LeftButton);
    EXPECT_TRUE(modal.Done());
    EXPECT_TRUE(offered.endsWith(QStringLiteral("/caf\ufffd.sh"))) << offered.toStdString();
    EXPECT_EQ(ui::ToStdString(Edit("EditTaskFileName")->text()), latin1);
}

namespace {

class ScopedAppFont {
public:
    explicit ScopedAppFont(const QFont& font) : previous_(QApplication::font()) {
        QApplication::setFont(font);
    }
    ~ScopedAppFont() { QApplication::setFont(previous_); }

private:
    QFont previous_;
};

QFont PixelFont(int pixels) {
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    return font;
}

} // namespace

// Also run on a 1366 by 768 screen (tests/ui/CMakeLists.txt).
TEST_F(TaskEditTest, WindowSizeFollowsTheCancelButtonAndTheOptionsGroupWithinTheScreen) {
    QFont twelvePoints = QApplication::font();
    twelvePoints.setPointSize(12);
    for (const QFont& size :
         {PixelFont(8), PixelFont(12), PixelFont(16), twelvePoints, PixelFont(24)}) {
        const int pixels = QFontInfo(size).pixelSize();
        ScopedAppFont font(size);
        TFormTaskEdit dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        const auto* cancel = Child<QPushButton>(&dialog, "ButtonCancel");
        const auto* active = Child<QCheckBox>(&dialog, "CheckActive");
        const auto* options = Child<QWidget>(&dialog, "GroupBoxOptions");
        const double scale = cancel->width() / 75.0;
        EXPECT_GE(scale, 1.0);
        if (pixels == 8) {
            // A font smaller than the design's keeps about the design's size,
            // 702 by 426 and the options below, growing only where the
            // style's boxes need room.
            EXPECT_LE(scale, 1.2);
            EXPECT_GE(dialog.width(), 702);
            EXPECT_GE(dialog.height(), 426);
        }
        EXPECT_NEAR(dialog.width(), cancel->x() + cancel->width() + 10 * scale, 1.0) << pixels;
        // The options sit below the design's controls, which keep their place.
        EXPECT_GE(options->y(), active->y() + active->height());
        // The design's height where the screen has room, else the screen's
        // free area, title bar included; Save and Cancel stay in sight and
        // the rest scrolls.
        const int designHeight = options->y() + options->height() + static_cast<int>(12 * scale) +
                                 Child<QWidget>(&dialog, "PanelBottom")->height();
        const QRect free = dialog.screen()->availableGeometry();
        EXPECT_TRUE(free.contains(dialog.frameGeometry())) << pixels;
        const int frameHeight = dialog.frameGeometry().height() - dialog.height();
        if (designHeight + frameHeight <= free.height()) {
            EXPECT_NEAR(dialog.height(), designHeight, 1.0) << pixels;
        }
        for (const char* name : {"ButtonSave", "ButtonCancel"}) {
            const auto* button = Child<QPushButton>(&dialog, name);
            EXPECT_TRUE(
                dialog.rect().contains(QRect(button->mapTo(&dialog, QPoint(0, 0)), button->size())))
                << pixels << " " << name;
        }
        // Every caption fits its control, and the groups keep their order.
        for (auto* label : dialog.findChildren<QLabel*>())
            EXPECT_LE(label->sizeHint().width(), label->width())
                << label->objectName().toStdString();
        for (auto* box : dialog.findChildren<QAbstractButton*>()) {
            if (qobject_cast<QPushButton*>(box) == nullptr)
                EXPECT_LE(box->sizeHint().width(), box->width()) << box->objectName().toStdString();
            else
                EXPECT_LT(box->fontMetrics().horizontalAdvance(box->text().remove('&')),
                          box->width())
                    << box->objectName().toStdString();
        }
        const QRect task = Child<QWidget>(&dialog, "Panel5")->geometry();
        const QRect schedule = Child<QWidget>(&dialog, "Panel6")->geometry();
        EXPECT_LT(schedule.bottom(), task.top());
        EXPECT_LT(task.bottom(), active->y());
        EXPECT_LT(active->geometry().bottom(), options->y());
        EXPECT_LE(Child<QWidget>(&dialog, "Label2")->geometry().right(),
                  Child<QWidget>(&dialog, "EditTaskParameters")->x())
            << pixels;
    }
}

TEST_F(TaskEditTest, BoxesKeepEveryByteTheUserDidNotChange) {
    // Texts from a version-1 file may be in a code page that is not the
    // locale's: a box shows their bytes as replacement characters.
    TQMTask& t = form.Task();
    t.Daily = true;
    t.TaskName = "Caf\xe9";
    t.TaskFileName = "/home/me/caf\xe9.sh";
    t.TaskParameters = "--dir=/home/me/r\xe9sum\xe9";
    form.show();
    QTest::keyClick(Edit("EditTaskName"), Qt::Key_End);
    QTest::keyClicks(Edit("EditTaskName"), "2");
    // An escaped byte is one character: Backspace takes exactly that byte.
    QTest::keyClick(Edit("EditTaskParameters"), Qt::Key_End);
    QTest::keyClick(Edit("EditTaskParameters"), Qt::Key_Backspace);
    QTest::mouseClick(Button("ButtonSave"), Qt::LeftButton);
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_EQ(t.TaskFileName, "/home/me/caf\xe9.sh");
    EXPECT_EQ(t.TaskParameters, "--dir=/home/me/r\xe9sum");
    // A box the user typed into keeps the bytes around what was typed.
    EXPECT_EQ(t.TaskName, "Caf\xe9"
                          "2");
}
