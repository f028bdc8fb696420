#include "ui/FMain.h"

#include "lib/QMException.h"
#include "lib/SupportLibrary.h"
#include "scheduler/classQMTaskScheduler.h"
#include "settings/classQMLogFile.h"
#include "settings/classQMSettings.h"
#include "settings/classQMTaskSchedulerSettings.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/ModalHelper.h"
#include "ui/ByteText.h"
#include "ui/FHistory.h"
#include "ui/FLogView.h"
#include "ui/FTaskEdit.h"
#include "ui/Version.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolTip>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons())
        if (button->text() == text)
            return button;
    return nullptr;
}

struct TaskSpec {
    std::string Name;
    std::string Guid;
    std::string File;
    std::string Parameters;
    bool Active = true;
    bool Weekly = false;
    bool Daily = false;
    bool OneShot = false;
    std::string DateTime = "20261207-100000000";
    std::string Days = "0000000"; // monday .. sunday
    std::string LastRun = "18991230-000000000";
};

std::string SettingsFile(bool askWhenClose, bool askWhenExecute,
                         const std::vector<TaskSpec>& tasks) {
    auto flag = [](bool value) { return value ? std::string("1") : std::string("0"); };
    std::string text = "[qmtaskscheduler]\r\naskwhenclose=" + flag(askWhenClose) +
                       "\r\naskwhenexecutetaskmanually=" + flag(askWhenExecute) + "\r\n";
    static const char* const days[] = {"monday", "tuesday",  "wednesday", "thursday",
                                       "friday", "saturday", "sunday"};
    for (const TaskSpec& task : tasks) {
        text += "\r\n[tasks\\" + task.Guid + "]\r\ntaskname=" + task.Name +
                "\r\nguid=" + task.Guid + "\r\ntaskfilename=" + task.File +
                "\r\ntaskparameters=" + task.Parameters + "\r\nactive=" + flag(task.Active) +
                "\r\nweekly=" + flag(task.Weekly) + "\r\ndaily=" + flag(task.Daily) +
                "\r\none_shot=" + flag(task.OneShot) + "\r\ndatetime=" + task.DateTime + "\r\n";
        for (int day = 0; day < 7; ++day)
            text += std::string(days[day]) + "=" + task.Days.substr(static_cast<size_t>(day), 1) +
                    "\r\n";
        text += "datetime_lastexecuted=" + task.LastRun + "\r\n";
    }
    return text + "\r\n[system]\r\ninitype=qmtaskscheduler\r\n";
}

std::string GuidOf(char digit) {
    return std::string(39, 'A') + digit;
}

int CountOf(const std::string& text, const std::string& piece) {
    int count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Closing a test's window must not end the test program's event loops.
        QApplication::setQuitOnLastWindowClosed(false);
        runs_ = dir_.File("runs.txt");
        probe_ = dir_.File("probe.sh");
        WriteFile(probe_, "#!/bin/sh\necho \"$*\" >> '" + runs_ + "'\n", 0755);
    }

    void TearDown() override {
        if (form_) {
            form_->Store().AskWhenClose = false;
            form_.reset();
        }
        EXPECT_TRUE(modal_.Unexpected().isEmpty()) << modal_.Unexpected().join('\n').toStdString();
    }

    // Next modal window: a confirmation, answered with "&Yes" or "&No"; its
    // question is recorded.
    void AnswerConfirm(bool yes, QString* question) {
        modal_.When<QMessageBox>([yes, question](QMessageBox* box) {
            EXPECT_EQ(box->objectName(), "ConfirmBox");
            EXPECT_EQ(box->windowTitle(), "Confirm");
            *question = box->text();
            QAbstractButton* button = ButtonWithText(box, yes ? "&Yes" : "&No");
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton);
        });
    }

    // Next modal window: a plain message or error box, answered with "OK";
    // its text is recorded.
    void AnswerBox(const QString& objectName, QString* text) {
        modal_.When<QMessageBox>([objectName, text](QMessageBox* box) {
            EXPECT_EQ(box->objectName(), objectName);
            *text = box->text();
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            ASSERT_NE(ok, nullptr);
            QTest::mouseClick(ok, Qt::LeftButton);
        });
    }

    // The three tasks most tests use: Backup daily 22:00 run yesterday,
    // archive weekly Mo We 08:30 inactive and never run, Cleanup once on
    // 24 December 07:15 run on 1 December.
    std::vector<TaskSpec> ThreeTasks() const {
        TaskSpec backup{"Backup", GuidOf('1'), probe_, "alpha beta"};
        backup.Daily = true;
        backup.DateTime = "20261101-220000000";
        backup.LastRun = "20261206-220000000";
        TaskSpec archive{"archive", GuidOf('2'), probe_, ""};
        archive.Active = false;
        archive.Weekly = true;
        archive.Days = "1010000";
        archive.DateTime = "20261101-083000000";
        TaskSpec cleanup{"Cleanup", GuidOf('3'), probe_, "gamma"};
        cleanup.OneShot = true;
        cleanup.DateTime = "20261224-071500000";
        cleanup.LastRun = "20261201-071500000";
        return {backup, archive, cleanup};
    }

    // A main window on the test's folders, shown; it loads what the test
    // left there.
    void ShowForm() {
        form_ = std::make_unique<TFormMain>();
        form_->Store().Settings().ProgramFolder = dir_.Path();
        form_->Store().Settings().UserFolder = userDir_.Path();
        form_->show();
    }

    void Start(const std::string& settings) {
        WriteFile(IniPath(), settings);
        ShowForm();
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        list_ = Child<QTreeView>(form_.get(), "ListViewMain");
    }

    // A folder stands where the user's settings file should be.
    void StartOnAFolderAsTheSettingsFile() {
        std::filesystem::create_directories(userDir_.File("qmtaskscheduler2.ini/inside"));
        ShowForm();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    std::string IniPath() const { return dir_.File("qmtaskscheduler2.ini"); }
    // Saves are written on a thread of their own; the file and status
    // panel 3 are looked at once they are.
    void SavesWritten() const {
        if (form_) {
            EXPECT_TRUE(WaitUntil([this] { return !form_->SavesPending(); }));
        }
    }
    std::string Ini() const {
        SavesWritten();
        return ReadFile(IniPath());
    }

    QStringList RowNames() const {
        QStringList names;
        for (int row = 0; row < RowCount(); ++row)
            names << Cell(row, 0).data().toString();
        return names;
    }

    QStringList RowTexts(int row) const {
        QStringList texts;
        for (int column = 0; column < list_->model()->columnCount(); ++column)
            texts << Cell(row, column).data().toString();
        return texts;
    }

    int RowOf(const QString& name) const { return RowNames().indexOf(name); }
    int RowCount() const { return list_->model()->rowCount(); }
    QModelIndex Cell(int row, int column) const { return list_->model()->index(row, column); }

    // Keys reach the window's shortcuts only while it is the active window;
    // offscreen, no window manager gives it back after a modal box.
    void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        QTest::keyClick(list_, key, modifiers);
    }

    void ClickRow(int row) {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {},
                          list_->visualRect(Cell(row, 0)).center());
        ASSERT_EQ(form_->SelectedRow(), row);
    }

    void ClickHeader(int column) {
        QHeaderView* header = list_->header();
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                   header->height() / 2));
    }

    QAction* Action(const char* name) const { return Child<QAction>(form_.get(), name); }

    QString Panel(int index) const {
        SavesWritten();
        const QByteArray name = QStringLiteral("StatusPanel%1").arg(index).toLatin1();
        return Child<QLabel>(form_.get(), name.constData())->text();
    }

    QStringList Runs() const {
        return QString::fromStdString(ReadFile(runs_)).split('\n', Qt::SkipEmptyParts);
    }

    // Some pixel of the row has the highlight's hue: the selection's fill,
    // or a focus frame drawn in that colour.
    bool LooksSelected(int row) const {
        const QImage image = list_->viewport()->grab(list_->visualRect(Cell(row, 0))).toImage();
        const int hue = list_->palette().color(QPalette::Highlight).hsvHue();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (const QColor pixel = image.pixelColor(x, y);
                    pixel.hsvSaturation() > 60 && std::abs(pixel.hsvHue() - hue) < 30)
                    return true;
        return false;
    }

    TLogFileModule logFileModule_;
    TSupportLibrary supportLibrary_;
    ScopedRegional regional_{EnglishUS()};
    TestClock clock_{MakeDateTime(2026, 12, 7, 9, 0, 0)}; // a Monday
    ModalHelper modal_;
    TempDir dir_;
    TempDir userDir_;
    std::string runs_;
    std::string probe_;
    std::unique_ptr<TFormMain> form_;
    QTreeView* list_ = nullptr;
};

