// From CCO's readiness line to its page shown.

#include "harness.h"

int benchReadiness(int runs)
{
    App app;
    app.install(logwriter() + QStringLiteral(" ready"));
    app.load();
    std::vector<double> delays;
    for (int run = 0; run < runs; ++run) {
        long long written = 0;
        int pid = 0;
        auto connection = QObject::connect(
            app.executor, &CommandExecutor::processOutputChanged, [&](const QString &output) {
                for (const QString &line : output.split(QLatin1Char('\n'))) {
                    if (line.startsWith(QLatin1String("pid ")))
                        pid = line.mid(4).toInt();
                    else if (line.endsWith(QLatin1String(" Web container started.")))
                        written = line.section(QLatin1Char(' '), 0, 0).toLongLong();
                }
            });
        long long shown = 0;
        // Run CCO, as a person starts it: the supervisor shows its page.
        QMetaObject::invokeMethod(app.root->findChild<QObject *>(QStringLiteral("supervisor")),
                                  "start");
        waitUntil(
            [&] {
                if (!shown && app.root->property("webViewVisible").toBool())
                    shown = nowMicros();
                return shown != 0;
            },
            20000);
        // The frame that shows it.
        const size_t framesBefore = app.frames.size();
        waitUntil([&] { return app.frames.size() > framesBefore; }, 1000);
        const long long drawn = app.frames.size() > framesBefore ? app.frames[framesBefore] : shown;
        QObject::disconnect(connection);
        delays.push_back((drawn - written) / 1000.0);
        std::printf("run %d: readiness line to web view drawn %.1f ms\n", run + 1, delays.back());
        std::fflush(stdout);
        ::kill(pid, SIGKILL);
        waitUntil([&] { return !app.root->property("webViewVisible").toBool(); }, 10000);
        waitUntil([] { return false; }, 300);
    }
    std::printf("median of %d: %.1f ms (3000 ms wait plus %.1f ms; one frame is 16.7 ms)\n", runs,
                median(delays), median(delays) - 3000);
    return 0;
}
