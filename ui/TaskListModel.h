#pragma once

#include "lib/DateTimeUtil.h"

#include <QAbstractTableModel>
#include <QString>

#include <vector>

class TQMTask;
class TQMTaskScheduler;

// Rows hand out their task (not owned) under Qt::UserRole.
Q_DECLARE_METATYPE(TQMTask*)

namespace ui {

// When the task starts next, seen at `now`, as its row's tool tip says it:
// "Next start: " and the moment as "yyyy-mmm-dd hh:nn", or a sentence that
// says why it will not start again.
QString NextStartText(const TQMTask& task, TDateTime now);

// The task list as the main window's five columns. A row is only an entry of
// an order over the tasks: its texts are made from the task when the view
// paints it, so that filling and changing the list costs no object per row.
// Sorted, rows follow the tasks' order for the column, and rows that compare
// equal keep the task list's order, ascending or descending alike.
class TTaskListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ColName = 0, ColFrequency, ColTime, ColActive, ColLastExecuted, ColumnCount };

    explicit TTaskListModel(const TQMTaskScheduler& taskList, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The row's task; nullptr outside the rows.
    TQMTask* TaskAt(int row) const;
    // The task's row; -1 when it has none.
    int RowOf(const TQMTask* task) const;

    // -1: the task list's order. Re-sorts the rows in place.
    void SetSort(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }

    // All rows again from the task list, in the given order (a model reset).
    void Refill(int column, bool ascending);
    // The task the list gained last: one row inserted at its place.
    void TaskAppended(TQMTask* task);
    // A task the list has just dropped (not read): its row goes.
    void TaskRemoved(const TQMTask* task);
    // A listed task whose values changed: its row is repainted, or moves
    // when its place in the sorted order changed.
    void TaskChanged(const TQMTask* task);

private:
    struct TRow {
        TQMTask* Task = nullptr;
        int ListIndex = 0; // place in the task list: the order of equal rows
    };
    bool Before(const TRow& a, const TRow& b) const;
    // Where the row goes among the others, by the sort order.
    int PlaceOf(const TRow& row) const;

    const TQMTaskScheduler& taskList_;
    std::vector<TRow> rows_;
    int sortColumn_ = -1;
    bool ascending_ = true;
};

} // namespace ui
