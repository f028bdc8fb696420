#pragma once

// The lean reader of the start-up comparison: a list model whose rows are
// filled by parsing every key of every task section straight from the
// settings file's bytes (no QTextStream, no per-line strings), shown in a
// QTreeView as the program shows its list.

#include <QAbstractTableModel>
#include <QFile>
#include <QString>
#include <QTreeView>

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

namespace bench_support {

class TLeanTaskModel : public QAbstractTableModel {
public:
    // Every key of every task section: the five the list shows, and the rest
    // read as a program would have to, as views into the bytes.
    struct TRow {
        std::string_view Name, Frequency, Time, Active, LastRun;
        std::array<std::string_view, 24> Keys{};
        int KeyCount = 0;
    };

    bool Load(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes_ = file.readAll();
        const std::string_view text(bytes_.constData(), static_cast<std::size_t>(bytes_.size()));
        TRow* row = nullptr;
        for (std::size_t at = 0; at < text.size();) {
            std::size_t end = text.find('\n', at);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(at, end - at);
            at = end + 1;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.starts_with("[")) {
                row = line.starts_with("[tasks\\") ? &rows_.emplace_back() : nullptr;
                continue;
            }
            const std::size_t eq = line.find('=');
            if (row == nullptr || eq == std::string_view::npos)
                continue;
            const std::string_view key = line.substr(0, eq);
            const std::string_view value = line.substr(eq + 1);
            if (row->KeyCount < static_cast<int>(row->Keys.size()))
                row->Keys[static_cast<std::size_t>(row->KeyCount++)] = value;
            if (key == "taskname")
                row->Name = value;
            else if ((key == "daily" || key == "weekly" || key == "one_shot") && value == "1")
                row->Frequency = key;
            else if (key == "datetime")
                row->Time = value.substr(value.size() > 9 ? value.size() - 9 : 0);
            else if (key == "active")
                row->Active = value == "1" ? "Yes" : "No";
            else if (key == "datetime_lastexecuted")
                row->LastRun = value;
        }
        return !rows_.empty();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 5;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        const TRow& row = rows_[static_cast<std::size_t>(index.row())];
        const std::array<std::string_view, 5> cells{row.Name, row.Frequency, row.Time, row.Active,
                                                    row.LastRun};
        const std::string_view cell = cells[static_cast<std::size_t>(index.column())];
        return QString::fromUtf8(cell.data(), static_cast<qsizetype>(cell.size()));
    }

private:
    QByteArray bytes_;
    std::vector<TRow> rows_;
};

} // namespace bench_support
