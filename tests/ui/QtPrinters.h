#pragma once

#include <QDate>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTime>

#include <ostream>

// Readable failure messages for the Qt values that GUI tests compare.
// Included into every file of the GUI test program by its CMakeLists.txt.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{';
    for (qsizetype i = 0; i < l.size(); ++i)
        *os << (i ? ", \"" : "\"") << l[i].toStdString() << '"';
    *os << '}';
}
inline void PrintTo(const QSize& s, std::ostream* os) {
    *os << s.width() << 'x' << s.height();
}
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}
inline void PrintTo(const QDate& d, std::ostream* os) {
    *os << d.toString(Qt::ISODate).toStdString();
}
inline void PrintTo(const QTime& t, std::ostream* os) {
    *os << t.toString(QStringLiteral("HH:mm:ss.zzz")).toStdString();
}
QT_END_NAMESPACE