TEST_F(FormMainTest, ShowsTheSettingsFileTasksInFiveColumnsWithTheDesignedWindow) {
    Start(SettingsFile(false, true, ThreeTasks()));

    EXPECT_EQ(form_->windowTitle(), "Quillmar Task Scheduler");
    // The design's column widths plus 4, in the design's proportions, kept
    // to the screen's free area (the offscreen screen is 800 by 600) but
    // never narrower than the status bar's panels; the title bar on it.
    int columns = 0;
    for (int column = 0; column < list_->model()->columnCount(); ++column)
        columns += list_->columnWidth(column);
    const QRect free = form_->screen()->availableGeometry();
    EXPECT_EQ(form_->width(), std::max(std::min(columns + 4, free.width()), form_->minimumWidth()));
    EXPECT_LE(form_->frameGeometry().height(), free.height());
    EXPECT_GE(form_->frameGeometry().top(), free.top());
    EXPECT_NEAR(list_->columnWidth(0) * 150.0 / 300.0, list_->columnWidth(1), 1.0);
    QStringList captions;
    for (int column = 0; column < list_->model()->columnCount(); ++column)
        captions << list_->model()->headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(captions,
              QStringList({"Taak name", "Frequency", "Time", "Active", "Last started on"}));

    // File order, each row referring to its task of the list.
    ASSERT_EQ(RowCount(), 3);
    EXPECT_EQ(RowTexts(0), QStringList({"Backup", "daily", "22:00", "Yes", "2026-Dec-06 / 22:00"}));
    EXPECT_EQ(RowTexts(1), QStringList({"archive", "weekly (mo we )", "08:30", "No", "unknown"}));
    EXPECT_EQ(RowTexts(2), QStringList({"Cleanup", "one shot (2026-Dec-24)", "07:15", "Yes",
                                        "2026-Dec-01 / 07:15"}));
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(Cell(row, 0).data(Qt::UserRole).value<TQMTask*>(),
                  form_->TaskList().GetTask(row));
    EXPECT_FALSE(form_->HasSelection());
    EXPECT_EQ(form_->SortColumn, -1);
    EXPECT_THROW(form_->SelectedTask(), Exception);

    EXPECT_FALSE(Action("MenuAskwhenclose")->isChecked());
    EXPECT_TRUE(Action("MenuConfirmbeforeexecutetaskmanually")->isChecked());
    EXPECT_EQ(Panel(1), QStringLiteral("Version ") + ui::ProgramVersion);
    EXPECT_TRUE(Panel(3).isEmpty());

    const std::pair<const char*, const char*> buttons[] = {{"ButtonAdd", "Add new task"},
                                                           {"ButtonDelete", "Delete selected task"},
                                                           {"ButtonEdit", "Modify selected task"},
                                                           {"ButtonExecute", "Execute task"}};
    for (const auto& [name, hint] : buttons) {
        auto* button = Child<QPushButton>(form_.get(), name);
        EXPECT_EQ(button->toolTip(), hint);
        EXPECT_EQ(button->size(), Child<QPushButton>(form_.get(), "ButtonAdd")->size());
    }
    EXPECT_EQ(Child<QPushButton>(form_.get(), "ButtonAdd")->text(), "+");
    EXPECT_TRUE(Child<QPushButton>(form_.get(), "ButtonDelete")->text().isEmpty());
    EXPECT_FALSE(Child<QPushButton>(form_.get(), "ButtonDelete")->icon().isNull());

    // The clock reaches status panel 2 on the first tick.
    EXPECT_TRUE(WaitUntil([&] { return Panel(2) == QString("2026-Dec-07 09:00:00"); }));
}

TEST_F(FormMainTest, StartsEmptyFromAnEmptyUserSettingsFileAndShowsTheAboutBox) {
    WriteFile(userDir_.File("qmtaskscheduler2.ini"), "");
    ShowForm();
    list_ = Child<QTreeView>(form_.get(), "ListViewMain");
    EXPECT_EQ(RowCount(), 0);
    EXPECT_EQ(form_->SortColumn, -1);
    EXPECT_TRUE(Action("MenuAskwhenclose")->isChecked());
    EXPECT_TRUE(Action("MenuConfirmbeforeexecutetaskmanually")->isChecked());

    QString about;
    AnswerBox("MessageBox", &about);
    Action("Info1")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_TRUE(about.startsWith(QStringLiteral("Quillmar Task Scheduler \nversion ") +
                                 ui::ProgramVersion + "\nfor Windows and Linux/wine\n\n"))
        << about.toStdString();
}

