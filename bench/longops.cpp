// The long operations through the real main view, against the plain
// programs on the same input.

#include "harness.h"

namespace {

// One long operation through the real main view, against the plain program
// on the same input in the same run: `operation` runs it in the view,
// `baseline` is the command line, run in an empty folder.
struct TimedOperation
{
    QString name;
    std::function<void()> operation;
    QString baseline;
};

} // namespace

int benchLongOperations(int runs)
{
    App app;
    QTemporaryDir work;
    const QString archive = CommandExecutor::jreArchiveFor(QSysInfo::currentCpuArchitecture());
    // 300 MB in 20,000 files of random bytes (stored as they are) for the
    // zip; 60 MB in 600 files, gzipped, for the runtime archive.
    std::printf("making the inputs...\n");
    std::fflush(stdout);
    const bool made = shell(
        QStringLiteral(
            "mkdir -p cco/lib && head -c 300000000 /dev/urandom | split -b 15000 -d -a 5 - "
            "cco/lib/part && printf '#!/bin/bash\\n' > cco/run.sh && chmod +x cco/run.sh && "
            "(cd cco && zip -q -r -0 ../cco.zip .) && "
            "mkdir -p jre/sapmachine-jre-17.0.6/bin app/assets && "
            "head -c 60000000 /dev/urandom | split -b 100000 -d -a 3 - "
            "jre/sapmachine-jre-17.0.6/part && printf '#!/bin/sh\\n' > "
            "jre/sapmachine-jre-17.0.6/bin/java && chmod +x jre/sapmachine-jre-17.0.6/bin/java && "
            "tar -C jre -czf app/assets/%1 sapmachine-jre-17.0.6 && rm -rf cco jre && "
            "for d in $(seq 0 99); do mkdir -p many/lib/d$d && head -c 20000 /dev/urandom | "
            "split -b 20 -a 3 -d - many/lib/d$d/f; done && printf '#!/bin/bash\\n' > many/run.sh "
            "&& "
            "(cd many && zip -q -r ../many.zip .) && rm -rf many")
            .arg(archive),
        work.path());
    if (!made || archive.isEmpty()) {
        std::fprintf(stderr, "could not make the inputs\n");
        return 1;
    }
    QDir::setCurrent(work.filePath(QStringLiteral("app")));
    app.install(QStringLiteral("sleep 600"));
    app.installRuntime();
    app.load();
    // The countdown would start CCO: this is about the operations alone.
    QMetaObject::invokeMethod(app.root->findChild<QObject *>(QStringLiteral("supervisor")),
                              "cancelPending");

    const QString zip = work.filePath(QStringLiteral("cco.zip"));
    const QString many = work.filePath(QStringLiteral("many.zip"));
    const QList<TimedOperation> operations{
        {QStringLiteral("import of a 300 MB, 20,000-file zip over an installation"),
         [&] {
             QMetaObject::invokeMethod(app.root, "importZip",
                                       Q_ARG(QVariant, QUrl::fromLocalFile(zip).toString()));
         },
         QStringLiteral("unzip -q -o '%1'").arg(zip)},
        {QStringLiteral("unpack of a 60 MB runtime archive over a broken runtime"),
         [&] {
             // A runtime without bin/java is replaced.
             QFile::remove(app.appData() + QStringLiteral("/sapmachine-jre-17.0.6/bin/java"));
             QMetaObject::invokeMethod(app.executor, "runExtractJDK");
         },
         QStringLiteral("tar -xzf '%1'")
             .arg(work.filePath(QStringLiteral("app/assets/")) + archive)},
        {QStringLiteral("import of a 100,000-file zip of small files over an installation"),
         [&] {
             QMetaObject::invokeMethod(app.root, "importZip",
                                       Q_ARG(QVariant, QUrl::fromLocalFile(many).toString()));
         },
         QStringLiteral("unzip -o '%1' > /dev/null").arg(many)},
    };
    for (const TimedOperation &operation : operations) {
        std::vector<double> ratios, gaps, updates;
        for (int run = 0; run < runs; ++run) {
            const QString empty = work.filePath(QStringLiteral("baseline"));
            shell(QStringLiteral("rm -rf baseline && mkdir baseline && sync"), work.path());
            const long long baselineStart = nowMicros();
            // Beside the same frames as the operation: the view draws
            // every 5 ms throughout, which on two cores slows any program.
            shellWhileDrawing(operation.baseline, empty);
            const double baseline = (nowMicros() - baselineStart) / 1e6;
            shell(QStringLiteral("rm -rf baseline && sync"), work.path());

            shell(QStringLiteral("sync"));
            int progress = 0;
            auto counter = QObject::connect(app.executor, &CommandExecutor::operationChanged,
                                            [&] { ++progress; });
            const long long start = nowMicros();
            operation.operation();
            const long long end = nowMicros();
            QObject::disconnect(counter);
            const double seconds = (end - start) / 1e6;
            // The result's dialog, closed for the next run.
            if (QObject *dialog = app.root->property("errorDialog").value<QObject *>())
                QMetaObject::invokeMethod(dialog, "close");
            waitUntil([] { return false; }, 500);
            ratios.push_back(seconds / baseline);
            gaps.push_back(app.longestFrameGap(start, end) / 1000.0);
            updates.push_back(progress);
            std::printf("run %d: %.2f s against %.2f s (ratio %.2f), longest frame gap %.0f ms, "
                        "%d progress updates\n",
                        run + 1, seconds, baseline, ratios.back(), gaps.back(), progress);
            std::fflush(stdout);
        }
        std::printf(
            "%s, median of %d: time ratio %.2f, longest frame gap %.0f ms, %.0f progress updates\n",
            qPrintable(operation.name), runs, median(ratios), median(gaps), median(updates));
        std::printf("output area: %s\n", qPrintable(app.outputText().right(200)));
    }
    return 0;
}
