#include "ui/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace ui {

namespace {

const char* const EntryFileName = "qmtaskscheduler2.desktop";

// Characters that make an argument of an Exec value need quotes.
bool NeedsQuotes(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    for (QChar c : argument)
        if (reserved.contains(c))
            return true;
    return argument.isEmpty();
}

QString QuoteArgument(const QString& argument) {
    if (!NeedsQuotes(argument))
        return argument;
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

// A string value's escapes: the backslash itself and the control characters.
QString EscapeValue(const QString& value) {
    QString escaped;
    for (QChar c : value) {
        if (c == u'\\')
            escaped += QStringLiteral("\\\\");
        else if (c == u'\n')
            escaped += QStringLiteral("\\n");
        else if (c == u'\t')
            escaped += QStringLiteral("\\t");
        else if (c == u'\r')
            escaped += QStringLiteral("\\r");
        else
            escaped += c;
    }
    return escaped;
}

QString UnescapeValue(const QString& value) {
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        const QChar next = value[++i];
        if (next == u's')
            plain += u' ';
        else if (next == u'n')
            plain += u'\n';
        else if (next == u't')
            plain += u'\t';
        else if (next == u'r')
            plain += u'\r';
        else
            plain += next;
    }
    return plain;
}

// The first argument of an unescaped Exec value, quotes removed.
QString FirstArgument(const QString& exec) {
    QString argument;
    qsizetype i = 0;
    while (i < exec.size() && exec[i].isSpace())
        ++i;
    bool quoted = false;
    for (; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'\\' && i + 1 < exec.size())
                argument += exec[++i];
            else if (c == u'"')
                quoted = false;
            else
                argument += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c.isSpace()) {
            break;
        } else {
            argument += c;
        }
    }
    return argument.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

} // namespace

QString AutostartEntryPath() {
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + QLatin1String(EntryFileName);
}

QString AutostartExecValue(const QString& programPath) {
    QString program = QuoteArgument(programPath);
    program.replace(u'%', QStringLiteral("%%"));
    return EscapeValue(program + QStringLiteral(" --minimized"));
}

bool AutostartEntryStartsProgram(const QString& programPath) {
    QFile file(AutostartEntryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inEntry = false;
    bool hidden = false;
    QString exec;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inEntry || equals < 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QStringLiteral("Exec"))
            exec = UnescapeValue(value);
        else if (key == QStringLiteral("Hidden"))
            hidden = value == QStringLiteral("true");
    }
    return !hidden && !exec.isEmpty() && FirstArgument(exec) == programPath;
}

TAutostartResult WriteAutostartEntry(const QString& programPath) {
    // Qt gives an empty path, or one with replacement characters, for a
    // file name that is not text in the locale's code set; a desktop entry
    // is UTF-8 and cannot name such a file.
    if (programPath.isEmpty() || programPath.contains(QChar::ReplacementCharacter))
        return {false, QStringLiteral("the name of the program's folder is not UTF-8 text, which "
                                      "a login entry cannot hold")};
    const QString path = AutostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return {false,
                QStringLiteral("could not create the folder ") + QFileInfo(path).absolutePath()};
    // Written whole or not at all: a half entry could start anything at login.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {false, file.errorString() + QStringLiteral(": ") + path};
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Quillmar Task Scheduler\n"
                                        "Comment=Starts the scheduled tasks\n"
                                        "Exec=") +
                         AutostartExecValue(programPath) +
                         // Once the program is gone (a removed package), the
                         // login skips the entry instead of failing to start it.
                         QStringLiteral("\nTryExec=") + EscapeValue(programPath) +
                         QStringLiteral("\n"
                                        "Icon=qmtaskscheduler2\n"
                                        "Terminal=false\n"
                                        "X-GNOME-Autostart-enabled=true\n");
    file.write(text.toUtf8());
    if (!file.commit())
        return {false, file.errorString() + QStringLiteral(": ") + path};
    return {};
}

TAutostartResult RemoveAutostartEntry() {
    QFile file(AutostartEntryPath());
    if (!file.exists() || file.remove())
        return {};
    return {false, file.errorString() + QStringLiteral(": ") + file.fileName()};
}

} // namespace ui