TEST_F(FormMainTest, SortsByHeaderClicksAndByTheMenuAndKeepsTheOrderOverRefills) {
    Start(SettingsFile(false, true, ThreeTasks()));
    // Time ascending, then descending on a second click.
    ClickHeader(2);
    EXPECT_EQ(form_->SortColumn, 2);
    EXPECT_EQ(RowNames(), QStringList({"Cleanup", "archive", "Backup"}));
    ClickHeader(2);
    EXPECT_FALSE(form_->SortAscending);
    EXPECT_EQ(RowNames(), QStringList({"Backup", "archive", "Cleanup"}));
    // Active: the inactive task first when ascending, last when descending.
    Action("Actief1")->trigger();
    EXPECT_TRUE(form_->SortAscending);
    EXPECT_EQ(RowNames(), QStringList({"archive", "Backup", "Cleanup"}));
    Action("Actief1")->trigger();
    EXPECT_EQ(RowNames().last(), "archive");
    // Name without regard to case; the selection stays on its task.
    ClickHeader(0);
    EXPECT_EQ(RowNames(), QStringList({"archive", "Backup", "Cleanup"}));
    ClickRow(2);
    Action("Naam1")->trigger();
    EXPECT_EQ(RowNames(), QStringList({"Cleanup", "Backup", "archive"}));
    EXPECT_EQ(form_->SelectedRow(), 0);
    Action("Taakfrequentie1")->trigger();
    EXPECT_EQ(RowNames(), QStringList({"Backup", "Cleanup", "archive"}));
    Action("Laatstgestart1")->trigger();
    EXPECT_EQ(RowNames(), QStringList({"archive", "Cleanup", "Backup"}));

    // A refill after a poll that ran a task sorts by the same state and
    // keeps the user's selection.
    const QString selected = RowNames().value(form_->SelectedRow());
    form_->TasksExecuted(nullptr);
    EXPECT_EQ(RowNames(), QStringList({"archive", "Cleanup", "Backup"}));
    EXPECT_EQ(RowNames().value(form_->SelectedRow()), selected);
}

TEST_F(FormMainTest, AddsATaskThroughTheEditorWithItsChecksAndSavesIt) {
    Start(SettingsFile(false, true, ThreeTasks()));
    Action("Naam1")->trigger();

    QStringList messages;
    modal_.When<TFormTaskEdit>([&](TFormTaskEdit* editor) {
        EXPECT_EQ(editor->windowTitle(), "Define new task");
        auto* save = Child<QPushButton>(editor, "ButtonSave");
        auto saveExpectingMessage = [&] {
            QString text;
            AnswerBox("MessageBox", &text);
            QTest::mouseClick(save, Qt::LeftButton);
            EXPECT_TRUE(modal_.Done());
            messages << text;
        };
        saveExpectingMessage();
        auto* name = Child<QLineEdit>(editor, "EditTaskName");
        QTest::keyClicks(name, "my task-1");
        EXPECT_EQ(name->text(), "mytask1");
        saveExpectingMessage();
        QTest::keyClicks(Child<QLineEdit>(editor, "EditTaskFileName"),
                         QString::fromStdString(probe_));
        // Space and Delete belong to the editor's boxes, not to the main
        // window's shortcuts.
        auto* parameters = Child<QLineEdit>(editor, "EditTaskParameters");
        QTest::keyClicks(parameters, "xone two");
        QTest::keyClick(parameters, Qt::Key_Home);
        QTest::keyClick(parameters, Qt::Key_Delete);
        EXPECT_EQ(parameters->text(), "one two");
        saveExpectingMessage();
        QTest::mouseClick(Child<QCheckBox>(editor, "CheckMonday"), Qt::LeftButton);
        EXPECT_TRUE(Child<QRadioButton>(editor, "RadioWeekly")->isChecked());
        QTest::mouseClick(save, Qt::LeftButton);
    });
    PressKey(Qt::Key_Insert);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(messages, QStringList({"Task name is empty", "Program location is empty",
                                     "No period has been selected"}));

    // Added after the others, shown in its sorted place, nothing selected.
    ASSERT_EQ(form_->TaskList().Count(), 4);
    TQMTask* added = form_->TaskList().GetTask(3);
    EXPECT_EQ(added->TaskName, "mytask1");
    EXPECT_EQ(added->Guid.size(), 40u);
    EXPECT_EQ(RowNames(), QStringList({"archive", "Backup", "Cleanup", "mytask1"}));
    EXPECT_EQ(RowTexts(3)[1], "weekly (mo )");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form_->HasSelection());
    const std::string ini = Ini();
    EXPECT_NE(ini.find("taskname=mytask1\r\nguid=" + added->Guid + "\r\ntaskfilename=" + probe_ +
                       "\r\ntaskparameters=one two\r\n"),
              std::string::npos)
        << ini;

    // Cancel adds nothing; a second added task gets an identifier of its own.
    modal_.When<TFormTaskEdit>([](TFormTaskEdit* editor) {
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(form_.get(), "ButtonAdd"), Qt::LeftButton);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(form_->TaskList().Count(), 4);
}

