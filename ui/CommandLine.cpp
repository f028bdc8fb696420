#include "ui/CommandLine.h"

#include "ui/Version.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <cstdio>

namespace ui {

namespace {

constexpr int UsageErrorStatus = 2;

} // namespace

TCommandLine ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillmar Task Scheduler: starts your programs and documents at the "
                       "times you set, while it runs."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and end."));
    const QCommandLineOption minimized(
        QStringLiteral("minimized"),
        QStringLiteral("Start hidden in the notification area (minimised when the desktop has "
                       "none). Tasks run as usual."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(minimized);

    // Without an application object the usage line names no program.
    QString usage = parser.helpText();
    if (!arguments.isEmpty())
        usage.replace(QStringLiteral("<executable_name>"), arguments.first());

    TCommandLine command;
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first();
    if (!error.isEmpty()) {
        command.Action = TCommandLine::TAction::Error;
        command.Text = error + QStringLiteral("\n\n") + usage;
    } else if (parser.isSet(help)) {
        command.Action = TCommandLine::TAction::Help;
        command.Text = usage;
    } else if (parser.isSet(version)) {
        command.Action = TCommandLine::TAction::Version;
        command.Text = QStringLiteral("Quillmar Task Scheduler\nVersion ") +
                       QLatin1String(ProgramVersion) + u'\n';
    }
    command.Minimized = parser.isSet(minimized);
    return command;
}

int ReportCommandLine(const TCommandLine& command) {
    const QByteArray text = command.Text.toLocal8Bit();
    const bool failed = command.Action == TCommandLine::TAction::Error;
    std::fputs(text.constData(), failed ? stderr : stdout);
    return failed ? UsageErrorStatus : 0;
}

} // namespace ui
