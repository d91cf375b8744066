// 200 MB of CCO-like output through the output area: time against the
// child alone, memory and the longest frame gap.

#include "harness.h"

int benchOutput(int runs)
{
    const qint64 bytes = qEnvironmentVariableIntValue("BENCH_BYTES") > 0
        ? qEnvironmentVariableIntValue("BENCH_BYTES")
        : 200LL * 1000 * 1000;
    App app;
    app.install(logwriter() + QStringLiteral(" flood ") + QString::number(bytes));
    app.load();
    const long idleKiB = residentKiB();
    std::vector<double> timeRatios, memoryRatios, gaps;

    for (int run = 0; run < runs; ++run) {
        // Baseline: the same child writing to /dev/null.
        QProcess baseline;
        baseline.setStandardOutputFile(QProcess::nullDevice());
        const long long baselineStart = nowMicros();
        baseline.start(logwriter(), {QStringLiteral("flood"), QString::number(bytes)});
        baseline.waitForFinished(-1);
        const double baselineSeconds = (nowMicros() - baselineStart) / 1e6;

        long peakKiB = residentKiB();
        bool ended = false;
        auto connection = QObject::connect(app.executor, &CommandExecutor::processOutputChanged,
                                           [&](const QString &output) {
                                               peakKiB = std::max(peakKiB, residentKiB());
                                               ended = ended || programEnded(output);
                                           });
        const long long start = nowMicros();
        QMetaObject::invokeMethod(app.executor, "runCCO");
        waitUntil([&] { return ended; }, 30 * 60 * 1000);
        const long long end = nowMicros();
        QObject::disconnect(connection);
        const double seconds = (end - start) / 1e6;
        const QString text = app.outputText();
        if (!text.endsWith(QLatin1String("terminal 4711 OK\nThe program ended with exit code 0.")))
            std::fprintf(stderr, "output area does not end with the last line\n");
        waitUntil([] { return false; }, 1000);
        peakKiB = std::max(peakKiB, residentKiB());

        timeRatios.push_back(seconds / baselineSeconds);
        memoryRatios.push_back(double(peakKiB) / idleKiB);
        gaps.push_back(app.longestFrameGap(start, end) / 1000.0);
        std::printf(
            "run %d: %.1f MB in %.2f s (baseline %.2f s, ratio %.2f); resident %ld -> %ld KiB "
            "(ratio %.2f); longest frame gap %.0f ms\n",
            run + 1, bytes / 1e6, seconds, baselineSeconds, timeRatios.back(), idleKiB, peakKiB,
            memoryRatios.back(), gaps.back());
        std::fflush(stdout);
    }
    std::printf("median of %d: time ratio %.2f, memory ratio %.2f, longest frame gap %.0f ms\n",
                runs, median(timeRatios), median(memoryRatios), median(gaps));
    return 0;
}