TEST_F(FormMainTest, ModifiesTheSelectedTaskBySpaceAndByDoubleClick) {
    Start(SettingsFile(false, true, ThreeTasks()));

    // Without a selection the command reports it (Space would take the
    // keyboard's row).
    QString error;
    AnswerBox("ErrorBox", &error);
    Action("ActionModifyTask")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(error, "No task has been selected.");

    ClickHeader(0); // archive, Backup, Cleanup
    ClickRow(1);
    modal_.When<TFormTaskEdit>([](TFormTaskEdit* editor) {
        EXPECT_EQ(editor->windowTitle(), "Modify task");
        auto* name = Child<QLineEdit>(editor, "EditTaskName");
        EXPECT_EQ(name->text(), "Backup");
        name->clear();
        QTest::keyClicks(name, "zebra");
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonSave"), Qt::LeftButton);
    });
    PressKey(Qt::Key_Space);
    ASSERT_TRUE(modal_.Done());
    // The task moved to its sorted place and stays selected there.
    EXPECT_EQ(RowNames(), QStringList({"archive", "Cleanup", "zebra"}));
    EXPECT_EQ(form_->SelectedRow(), 2);
    EXPECT_EQ(form_->SelectedTask(), form_->TaskList().GetTask(0));
    EXPECT_EQ(form_->TaskList().GetTask(0)->Guid, GuidOf('1'));
    EXPECT_EQ(form_->TaskList().GetTask(0)->DateTimeLastExecuted,
              MakeDateTime(2026, 12, 6, 22, 0, 0));
    EXPECT_NE(Ini().find("taskname=zebra\r\nguid=" + GuidOf('1')), std::string::npos);

    // A double click on a row opens the same editor; Cancel changes nothing.
    const std::string before = Ini();
    modal_.When<TFormTaskEdit>([](TFormTaskEdit* editor) {
        EXPECT_EQ(Child<QLineEdit>(editor, "EditTaskName")->text(), "archive");
        Child<QLineEdit>(editor, "EditTaskName")->setText("changed");
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonCancel"), Qt::LeftButton);
    });
    QTest::mouseDClick(list_->viewport(), Qt::LeftButton, {},
                       list_->visualRect(Cell(0, 0)).center());
    ASSERT_TRUE(WaitUntil([&] { return modal_.Done(); }));
    EXPECT_EQ(RowNames(), QStringList({"archive", "Cleanup", "zebra"}));
    EXPECT_EQ(Ini(), before);

    // Only the left button's double click opens it (an editor opened here
    // would be an unanswered window the helper reports).
    QTest::mouseDClick(list_->viewport(), Qt::RightButton, {},
                       list_->visualRect(Cell(0, 0)).center());
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(FormMainTest, AfterEveryRefillTheKeysStartFromARowWithoutSelectingIt) {
    Start(SettingsFile(false, false, {ThreeTasks()[0]}));
    // One task: nothing selected, yet the first key selects its row.
    EXPECT_FALSE(form_->HasSelection());
    PressKey(Qt::Key_Down);
    EXPECT_EQ(form_->SelectedRow(), 0);
    form_.reset();

    Start(SettingsFile(false, false, ThreeTasks())); // Backup, archive, Cleanup
    for (int i = 0; i < 3; ++i)
        PressKey(Qt::Key_Down);
    ASSERT_EQ(form_->SelectedRow(), 2);
    ASSERT_TRUE(list_->hasFocus());
    EXPECT_TRUE(LooksSelected(2));
    // Running it refills the list: the selection goes, its row stays the
    // keyboard's without looking selected, and History and Space take that
    // task at once.
    PressKey(Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return Runs() == QStringList{"gamma"}; }));
    EXPECT_FALSE(form_->HasSelection());
    EXPECT_EQ(list_->currentIndex().row(), 2);
    EXPECT_FALSE(LooksSelected(2));
    PressKey(Qt::Key_H, Qt::ControlModifier);
    auto* history = form_->findChild<TFormHistory*>();
    ASSERT_NE(history, nullptr);
    EXPECT_EQ(history->windowTitle(), "History - Cleanup");
    history->close();
    modal_.When<TFormTaskEdit>([](TFormTaskEdit* editor) {
        EXPECT_EQ(Child<QLineEdit>(editor, "EditTaskName")->text(), "Cleanup");
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonCancel"), Qt::LeftButton);
    });
    PressKey(Qt::Key_Space);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(form_->SelectedRow(), 2);
    PressKey(Qt::Key_Up);
    EXPECT_EQ(form_->SelectedRow(), 1);

    // The row's task keeps the keyboard also where sorting moved it.
    PressKey(Qt::Key_Home);
    ASSERT_EQ(form_->SelectedTask()->TaskName, "Backup");
    ClickHeader(0); // archive, Backup, Cleanup
    form_->FillListView();
    EXPECT_FALSE(form_->HasSelection());
    EXPECT_EQ(form_->TaskAtRow(list_->currentIndex().row())->TaskName, "Backup");
    // So does sorting without a selection.
    ClickHeader(2); // Cleanup 07:15, archive 08:30, Backup 22:00
    PressKey(Qt::Key_Up);
    EXPECT_EQ(form_->SelectedRow(), 2);
    EXPECT_EQ(form_->SelectedTask()->TaskName, "Backup");
}

TEST_F(FormMainTest, EachRowsToolTipSaysWhenItsTaskStartsNextAsTheClockGoesOn) {
    std::vector<TaskSpec> tasks = ThreeTasks();
    TaskSpec noDay{"no_day", GuidOf('4'), probe_, ""};
    noDay.Weekly = true;
    tasks.push_back(noDay);
    Start(SettingsFile(false, true, tasks));
    // What the view shows when the pointer rests on a row's cell.
    const auto tip = [this](int row, int column) {
        const QRect cell = list_->visualRect(Cell(row, column));
        QHelpEvent event(QEvent::ToolTip, cell.center(),
                         list_->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(list_->viewport(), &event);
        const QString text = QToolTip::text();
        QToolTip::hideText();
        return text;
    };
    EXPECT_EQ(tip(0, 0), "daily\nNext start: 2026-Dec-07 22:00");
    EXPECT_EQ(tip(0, 4), "daily\nNext start: 2026-Dec-07 22:00");
    EXPECT_EQ(tip(1, 2), "weekly (mo we )\nNot active: it will not start.");
    EXPECT_EQ(tip(2, 1), "one shot (2026-Dec-24)\nNext start: 2026-Dec-24 07:15");
    EXPECT_EQ(tip(3, 0), "weekly ()\nNo weekday is checked: it will not start.");
    const QStringList cells = RowTexts(0);

    // Worked out when shown: the clock moves on, nothing refills the list.
    clock_.Set(MakeDateTime(2026, 12, 7, 22, 0, 29, 999)); // the window is still open
    EXPECT_EQ(tip(0, 0), "daily\nNext start: 2026-Dec-07 22:00");
    clock_.Set(MakeDateTime(2026, 12, 7, 22, 0, 30, 1));
    EXPECT_EQ(tip(0, 0), "daily\nNext start: 2026-Dec-08 22:00");
    clock_.Set(MakeDateTime(2026, 12, 24, 7, 15, 31));
    EXPECT_EQ(tip(2, 0), "one shot (2026-Dec-24)\nIts date has passed: it will not start again.");
    EXPECT_EQ(RowTexts(0), cells);
}

TEST_F(FormMainTest, QuestionsShowTheWholeTaskNameWrappedWithinTheScreen) {
    // Names that differ only in their middle, with and without blanks.
    const std::string middle(150, 'n');
    Start(SettingsFile(
        false, true,
        {TaskSpec{"Weekly_of_" + middle + "_A_" + middle + "_full", GuidOf('1'), probe_, ""},
         TaskSpec{"Weekly of " + middle + " B " + middle + " full", GuidOf('2'), probe_, ""}}));
    const int screenWidth = form_->screen()->availableGeometry().width();
    for (int row = 0; row < 2; ++row)
        for (auto key : {Qt::Key_Delete, Qt::Key_X}) {
            ClickRow(row);
            QString question;
            modal_.When<QMessageBox>([&question, screenWidth](QMessageBox* box) {
                question = box->text().remove(QChar(0x200B));
                const auto* label = Child<QLabel>(box, "qt_msgbox_label");
                EXPECT_GT(label->height(), 2 * label->fontMetrics().height()) << "wrapped";
                EXPECT_LE(box->width(), screenWidth);
                QTest::mouseClick(ButtonWithText(box, "&No"), Qt::LeftButton);
            });
            PressKey(key, key == Qt::Key_X ? Qt::ControlModifier : Qt::NoModifier);
            ASSERT_TRUE(modal_.Done());
            const QString name = form_->TaskNameAtRow(row);
            EXPECT_EQ(question, key == Qt::Key_X
                                    ? "Do you want to execute the task " + name + " now?"
                                    : "Do you want to delete the task " + name + " ?");
        }
}

TEST_F(FormMainTest, TheLogViewShowsTheRunsOfTheStoresLogAsTheyHappen) {
    Start(SettingsFile(false, false, ThreeTasks()));
    Action("MenuLog")->trigger();
    auto* view = form_->findChild<TFormLogView*>();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_FALSE(view->isModal());
    EXPECT_EQ(view->LogFileName().toStdString(), form_->Store().LogFileName());
    auto* memo = Child<QPlainTextEdit>(view, "MemoLog");

    ClickRow(0);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] {
        return memo->toPlainText().endsWith("2026-Dec-07 09:00:00   task (Backup): executed (" +
                                            QString::fromStdString(probe_) + ")");
    }));
    // Closed, it misses nothing: the menu shows the same window, up to date.
    view->close();
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 5, 0));
    ClickRow(0);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return Runs().size() == 2; }));
    Action("MenuLog")->trigger();
    EXPECT_EQ(form_->findChildren<TFormLogView*>().size(), 1);
    ASSERT_TRUE(WaitUntil([&] {
        return memo->toPlainText().endsWith("2026-Dec-07 09:05:00   task (Backup): executed (" +
                                            QString::fromStdString(probe_) + ")");
    }));
}

