// From CCO's readiness line to its page shown: on its own, and after a
// flood of output larger than the two files the runner keeps.

#include "harness.h"

namespace {

// Milliseconds from the readiness line written to the web view drawn, or
// a negative number when the page was not shown within `timeoutMs`.
double readinessToDrawn(App &app, int timeoutMs)
{
    long long written = 0;
    int pid = 0;
    auto connection = QObject::connect(
        app.executor, &CommandExecutor::processOutputChanged, [&](const QString &output) {
            if (!pid && output.startsWith(QLatin1String("pid ")))
                pid = output.mid(4, output.indexOf(QLatin1Char('\n')) - 4).toInt();
            const int at = output.indexOf(QLatin1String(" Web container started."));
            if (at >= 0)
                written = output.left(at).section(QLatin1Char('\n'), -1).toLongLong();
        });
    long long shown = 0;
    // Run CCO, as a person starts it: the supervisor shows its page.
    QMetaObject::invokeMethod(app.root->findChild<QObject *>(QStringLiteral("supervisor")), "start");
    waitUntil(
        [&] {
            if (!shown && app.root->property("webViewVisible").toBool())
                shown = nowMicros();
            return shown != 0;
        },
        timeoutMs);
    // The frame that shows it.
    const size_t framesBefore = app.frames.size();
    waitUntil([&] { return app.frames.size() > framesBefore; }, 1000);
    const long long drawn = app.frames.size() > framesBefore ? app.frames[framesBefore] : shown;
    QObject::disconnect(connection);
    const double delay = shown && written ? (drawn - written) / 1000.0 : -1;
    if (pid)
        ::kill(pid, SIGKILL);
    waitUntil([&] { return !app.root->property("webViewVisible").toBool(); }, 10000);
    waitUntil([] { return false; }, 300);
    return delay;
}

} // namespace

int benchReadiness(int runs)
{
    App app;
    app.install(logwriter() + QStringLiteral(" ready"));
    app.load();
    const qint64 floodBytes = qEnvironmentVariableIntValue("BENCH_FLOOD_MB") > 0
        ? qEnvironmentVariableIntValue("BENCH_FLOOD_MB") * 1000000LL
        : 1600LL * 1000 * 1000;
    for (const qint64 flood : {qint64(0), floodBytes}) {
        app.install(logwriter() + QStringLiteral(" ready ")
                    + (flood ? QString::number(flood) : QString()));
        std::vector<double> delays;
        for (int run = 0; run < runs; ++run) {
            delays.push_back(readinessToDrawn(app, flood ? 120000 : 20000));
            std::printf("run %d%s: readiness line to web view drawn %.1f ms\n", run + 1,
                        flood ? qPrintable(QStringLiteral(" after %1 MB").arg(flood / 1000000)) : "",
                        delays.back());
            std::fflush(stdout);
        }
        std::printf("median of %d%s: %.1f ms (3000 ms wait plus %.1f ms; one frame is 16.7 ms)\n",
                    runs, flood ? qPrintable(QStringLiteral(" after %1 MB").arg(flood / 1000000)) : "",
                    median(delays), median(delays) - 3000);
    }
    return 0;
}
