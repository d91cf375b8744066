// From CCO's readiness line to its page shown: on its own, and after a
// flood of output larger than the two files the runner keeps.

#include "harness.h"

#include "outputlog.h"

namespace {

// Milliseconds from the readiness line written to the web view drawn, or
// a negative number when the page was not shown within `timeoutMs`.
double readinessToDrawn(App &app, int timeoutMs)
{
    const QString folder = app.appData() + QStringLiteral("/CustomerCheckout/");
    QFile::remove(folder + QStringLiteral("logwriter.pid"));
    QFile::remove(folder + QStringLiteral("logwriter.ready"));
    auto number = [&](const char *name) {
        QFile file(folder + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    };
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
    const long long written = number("logwriter.ready");
    const int pid = int(number("logwriter.pid"));
    const double delay = shown && written ? (drawn - written) / 1000.0 : -1;
    // The next run starts once the supervisor has seen this CCO end.
    bool ended = false;
    auto connection =
        QObject::connect(app.executor, &CommandExecutor::processOutputChanged,
                         [&](const QString &output) { ended = ended || programEnded(output); });
    if (pid)
        ::kill(pid, SIGKILL);
    else
        std::fprintf(stderr, "no pid file: the stand-in CCO is left to the supervisor\n");
    if (!shown || !written)
        std::fprintf(stderr, "%s (%s); the log ends:\n%s\n",
                     !shown ? "the page was not shown" : "no readiness line was written",
                     qPrintable(app.root->findChild<QObject *>(QStringLiteral("supervisor"))
                                    ->property("status").toString()),
                     qPrintable(OutputLog::tail(app.appData(), 8).join(QLatin1Char('\n')).right(1500)));
    waitUntil([&] { return ended && !app.root->property("webViewVisible").toBool(); }, 30000);
    QObject::disconnect(connection);
    // Its restart after the death, cancelled as a person would.
    QMetaObject::invokeMethod(app.root->findChild<QObject *>(QStringLiteral("supervisor")), "cancelRestart");
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
