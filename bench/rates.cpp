// The highest steady output rate the window keeps up with.

#include "harness.h"

namespace {

// The largest lag (ms) of what the window shows behind a child writing at
// `rate` bytes a second for `seconds`, leaving out the first second: at each
// frame, the age of the newest line in the output area.
double lagAtRate(App &app, double rate, int seconds)
{
    app.install(logwriter() + QStringLiteral(" rate %1 %2").arg(rate, 0, 'f', 0).arg(seconds));
    long long worst = 0;
    bool ended = false;
    long long start = 0;
    auto endConnection =
        QObject::connect(app.executor, &CommandExecutor::processOutputChanged,
                         [&](const QString &output) { ended = ended || programEnded(output); });
    auto frameConnection = QObject::connect(&app.view, &QQuickWindow::frameSwapped, [&] {
        if (ended || nowMicros() - start < 1000000)
            return;
        const QString text = app.outputText();
        // The newest whole line: a chunk may end in the middle of one.
        const int lineEnd = text.endsWith(QLatin1Char('\n')) ? text.size() - 1
                                                              : text.lastIndexOf(QLatin1Char('\n'));
        const int lineStart = lineEnd > 0 ? text.lastIndexOf(QLatin1Char('\n'), lineEnd - 1) + 1 : 0;
        const long long written =
            text.mid(lineStart, text.indexOf(QLatin1Char(' '), lineStart) - lineStart).toLongLong();
        if (written > 0)
            worst = std::max(worst, nowMicros() - written);
    });
    start = nowMicros();
    QMetaObject::invokeMethod(app.executor, "runCCO");
    waitUntil([&] { return ended; }, (seconds + 120) * 1000);
    QObject::disconnect(endConnection);
    QObject::disconnect(frameConnection);
    return worst / 1000.0;
}

} // namespace

int benchRates()
{
    App app;
    app.load();
    const int seconds = 10;
    double kept = 0;
    for (double rate : {1e6, 2e6, 4e6, 8e6, 16e6, 32e6, 64e6, 128e6}) {
        const double lag = lagAtRate(app, rate, seconds);
        std::printf("%.0f MB/s for %d s: output at most %.0f ms behind\n", rate / 1e6, seconds,
                    lag);
        std::fflush(stdout);
        if (lag > 1000)
            break;
        kept = rate;
    }
    std::printf("highest steady rate kept within 1 s: %.0f MB/s\n", kept / 1e6);
    return 0;
}