TEST_F(FormMainTest, DeletesOnlyASelectedTaskAndOnlyAfterYes) {
    Start(SettingsFile(false, true, ThreeTasks()));

    QString message;
    AnswerBox("MessageBox", &message);
    PressKey(Qt::Key_Delete);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(message, "Please first select a task.");
    EXPECT_EQ(form_->TaskList().Count(), 3);

    ClickRow(1);
    QString question;
    AnswerConfirm(false, &question);
    PressKey(Qt::Key_Delete);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(question, "Do you want to delete the task archive ?");
    EXPECT_EQ(form_->TaskList().Count(), 3);

    AnswerConfirm(true, &question);
    QTest::mouseClick(Child<QPushButton>(form_.get(), "ButtonDelete"), Qt::LeftButton);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(RowNames(), QStringList({"Backup", "Cleanup"}));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Ini().find("archive"), std::string::npos);
    EXPECT_EQ(CountOf(Ini(), "taskname="), 2);
}

TEST_F(FormMainTest, ExecutesTasksByHandWithAndWithoutConfirmationAndStampsOnlyPrematureRuns) {
    Start(SettingsFile(false, true, ThreeTasks()));
    ClickRow(0); // Backup, run yesterday 22:00
    TQMTask* backup = form_->TaskList().GetTask(0);

    QString question;
    AnswerConfirm(false, &question);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(question, "Do you want to execute the task Backup now?");

    AnswerConfirm(true, &question);
    QTest::mouseClick(Child<QPushButton>(form_.get(), "ButtonExecute"), Qt::LeftButton);
    ASSERT_TRUE(modal_.Done());
    EXPECT_TRUE(WaitUntil([&] { return Runs() == QStringList({"alpha beta"}); }));
    EXPECT_EQ(backup->DateTimeLastExecuted, MakeDateTime(2026, 12, 6, 22, 0, 0));
    EXPECT_NE(ReadFile(dir_.File("qmtaskscheduler2.log"))
                  .find("2026-Dec-07 09:00:00   task (Backup): executed (" + probe_ + ")\r\n"),
              std::string::npos);

    // With the preference off the command runs at once.
    Action("MenuConfirmbeforeexecutetaskmanually")->trigger();
    EXPECT_FALSE(form_->Store().AskWhenExecuteTaskManually);
    ClickRow(0);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(modal_.Unexpected().isEmpty());
    EXPECT_TRUE(WaitUntil([&] { return Runs().size() == 2; }));
    EXPECT_EQ(RowTexts(0)[4], "2026-Dec-06 / 22:00");

    // "Prematurely" asks anyway, and stamps the run.
    clock_.Set(MakeDateTime(2026, 12, 7, 9, 15, 30));
    ClickRow(0);
    AnswerConfirm(true, &question);
    PressKey(Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(question, "Do you want to execute the task Backup now?");
    EXPECT_TRUE(WaitUntil([&] { return Runs().size() == 3; }));
    EXPECT_EQ(backup->DateTimeLastExecuted, MakeDateTime(2026, 12, 7, 9, 15, 30));
    EXPECT_EQ(RowTexts(0)[4], "2026-Dec-07 / 09:15");
    EXPECT_NE(Ini().find("datetime_lastexecuted=20261207-091530000"), std::string::npos);

    // Without a selection both report it.
    form_->FillListView();
    QString error;
    AnswerBox("ErrorBox", &error);
    Action("ActionExecuteTask_withtime")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(error, "No task has been selected.");
}

TEST_F(FormMainTest, EditingATaskKeepsEveryByteTheUserDidNotTouch) {
    // A Latin-1 file name from an old disk, and parameters that mix raw
    // bytes with UTF-8.
    const std::string program = dir_.File("caf\xe9.sh");
    WriteFile(program, "#!/bin/sh\nprintf '%s' \"$*\" > '" + runs_ + "'\n", 0755);
    TaskSpec task{"Caf\xe9", GuidOf('1'), program, "\xe9\xff-raw \xc3\xbc"};
    task.Daily = true;
    Start(SettingsFile(false, false, {task}));
    EXPECT_EQ(RowNames(), QStringList({QStringLiteral("Caf\ufffd")}));

    ClickRow(0);
    modal_.When<TFormTaskEdit>([](TFormTaskEdit* editor) {
        auto* parameters = Child<QLineEdit>(editor, "EditTaskParameters");
        EXPECT_EQ(parameters->text(), QStringLiteral("\xdce9\xdcff-raw \u00fc"));
        parameters->setFocus();
        QTest::keyClick(parameters, Qt::Key_End);
        QTest::keyClicks(parameters, " x");
        // The path box edited and edited back, as a user fixing a typo does.
        auto* path = Child<QLineEdit>(editor, "EditTaskFileName");
        QTest::keyClick(path, Qt::Key_End);
        QTest::keyClick(path, Qt::Key_Backspace);
        QTest::keyClicks(path, "h");
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonSave"), Qt::LeftButton);
    });
    PressKey(Qt::Key_Space);
    ASSERT_TRUE(modal_.Done());
    const std::string ini = Ini();
    EXPECT_NE(ini.find("taskname=Caf\xe9\r\nguid=" + GuidOf('1') + "\r\ntaskfilename=" + program +
                       "\r\ntaskparameters=\xe9\xff-raw \xc3\xbc x\r\n"),
              std::string::npos)
        << ini;

    // The task still finds its file, and the program gets every byte.
    ClickRow(0);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(runs_) == "\xe9\xff-raw \xc3\xbc x"; }))
        << ReadFile(runs_);
    EXPECT_NE(ReadFile(dir_.File("qmtaskscheduler2.log"))
                  .find("task (Caf\xe9): executed (" + program + ")\r\n"),
              std::string::npos);
}

