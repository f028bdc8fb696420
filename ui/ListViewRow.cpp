#include "ui/ListViewRow.h"

#include "scheduler/NextStart.h"
#include "scheduler/classQMTask.h"
#include "ui/ByteText.h"
#include "ui/FMain.h"

namespace ui {

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

QVariant TTaskRow::data(int column, int role) const {
    if (role == Qt::ToolTipRole)
        if (const auto* task = QTreeWidgetItem::data(0, Qt::UserRole).value<TQMTask*>())
            return NextStartText(*task, dt::Now());
    return QTreeWidgetItem::data(column, role);
}

} // namespace ui
