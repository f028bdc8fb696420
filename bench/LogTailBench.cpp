// Reading the newest 1,000 lines of the log for the log view, from logs of
// very different lengths: the cost follows the lines shown, not the file.
#include "ui/FLogView.h"
#include "ui/LogTail.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// A log of about `megabytes` MB of run lines, made once per size.
QString LogOf(int megabytes) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log-%1.log").arg(megabytes));
    if (QFile::exists(path))
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return path;
    const QByteArray line =
        "2026-Dec-07 09:41:00   task (Backup): executed (/usr/local/bin/backup-home)\r\n";
    QByteArray block;
    while (block.size() < (1 << 20))
        block += line;
    for (int i = 0; i < megabytes; ++i)
        file.write(block);
    return path;
}

void BM_LogTail(benchmark::State& state) {
    const QString path = LogOf(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const ui::TLogTail tail = ui::ReadLogTail(path, TFormLogView::MaxLines);
        benchmark::DoNotOptimize(tail.Lines.size());
    }
}
BENCHMARK(BM_LogTail)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