TEST_F(FormMainTest, ImportsVersion1TasksAfterTheExistingOnes) {
    Start(SettingsFile(false, true, ThreeTasks()));
    const std::string v1 = dir_.File("tasks-v1.ini");
    WriteFile(v1, "[Mail check]\r\ntaskfilename=" + probe_ +
                      "\r\nactive=1\r\ndaily=1\r\ntime=07:45\r\n\r\n[Old]\r\n");

    modal_.When<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    Action("MenuImporTasksFromVersion1")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(form_->TaskList().Count(), 3);

    modal_.When<QFileDialog>([&](QFileDialog* dialog) {
        EXPECT_EQ(dialog->objectName(), "OpenDialogImportFromVersion1");
        EXPECT_EQ(dialog->nameFilters(), QStringList({".ini files (*.ini)"}));
        auto* fileName = Child<QLineEdit>(dialog, "fileNameEdit");
        fileName->setText(QString::fromStdString(v1));
        QPushButton* open =
            Child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Open);
        ASSERT_NE(open, nullptr);
        QTest::mouseClick(open, Qt::LeftButton);
    });
    Action("MenuImporTasksFromVersion1")->trigger();
    ASSERT_TRUE(modal_.Done());
    ASSERT_EQ(RowCount(), 5);
    EXPECT_EQ(RowTexts(3), QStringList({"Mail check", "daily", "07:45", "Yes", "unknown"}));
    EXPECT_EQ(RowTexts(4), QStringList({"Old", "", "12:00", "No", "unknown"}));
    EXPECT_EQ(CountOf(Ini(), "taskname="), 5);
    EXPECT_NE(Ini().find("taskname=Mail check\r\nguid="), std::string::npos);

    // A file whose name is no UTF-8: Qt does not list it; typed as the user
    // knows it, it is found. A name that is nowhere is refused first.
    const std::string latin1 = dir_.File("t\xe2"
                                         "ches.ini");
    WriteFile(latin1, "[Caf\xe9]\r\ndaily=1\r\n");
    modal_.When<QFileDialog>([&](QFileDialog* dialog) {
        auto* name = Child<QLineEdit>(dialog, "fileNameEdit");
        QPushButton* open =
            Child<QDialogButtonBox>(dialog, "buttonBox")->button(QDialogButtonBox::Open);
        name->setText(QString::fromStdString(dir_.File("nowhere.ini")));
        modal_.When<QMessageBox>([](QMessageBox* box) {
            EXPECT_TRUE(box->text().endsWith("nowhere.ini\nFile not found."))
                << box->text().toStdString();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(open, Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());
        name->setText(QString::fromStdString(dir_.Path()) + QStringLiteral("t\u00e2ches.ini"));
        QTest::mouseClick(open, Qt::LeftButton);
    });
    Action("MenuImporTasksFromVersion1")->trigger();
    ASSERT_TRUE(modal_.Done());
    ASSERT_EQ(form_->TaskList().Count(), 6);
    EXPECT_EQ(form_->TaskList().GetTask(5)->TaskName, "Caf\xe9");
    EXPECT_EQ(RowTexts(5)[0], QStringLiteral("Caf\ufffd"));
}

TEST_F(FormMainTest, TogglesBothPreferencesAndSavesThem) {
    Start(SettingsFile(true, true, {}));
    QAction* askClose = Action("MenuAskwhenclose");
    QAction* askExecute = Action("MenuConfirmbeforeexecutetaskmanually");
    ASSERT_TRUE(askClose->isChecked());

    askClose->trigger();
    EXPECT_FALSE(askClose->isChecked());
    EXPECT_FALSE(form_->Store().AskWhenClose);
    EXPECT_NE(Ini().find("askwhenclose=0\r\naskwhenexecutetaskmanually=1"), std::string::npos);
    askExecute->trigger();
    EXPECT_NE(Ini().find("askwhenclose=0\r\naskwhenexecutetaskmanually=0"), std::string::npos);
    askClose->trigger();
    EXPECT_TRUE(form_->Store().AskWhenClose);
    EXPECT_NE(Ini().find("askwhenclose=1\r\naskwhenexecutetaskmanually=0"), std::string::npos);
}

TEST_F(FormMainTest, ClosesOnlyAfterYesWhenAskedTo) {
    Start(SettingsFile(true, true, {}));
    QString question;
    AnswerConfirm(false, &question);
    Action("Exit1")->trigger();
    ASSERT_TRUE(modal_.Done());
    EXPECT_EQ(question, "Are you sure that you want to close Quillmar Task Scheduler ?");
    EXPECT_TRUE(form_->isVisible());

    AnswerConfirm(true, &question);
    EXPECT_TRUE(form_->close());
    ASSERT_TRUE(modal_.Done());
    EXPECT_FALSE(form_->isVisible());

    // Without the preference it closes without a question.
    form_->show();
    form_->Store().AskWhenClose = false;
    EXPECT_TRUE(form_->close());
}

TEST_F(FormMainTest, KeepsTheEditWhenAPollRunsTheTaskWhileTheModifyEditorIsOpen) {
    auto tasks = ThreeTasks();
    tasks[0].DateTime = "20261101-091000000"; // Backup daily at 09:10
    Start(SettingsFile(false, true, tasks));
    ClickHeader(0); // archive, Backup, Cleanup
    ClickRow(1);
    TQMTask* backup = form_->TaskList().GetTask(0);

    modal_.When<TFormTaskEdit>([&](TFormTaskEdit* editor) {
        // A poll inside the start window runs the task and refills the list.
        clock_.Set(MakeDateTime(2026, 12, 7, 9, 10, 5));
        form_->TaskList().Tick(nullptr);
        EXPECT_EQ(form_->SelectedTask(), backup);
        EXPECT_EQ(backup->DateTimeLastExecuted, MakeDateTime(2026, 12, 7, 9, 10, 5));
        auto* name = Child<QLineEdit>(editor, "EditTaskName");
        name->clear();
        QTest::keyClicks(name, "Another");
        QTest::mouseClick(Child<QPushButton>(editor, "ButtonSave"), Qt::LeftButton);
    });
    PressKey(Qt::Key_Space);
    ASSERT_TRUE(modal_.Done());
    EXPECT_TRUE(WaitUntil([&] { return Runs() == QStringList({"alpha beta"}); }));

    EXPECT_EQ(form_->TaskList().Count(), 3);
    EXPECT_EQ(backup->TaskName, "Another");
    // The run's stamp survives the edit, so the task does not run twice today.
    EXPECT_EQ(backup->DateTimeLastExecuted, MakeDateTime(2026, 12, 7, 9, 10, 5));
    EXPECT_EQ(RowNames(), QStringList({"Another", "archive", "Cleanup"}));
    EXPECT_EQ(form_->SelectedTask(), backup);
    const std::string ini = Ini();
    EXPECT_NE(ini.find("taskname=Another\r\nguid=" + GuidOf('1')), std::string::npos);
    EXPECT_NE(ini.find("datetime_lastexecuted=20261207-091005000"), std::string::npos);
    EXPECT_EQ(ini.find("Backup"), std::string::npos);

    clock_.Set(MakeDateTime(2026, 12, 7, 9, 10, 7));
    form_->TaskList().Tick(nullptr);
    EXPECT_EQ(CountOf(ReadFile(dir_.File("qmtaskscheduler2.log")), "executed"), 1);
}

// Runs that end together are saved with the next poll, once for all of
// them: at most one save per poll. The file then holds every run's result.
TEST_F(FormMainTest, RunsEndingTogetherAreSavedOnceWithTheNextPoll) {
    constexpr int Count = 30;
    std::vector<TaskSpec> tasks;
    for (int i = 0; i < Count; ++i) // daily at 09:00, last run yesterday
        tasks.push_back({"t" + std::to_string(i), std::string(38, 'A') + std::to_string(10 + i),
                         probe_, std::to_string(i), true, false, true, false, "20261101-090000000",
                         "0000000", "20261206-090000000"});
    Start(SettingsFile(false, false, tasks));
    int polls = 0;
    QObject::connect(form_->TaskList().Timer(), &QTimer::timeout, [&] { ++polls; });
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() == Count; }));
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < Count; ++i)
            if (form_->TaskList().GetTask(i)->LastResult.empty())
                return false;
        return true;
    }));
    const int pollsAtTheEnds = polls;
    const std::uint64_t savesAtTheEnds = form_->SaveCount();
    ASSERT_TRUE(WaitUntil([&] { return polls > pollsAtTheEnds && !form_->SavesPending(); }));
    EXPECT_LE(form_->SaveCount() - savesAtTheEnds, 2u);
    EXPECT_LE(form_->SaveCount(), static_cast<std::uint64_t>(polls));
    EXPECT_EQ(CountOf(Ini(), "lastresult="), Count);
}

