#include "ui/FHistory.h"

#include "ModalHelper.h"
#include "history/RunHistory.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace testing_support;

// The window reads one task's runs from the database file, newest first, with
// the queued ones, and shows a run's output as text: escape sequences and
// bytes that are no UTF-8 are shown as escapes, never acted on. The output
// opens at its end and says when its start was not kept; a failed start
// gives its reason in words; every cell's tip holds its whole text.
TEST(HistoryWindow, ListsATasksRunsNewestFirstAndShowsTheirOutputAsText) {
    TempDir dir;
    ScopedRegional regional(EnglishUS());
    const std::string file = dir.File("qmtaskscheduler2-history.sqlite");
    const std::string task(40, 'A');
    auto run = [&](history::THistory& h, const std::string& guid, int minute, TRunOutcome outcome,
                   int code, const std::string& output, const std::string& detail = "") {
        TRunRecord r;
        r.Id = h.NewRunId();
        r.TaskGuid = guid;
        r.TaskName = "Backup";
        r.HowStarted = minute == 1 ? "by hand" : "scheduled";
        r.Start = MakeDateTime(2026, 12, 7, 9, minute, 0);
        r.End = MakeDateTime(2026, 12, 7, 9, minute, 30);
        r.Outcome = outcome;
        r.Code = code;
        r.Output = output;
        r.Detail = detail;
        h.Record(r);
    };
    {
        history::THistory writer(file);
        ASSERT_TRUE(writer.Open());
        run(writer, task, 1, TRunOutcome::Exited, 0, "all fine\n");
        run(writer, std::string(40, 'B'), 2, TRunOutcome::Exited, 1, "another task\n");
        run(writer, task, 3, TRunOutcome::Exited, 3, "\x1b[31mred\xff\n");
        run(writer, task, 5, TRunOutcome::NotStarted, 0, "",
            "Can not create process:  /srv/job.exe. LastError = 13");
        std::string tail;
        for (int line = 0; tail.size() < RunOutputTailBytes; ++line)
            tail += "line " + std::to_string(line) + "\n";
        run(writer, task, 6, TRunOutcome::Exited, 0, tail.substr(tail.size() - RunOutputTailBytes));
        ASSERT_TRUE(writer.Flush());
    }
    history::THistory reader(file);
    ASSERT_TRUE(reader.Open());
    // A run still queued (a busy database) is shown as well.
    TRunRecord going;
    going.Id = reader.NewRunId();
    going.TaskGuid = task;
    going.TaskName = "Backup";
    going.HowStarted = "early";
    going.Start = MakeDateTime(2026, 12, 7, 9, 7, 0);
    reader.Record(going);

    QWidget owner;
    TFormHistory* window = TFormHistory::ShowFor(&owner, reader, task, "Backup");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_FALSE(window->isModal());
    auto* runs = Child<QTreeWidget>(window, "ListViewRuns");
    auto* output = Child<QPlainTextEdit>(window, "MemoOutput");
    auto rowTexts = [&](int row) {
        QStringList texts;
        for (int column = 0; column < TFormHistory::ColumnCount; ++column)
            texts << runs->topLevelItem(row)->text(column);
        return texts.join(" | ");
    };
    ASSERT_EQ(runs->topLevelItemCount(), 5);
    const QString failed = "could not start: Can not create process: /srv/job.exe. "
                           "LastError = 13 (Permission denied)";
    EXPECT_EQ(rowTexts(0), "2026-Dec-07 09:07:00 | early |  | still running");
    EXPECT_EQ(rowTexts(2), "2026-Dec-07 09:05:00 | scheduled | 30.0 s | " + failed);
    EXPECT_EQ(rowTexts(3), "2026-Dec-07 09:03:00 | scheduled | 30.0 s | exit status 3");
    EXPECT_EQ(rowTexts(4), "2026-Dec-07 09:01:00 | by hand | 30.0 s | exit status 0");
    for (int column = 0; column < TFormHistory::ColumnCount; ++column)
        EXPECT_EQ(runs->topLevelItem(2)->toolTip(column), runs->topLevelItem(2)->text(column));
    EXPECT_TRUE(runs->topLevelItem(0)->icon(TFormHistory::ColResult).isNull());
    EXPECT_FALSE(runs->topLevelItem(3)->icon(TFormHistory::ColResult).isNull());
    EXPECT_EQ(runs->topLevelItem(3)->data(TFormHistory::ColResult, Qt::AccessibleDescriptionRole),
              "failed: exit status 3");

    // A run's output opens at its end, saying that its start was not kept.
    QTest::keyClick(runs, Qt::Key_Down);
    EXPECT_TRUE(output->toPlainText().startsWith("... earlier output not kept\n"));
    EXPECT_TRUE(output->toPlainText().endsWith("\n"));
    EXPECT_GT(output->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(output->verticalScrollBar()->value(), output->verticalScrollBar()->maximum());
    QTest::keyClick(runs, Qt::Key_Down);
    EXPECT_EQ(output->toPlainText(), failed);
    QTest::keyClick(runs, Qt::Key_Down);
    EXPECT_EQ(output->toPlainText(), "\\x1b[31mred\\xff\n");
    QTest::keyClick(runs, Qt::Key_Down);
    EXPECT_EQ(output->toPlainText(), "all fine\n");

    // The same window shows another task when asked again.
    EXPECT_EQ(TFormHistory::ShowFor(&owner, reader, std::string(40, 'B'), "Other"), window);
    ASSERT_EQ(runs->topLevelItemCount(), 1);
    EXPECT_EQ(output->toPlainText(), "another task\n");
}
