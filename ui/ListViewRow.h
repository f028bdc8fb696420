#pragma once

#include "lib/DateTimeUtil.h"

#include <QString>
#include <QTreeWidgetItem>

class TQMTask;

namespace ui {

// When the task starts next, seen at `now`, as its row's tool tip says it:
// "Next start: " and the moment as "yyyy-mmm-dd hh:nn", or a sentence that
// says why it will not start again.
QString NextStartText(const TQMTask& task, TDateTime now);

// A row of the task list. It refers to its task (not owned) under
// Qt::UserRole of column 0; its tool tip is worked out from the clock only
// when the view asks for it, so that filling many rows stays cheap and the
// tip is right however long ago the list was filled.
class TTaskRow : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QVariant data(int column, int role) const override;
};

} // namespace ui