TEST_F(FormMainTest, ShowsAFailedSaveInStatusPanel3UntilASaveSucceeds) {
    Start(SettingsFile(true, true, {}));
    // Saves now go to a user folder that cannot be made: a file stands in its way.
    std::filesystem::remove(IniPath());
    WriteFile(dir_.File("blocker"), "");
    form_->Store().Settings().UserFolder = dir_.File("blocker") + "/sub/";
    Action("MenuAskwhenclose")->trigger();
    EXPECT_TRUE(Panel(3).startsWith("Changes could not be saved: ")) << Panel(3).toStdString();
    EXPECT_GT(Panel(3).size(), QString("Changes could not be saved: ").size());
    // The message stays over saves that fail again.
    Action("MenuAskwhenclose")->trigger();
    EXPECT_TRUE(Panel(3).startsWith("Changes could not be saved: "));

    form_->Store().Settings().UserFolder = userDir_.Path();
    Action("MenuAskwhenclose")->trigger();
    EXPECT_TRUE(Panel(3).isEmpty());
    EXPECT_NE(ReadFile(userDir_.File("qmtaskscheduler2.ini")).find("askwhenclose=0"),
              std::string::npos);
}

TEST_F(FormMainTest, ExecutesAndDeletesTheAskedTaskAfterAPollRefilledTheListUnderTheQuestion) {
    auto tasks = ThreeTasks();
    tasks[0].DateTime = "20261101-090010000"; // Backup daily at 09:10:10
    tasks[1].Active = true;                   // archive daily at 09:00:20
    tasks[1].Weekly = false;
    tasks[1].Daily = true;
    tasks[1].Parameters = "delta";
    tasks[1].DateTime = "20261101-090020000";
    Start(SettingsFile(false, true, tasks));
    QTimer* timer = form_->TaskList().Timer();
    timer->setInterval(5); // the real polling timer, quicker

    // Under the question a poll runs another task and refills the list: the
    // asked task stays selected, and the answer applies to it.
    auto answerAfterAPoll = [&](TDateTime pollAt, const QString& pollRun, QString* question) {
        modal_.When<QMessageBox>([=, this](QMessageBox* box) {
            *question = box->text();
            const std::string asked = form_->SelectedTask()->Guid;
            clock_.Set(pollAt);
            EXPECT_TRUE(WaitUntil([&] { return Runs().contains(pollRun); }));
            EXPECT_EQ(form_->SelectedTask()->Guid, asked);
            QTest::mouseClick(ButtonWithText(box, "&Yes"), Qt::LeftButton);
        });
    };
    ClickRow(RowOf("Cleanup"));
    QString question;
    answerAfterAPoll(MakeDateTime(2026, 12, 7, 9, 0, 10), "alpha beta", &question);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] { return modal_.Done(); }));
    EXPECT_EQ(question, "Do you want to execute the task Cleanup now?");
    EXPECT_TRUE(WaitUntil([&] { return Runs().contains("gamma"); }))
        << Runs().join('|').toStdString();

    ClickRow(RowOf("Cleanup"));
    answerAfterAPoll(MakeDateTime(2026, 12, 7, 9, 0, 20), "delta", &question);
    PressKey(Qt::Key_Delete);
    ASSERT_TRUE(WaitUntil([&] { return modal_.Done(); }));
    timer->setInterval(TQMTaskScheduler::PollIntervalMs);
    EXPECT_EQ(question, "Do you want to delete the task Cleanup ?");
    EXPECT_EQ(RowNames(), QStringList({"Backup", "archive"}));
    EXPECT_EQ(Ini().find("Cleanup"), std::string::npos);
    EXPECT_EQ(Runs(), QStringList({"alpha beta", "gamma", "delta"}));
}

TEST_F(FormMainTest, NamesASettingsFileThatCouldNotBeReadInStatusPanel3UntilTheEnd) {
    ASSERT_NO_FATAL_FAILURE(StartOnAFolderAsTheSettingsFile());
    const std::string ini = userDir_.File("qmtaskscheduler2.ini");
    const QString problem = QStringLiteral("Settings could not be read: Cannot open file \"%1\". ")
                                .arg(QString::fromStdString(ini));
    EXPECT_TRUE(Panel(3).startsWith(problem)) << Panel(3).toStdString();

    // The next save sets the folder aside; the panel names it from then on,
    // over later saves that succeed.
    Action("MenuAskwhenclose")->trigger();
    SavesWritten();
    const QString setAside = QString::fromStdString(form_->Store().SetAsideFileName());
    ASSERT_TRUE(setAside.startsWith(QString::fromStdString(ini) + ".unreadable-"));
    EXPECT_TRUE(std::filesystem::is_directory(setAside.toStdString() + "/inside"));
    EXPECT_TRUE(Panel(3).startsWith(problem)) << Panel(3).toStdString();
    EXPECT_TRUE(Panel(3).endsWith("; set aside as " + setAside)) << Panel(3).toStdString();
    Action("MenuAskwhenclose")->trigger();
    EXPECT_TRUE(Panel(3).endsWith("; set aside as " + setAside)) << Panel(3).toStdString();
    EXPECT_NE(ReadFile(ini).find("askwhenclose=1"), std::string::npos);
}

