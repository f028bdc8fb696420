#pragma once

// How the idle benchmarks measure a window that waits: the CPU time of a span
// of the event loop after a warm-up, for the program's window and for a bare
// Qt window with the same two timers.

#include <QDateTime>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace bench_support {

constexpr int IdleWarmUpMs = 2000;

// Runs the event loop for the span after a warm-up and prints the CPU time
// the process took during the span, in milliseconds.
inline int MeasureIdle(int spanMs) {
    QEventLoop warmUp;
    QTimer::singleShot(IdleWarmUpMs, &warmUp, &QEventLoop::quit);
    warmUp.exec();
    // A loop of our own: quitting the application would close the window,
    // which may ask first.
    const std::clock_t start = std::clock();
    QEventLoop span;
    QTimer::singleShot(spanMs, &span, &QEventLoop::quit);
    span.exec();
    std::printf("%.3f\n", 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    return 0;
}

// A bare Qt window of the program's size with its two timers: a status-bar
// text set every second, an empty handler every two seconds. Shown once
// made; needs the application object.
class TBareWindow {
public:
    TBareWindow() {
        auto* clock = new QLabel(&window_); // owned by the window
        window_.statusBar()->addWidget(clock);
        QObject::connect(&second_, &QTimer::timeout, [clock] {
            clock->setText(
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MMM-dd hh:mm:ss")));
        });
        second_.start(1000);
        QObject::connect(&poll_, &QTimer::timeout, [] {});
        poll_.start(2000);
        window_.resize(665, 480);
        window_.show();
    }

private:
    QMainWindow window_;
    QTimer second_;
    QTimer poll_;
};

// The bare window, measured as MeasureIdle measures.
inline int MeasureIdleBareWindow(int spanMs) {
    const TBareWindow window;
    return MeasureIdle(spanMs);
}

} // namespace bench_support
