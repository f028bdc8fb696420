#include "ui/FHistory.h"

#include "history/RunHistory.h"
#include "ui/ByteText.h"
#include "ui/ReasonText.h"
#include "ui/WindowPlace.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString DurationText(long long ms) {
    const long long seconds = ms / 1000;
    if (seconds < 60)
        return QStringLiteral("%1.%2 s").arg(seconds).arg((ms % 1000) / 100);
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg((seconds % 3600) / 60);
}

// Output is shown, never interpreted: bytes that are no UTF-8 and control
// characters (escape sequences above all) appear as escapes like \x1b.
QString OutputText(const std::string& bytes) {
    QString text;
    const QString decoded = ui::ToQString(bytes);
    text.reserve(decoded.size());
    for (const QChar c : decoded) {
        const char16_t u = c.unicode();
        if (u >= 0xDC80 && u <= 0xDCFF)
            text += QStringLiteral("\\x%1").arg(u - 0xDC00, 2, 16, QLatin1Char('0'));
        else if ((u < 0x20 && u != '\n' && u != '\t') || u == 0x7f)
            text += QStringLiteral("\\x%1").arg(static_cast<int>(u), 2, 16, QLatin1Char('0'));
        else
            text += c;
    }
    return text;
}

} // namespace

TFormHistory::TFormHistory(history::THistory& runs, QWidget* parent)
    : QWidget(parent, Qt::Window), runs_(runs) {
    setObjectName(QStringLiteral("FormHistory"));
    ui::ReportAsWindow(this);
    auto* layout = new QVBoxLayout(this);
    LabelTask = new QLabel(this);
    LabelTask->setObjectName(QStringLiteral("LabelTask"));
    layout->addWidget(LabelTask);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    ListViewRuns = new QTreeWidget(splitter);
    ListViewRuns->setObjectName(QStringLiteral("ListViewRuns"));
    ListViewRuns->setAccessibleName(QStringLiteral("Runs"));
    ListViewRuns->setRootIsDecorated(false);
    ListViewRuns->setUniformRowHeights(true);
    ListViewRuns->setHeaderLabels({QStringLiteral("Started"), QStringLiteral("How"),
                                   QStringLiteral("Duration"), QStringLiteral("Result")});
    ListViewRuns->header()->setStretchLastSection(true);
    MemoOutput = new QPlainTextEdit(splitter);
    MemoOutput->setObjectName(QStringLiteral("MemoOutput"));
    MemoOutput->setAccessibleName(QStringLiteral("Output of the run"));
    MemoOutput->setReadOnly(true);
    MemoOutput->setUndoRedoEnabled(false);
    MemoOutput->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoOutput->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(splitter, 1);
    setTabOrder(ListViewRuns, MemoOutput);

    const int charWidth = MemoOutput->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    ListViewRuns->setColumnWidth(ColStart, charWidth * 22);
    ListViewRuns->setColumnWidth(ColHow, charWidth * 11);
    ListViewRuns->setColumnWidth(ColDuration, charWidth * 12);
    resize(charWidth * 100, charWidth * 50);

    connect(ListViewRuns, &QTreeWidget::currentItemChanged, this, [this] { ShowOutput(); });
    auto* escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

TFormHistory* TFormHistory::ShowFor(QWidget* owner, history::THistory& runs,
                                    const std::string& taskGuid, const std::string& taskName) {
    auto* view = owner->findChild<TFormHistory*>(QString(), Qt::FindDirectChildrenOnly);
    if (view == nullptr)
        view = new TFormHistory(runs, owner);
    // Opened again, it comes beside the window again.
    if (!view->isVisible())
        ui::PlaceBeside(view, owner);
    view->ShowTask(taskGuid, taskName);
    view->show();
    view->raise();
    view->activateWindow();
    return view;
}

void TFormHistory::ShowTask(const std::string& taskGuid, const std::string& taskName) {
    guid_ = taskGuid;
    setWindowTitle(QStringLiteral("History - ") + ui::ToDisplayText(taskName));
    const std::vector<TRunRecord> runs = runs_.RunsOf(taskGuid);
    LabelTask->setText(
        runs.empty()
            ? QStringLiteral("No runs of %1 recorded yet.").arg(ui::ToDisplayText(taskName))
            : QStringLiteral("Runs of %1, newest first:").arg(ui::ToDisplayText(taskName)));
    ListViewRuns->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(runs.size()));
    for (const TRunRecord& run : runs) {
        const bool running = run.Outcome == TRunOutcome::Running;
        const QString result = ui::ReasonInWords(ResultText(run));
        auto* row = new QTreeWidgetItem(
            QStringList{ui::ToDisplayText(dt::FormatDateTime("yyyy-mmm-dd hh:nn:ss", run.Start)),
                        ui::ToDisplayText(run.HowStarted),
                        running ? QString() : DurationText(DurationMs(run)), result});
        // A narrow column cuts its text: the tip holds all of it.
        for (int column = 0; column < ColumnCount; ++column)
            row->setToolTip(column, row->text(column));
        // Only the tail is kept: a full tail means its start was dropped (or
        // that the output was exactly that long).
        QString output = OutputText(run.Output);
        if (run.Output.size() >= RunOutputTailBytes)
            output.prepend(QStringLiteral("... earlier output not kept\n"));
        // A start that failed wrote nothing: its reason stands for its output.
        if (run.Outcome == TRunOutcome::NotStarted && output.isEmpty())
            output = result;
        row->setData(0, Qt::UserRole, output);
        if (IsFailure(run)) {
            row->setIcon(ColResult, style()->standardIcon(QStyle::SP_MessageBoxWarning));
            row->setData(ColResult, Qt::AccessibleDescriptionRole,
                         QStringLiteral("failed: ") + result);
        }
        rows.append(row);
    }
    ListViewRuns->addTopLevelItems(rows);
    if (!rows.isEmpty())
        ListViewRuns->setCurrentItem(rows.first());
    ShowOutput();
}

void TFormHistory::ShowOutput() {
    const QTreeWidgetItem* row = ListViewRuns->currentItem();
    MemoOutput->setPlainText(row ? row->data(0, Qt::UserRole).toString() : QString());
    // The end of a run's output is where it says what went wrong.
    MemoOutput->moveCursor(QTextCursor::End);
    MemoOutput->verticalScrollBar()->setValue(MemoOutput->verticalScrollBar()->maximum());
}