// Status panel 3 holds every message that stands, each until its own cause
// ends: the most important shows, the tool tip holds them all.
TEST_F(FormMainTest, StandingMessagesShareStatusPanel3AndEachEndsWithItsOwnCause) {
    ASSERT_NO_FATAL_FAILURE(StartOnAFolderAsTheSettingsFile());
    auto* panel = Child<QLabel>(form_.get(), "StatusPanel3");
    Action("MenuAskwhenclose")->trigger(); // sets the unreadable file aside
    SavesWritten();
    const QString setAside = panel->text();
    ASSERT_TRUE(setAside.contains("; set aside as ")) << setAside.toStdString();

    // A refused login entry matters less: it waits in the tool tip.
    const QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    WriteFile(dir_.File("config-blocker"), "");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir_.File("config-blocker")));
    Action("MenuStartAtLogin")->trigger();
    qputenv("XDG_CONFIG_HOME", savedConfigHome);
    SavesWritten();
    EXPECT_EQ(panel->text(), setAside);
    EXPECT_TRUE(panel->toolTip().contains("\n\nStart at login could not be set: "))
        << panel->toolTip().toStdString();

    // A failed save comes first, with the system's own words for its error.
    WriteFile(dir_.File("blocker"), "");
    form_->Store().Settings().UserFolder = dir_.File("blocker") + "/sub/";
    Action("MenuAskwhenclose")->trigger();
    SavesWritten();
    EXPECT_TRUE(panel->text().startsWith("Changes could not be saved: "));
    const QStringList shown = panel->toolTip().split("\n\n");
    ASSERT_EQ(shown.size(), 3) << panel->toolTip().toStdString();
    EXPECT_TRUE(shown[0].startsWith(panel->text() + "\nNot a directory")) << shown[0].toStdString();
    EXPECT_EQ(shown[1], setAside);
    EXPECT_TRUE(shown[2].startsWith("Start at login could not be set: "));

    // The next save succeeds: its failure goes, the others stand.
    form_->Store().Settings().UserFolder = userDir_.Path();
    Action("MenuAskwhenclose")->trigger();
    SavesWritten();
    EXPECT_EQ(panel->text(), setAside);
    EXPECT_EQ(panel->toolTip().split("\n\n").size(), 2) << panel->toolTip().toStdString();
}

TEST_F(FormMainTest, PollsGoOnUnderAPollErrorBoxAndEachFailedStartIsLoggedAndSaved) {
    // Started without execute permission: the start fails with EACCES.
    const std::string broken = dir_.File("broken.exe");
    WriteFile(broken, "no program", 0644);
    TaskSpec failing{"Failing", GuidOf('1'), broken, ""};
    failing.Daily = true;
    failing.DateTime = "20261101-090002000";
    TaskSpec good{"Good", GuidOf('2'), probe_, "good"};
    good.Daily = true;
    good.DateTime = "20261101-090014000";
    TaskSpec failingToo = failing;
    failingToo.Name = "Failing too";
    failingToo.Guid = GuidOf('3');
    failingToo.DateTime = "20261101-090020000";
    Start(SettingsFile(false, true, {failing, good, failingToo}));

    // The real polling timer, quicker; every poll moves the clock two seconds
    // after it has looked at the tasks, up to a minute.
    QTimer* timer = form_->TaskList().Timer();
    QObject::connect(timer, &QTimer::timeout, form_.get(), [this] {
        if (clock_.Now() < MakeDateTime(2026, 12, 7, 9, 1, 0))
            clock_.AdvanceMs(2000);
    });
    timer->setInterval(5);

    testing::internal::CaptureStderr();
    QString error;
    QStringList runsUnderTheBox;
    std::string logUnderTheBox;
    modal_.When<QMessageBox>([&](QMessageBox* box) {
        EXPECT_EQ(box->objectName(), "ErrorBox");
        error = box->text();
        // The box is open: later tasks run, and the second failure opens no
        // second box (the helper would close it as unexpected).
        EXPECT_TRUE(WaitUntil([&] { return Runs() == QStringList({"good"}); }));
        EXPECT_TRUE(WaitUntil([&] {
            return ReadFile(dir_.File("qmtaskscheduler2.log")).find("task (Failing too)") !=
                   std::string::npos;
        }));
        runsUnderTheBox = Runs();
        logUnderTheBox = ReadFile(dir_.File("qmtaskscheduler2.log"));
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    ASSERT_TRUE(WaitUntil([&] { return modal_.Done(); }));
    const std::string err = testing::internal::GetCapturedStderr();
    timer->setInterval(TQMTaskScheduler::PollIntervalMs);

    EXPECT_EQ(error,
              QString::fromStdString("Can not create process: \r" + broken + ".\rLastError = 13."));
    EXPECT_EQ(runsUnderTheBox, QStringList({"good"}));
    // One log line per failed start, carriage returns made blanks.
    EXPECT_NE(logUnderTheBox.find(
                  "2026-Dec-07 09:00:02   task (Failing): Can not create process:  " + broken +
                  ". LastError = 13 (" + broken + ")\r\n"),
              std::string::npos)
        << logUnderTheBox;
    EXPECT_NE(logUnderTheBox.find("09:00:14   task (Good): executed (" + probe_ + ")"),
              std::string::npos)
        << logUnderTheBox;
    EXPECT_EQ(CountOf(logUnderTheBox, "task (Failing too): Can not create process"), 1);
    EXPECT_NE(err.find("LastError = 13"), std::string::npos) << "the second error: " << err;
    // Every stamp is in the file, so a restart today runs none of them again.
    const std::string ini = Ini();
    EXPECT_NE(ini.find("datetime_lastexecuted=20261207-090002000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("datetime_lastexecuted=20261207-090014000"), std::string::npos) << ini;
    EXPECT_NE(ini.find("datetime_lastexecuted=20261207-090020000"), std::string::npos) << ini;
}

// Runs the history cannot take yet are said in status panel 3 until they are in.
TEST_F(FormMainTest, SaysInStatusPanel3WhileRunRecordsWaitForTheHistory) {
    const std::string database = dir_.File("qmtaskscheduler2-history.sqlite");
    std::filesystem::create_directories(database); // no database can be made there
    Start(SettingsFile(false, false, ThreeTasks()));
    EXPECT_TRUE(Panel(3).startsWith("The run history could not be opened: "))
        << Panel(3).toStdString();
    ClickRow(0);
    PressKey(Qt::Key_X, Qt::ControlModifier);
    ASSERT_TRUE(WaitUntil([&] {
        return Panel(3).startsWith("1 run waits to be recorded in the history: ");
    })) << Panel(3).toStdString();
    std::filesystem::remove(database);
    // The next poll opens the database and writes the run.
    ASSERT_TRUE(WaitUntil([&] { return Panel(3).isEmpty(); })) << Panel(3).toStdString();
    EXPECT_TRUE(std::filesystem::is_regular_file(database));
}

} // namespace
