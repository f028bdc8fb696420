#include "ui/TaskListModel.h"

#include "scheduler/NextStart.h"
#include "scheduler/classQMTask.h"
#include "scheduler/classQMTaskScheduler.h"
#include "ui/ByteText.h"
#include "ui/ReasonText.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <array>

namespace ui {

namespace {

const char* const ColumnCaptions[TTaskListModel::ColumnCount] = {"Taak name", "Frequency", "Time",
                                                                 "Active", "Last started on"};
// Sort key of the task ordering for each column.
constexpr std::array<int, TTaskListModel::ColumnCount> ColumnSortKeys{2, 4, 0, 3, 1};

} // namespace

QString NextStartText(const TQMTask& task, TDateTime now) {
    const TNextStart next = NextStart(task, now);
    switch (next.Kind) {
    case TNextStart::TKind::At:
        return QStringLiteral("Next start: ") +
               ToDisplayText(dt::FormatDateTime("yyyy-mmm-dd hh:nn", next.When));
    case TNextStart::TKind::OneShotPast:
        return QStringLiteral("Its date has passed: it will not start again.");
    case TNextStart::TKind::NoWeekday:
        return QStringLiteral("No weekday is checked: it will not start.");
    case TNextStart::TKind::Inactive:
        break;
    }
    return task.Active ? QStringLiteral("No frequency is chosen: it will not start.")
                       : QStringLiteral("Not active: it will not start.");
}

TTaskListModel::TTaskListModel(const TQMTaskScheduler& taskList, QObject* parent)
    : QAbstractTableModel(parent), taskList_(taskList) {}

int TTaskListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TTaskListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTaskListModel::data(const QModelIndex& index, int role) const {
    const TQMTask* task = TaskAt(index.row());
    if (task == nullptr || index.column() < 0 || index.column() >= ColumnCount)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ColName:
            return ToDisplayText(task->TaskName);
        case ColFrequency:
            return ToDisplayText(task->FrequencyText());
        case ColTime:
            return ToDisplayText(task->TimeText());
        case ColActive:
            return ToDisplayText(task->ActiveText());
        default:
            return ToDisplayText(task->LastExecutedText());
        }
    case Qt::ToolTipRole: {
        // The frequency column keeps its width and elides a long weekday
        // list, so the row's tip holds the whole frequency; the next start
        // comes from the clock of the moment the pointer rests on the row.
        QString tip =
            ToDisplayText(task->FrequencyText()) + u'\n' + NextStartText(*task, dt::Now());
        if (!task->LastResult.empty())
            tip += QStringLiteral("\nLast run: ") + ReasonInWords(task->LastResult);
        return tip;
    }
    case Qt::AccessibleDescriptionRole:
        // The mark is a picture: a screen reader reads this instead.
        if (index.column() == ColName && task->LastRunFailed)
            return QStringLiteral("last run failed: ") + ReasonInWords(task->LastResult);
        return {};
    case Qt::DecorationRole:
        // A failure shows at a glance, in the first column.
        if (index.column() == ColName && task->LastRunFailed)
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return {};
    case Qt::UserRole:
        return QVariant::fromValue(TaskAt(index.row()));
    default:
        return {};
    }
}

QVariant TTaskListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    return QString::fromLatin1(ColumnCaptions[section]);
}

Qt::ItemFlags TTaskListModel::flags(const QModelIndex& index) const {
    // No caption is ever edited in place.
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

TQMTask* TTaskListModel::TaskAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= rows_.size())
        return nullptr;
    return rows_[static_cast<std::size_t>(row)].Task;
}

int TTaskListModel::RowOf(const TQMTask* task) const {
    if (task == nullptr)
        return -1;
    const auto it = std::find_if(rows_.begin(), rows_.end(),
                                 [task](const TRow& row) { return row.Task == task; });
    return it == rows_.end() ? -1 : static_cast<int>(it - rows_.begin());
}

bool TTaskListModel::Before(const TRow& a, const TRow& b) const {
    if (sortColumn_ >= 0) {
        const int key = ColumnSortKeys[static_cast<std::size_t>(sortColumn_)];
        if (a.Task->IsLessThan(b.Task, key))
            return ascending_;
        if (b.Task->IsLessThan(a.Task, key))
            return !ascending_;
    }
    return a.ListIndex < b.ListIndex;
}

int TTaskListModel::PlaceOf(const TRow& row) const {
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), row,
                                     [this](const TRow& a, const TRow& b) { return Before(a, b); });
    return static_cast<int>(it - rows_.begin());
}

void TTaskListModel::SetSort(int column, bool ascending) {
    beginResetModel();
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    ascending_ = ascending;
    // A comparison that raises leaves the rows as they were, all of them.
    std::vector<TRow> sorted = rows_;
    try {
        std::sort(sorted.begin(), sorted.end(),
                  [this](const TRow& a, const TRow& b) { return Before(a, b); });
    } catch (...) {
        endResetModel();
        throw;
    }
    rows_ = std::move(sorted);
    endResetModel();
}

void TTaskListModel::Refill(int column, bool ascending) {
    beginResetModel();
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    ascending_ = ascending;
    rows_.clear();
    const int count = taskList_.Count();
    rows_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        rows_.push_back({taskList_.GetTask(i), i});
    try {
        if (sortColumn_ >= 0)
            std::sort(rows_.begin(), rows_.end(),
                      [this](const TRow& a, const TRow& b) { return Before(a, b); });
    } catch (...) {
        endResetModel();
        throw;
    }
    endResetModel();
}

void TTaskListModel::TaskAppended(TQMTask* task) {
    const TRow row{task, taskList_.Count() - 1};
    const int place = PlaceOf(row);
    beginInsertRows({}, place, place);
    rows_.insert(rows_.begin() + place, row);
    endInsertRows();
}

void TTaskListModel::TaskRemoved(const TQMTask* task) {
    const int place = RowOf(task);
    if (place < 0)
        return;
    const int listIndex = rows_[static_cast<std::size_t>(place)].ListIndex;
    beginRemoveRows({}, place, place);
    rows_.erase(rows_.begin() + place);
    // The tasks behind it in the list moved up one place.
    for (TRow& row : rows_)
        if (row.ListIndex > listIndex)
            --row.ListIndex;
    endRemoveRows();
}

void TTaskListModel::TaskChanged(const TQMTask* task) {
    const int place = RowOf(task);
    if (place < 0)
        return;
    const auto at = static_cast<std::size_t>(place);
    const TRow row = rows_[at];
    const bool inOrder = (at == 0 || Before(rows_[at - 1], row)) &&
                         (at + 1 == rows_.size() || Before(row, rows_[at + 1]));
    if (!inOrder) {
        // Out of the order and back in at its place, by the same comparison.
        beginRemoveRows({}, place, place);
        rows_.erase(rows_.begin() + place);
        endRemoveRows();
        const int to = PlaceOf(row);
        beginInsertRows({}, to, to);
        rows_.insert(rows_.begin() + to, row);
        endInsertRows();
        return;
    }
    emit dataChanged(index(place, 0), index(place, ColumnCount - 1));
}

} // namespace ui
