// Measurements of the app as it runs: the real main view from the compiled-in
// resources over the real backend, in a window, started the way main() starts
// it. Each figure is reported against a baseline measured in the same run.
//
//   varnolet-bench output [RUNS]      200 MB through the output area
//   varnolet-bench rates              highest steady output rate kept up with
//   varnolet-bench readiness [RUNS]   readiness line to web view shown
//   varnolet-bench startup [RUNS]     process start to first frame, against a
//                                     window that only imports the same modules
//   varnolet-bench soak MINUTES DEMO_APP_DIR DEMO_ZIP
//
// The logwriter helper must lie beside this program.

#include "qmltypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtQml>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace {

long long nowMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Runs the event loop until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QString logwriter()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/logwriter");
}

// The app's window with the real main view, as main() sets it up.
struct App
{
    QQuickView view;
    QObject *root = nullptr;
    CommandExecutor *executor = nullptr;
    std::vector<long long> frames; // frame swap times, microseconds
    QTemporaryDir dataHome;

    App()
    {
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
        QObject::connect(&view, &QQuickWindow::frameSwapped,
                         [this] { frames.push_back(nowMicros()); });
    }

    void load()
    {
        view.setSource(QUrl(QStringLiteral("qrc:/Main.qml")));
        view.setResizeMode(QQuickView::SizeRootObjectToView);
        view.show();
        root = view.rootObject();
        executor = root->findChild<CommandExecutor *>();
        // A frame asked for every 5 ms, so that every frame the GUI thread can
        // deliver is drawn: a gap between frames is time it was blocked. (An
        // animation in QML would do the same but speed up the view's timers
        // where frames come faster than the display's rate.)
        auto *repaint = new QTimer(&view);
        QObject::connect(repaint, &QTimer::timeout, &view, &QQuickWindow::update);
        repaint->start(5);
        waitUntil([] { return false; }, 1500); // settle
    }

    QString appData() const { return dataHome.path() + QStringLiteral("/varnolet.quindrel"); }

    // An installation whose run.sh runs `command`.
    void install(const QString &command)
    {
        QDir().mkpath(appData() + QStringLiteral("/CustomerCheckout"));
        QFile run(appData() + QStringLiteral("/CustomerCheckout/run.sh"));
        run.open(QIODevice::WriteOnly | QIODevice::Truncate);
        run.write("#!/bin/bash\nexec " + command.toUtf8() + "\n");
        run.close();
        run.setPermissions(run.permissions() | QFileDevice::ExeOwner);
    }

    // A runtime that passes the check.
    void installRuntime()
    {
        const QString java = appData() + QStringLiteral("/sapmachine-jre-17.0.6/bin/java");
        QDir().mkpath(QFileInfo(java).absolutePath());
        QFile file(java);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n");
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }

    QString outputText() const
    {
        return root->findChild<QObject *>(QStringLiteral("commandOutput"))
            ->property("text")
            .toString();
    }

    long long longestFrameGap(long long from, long long to) const
    {
        long long gap = 0;
        long long previous = from;
        for (long long t : frames) {
            if (t < from || t > to)
                continue;
            gap = std::max(gap, t - previous);
            previous = t;
        }
        return std::max(gap, to - previous);
    }
};

bool programEnded(const QString &output)
{
    return output.startsWith(QLatin1String("The program "));
}

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

bool postStop()
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), 9999);
    if (!socket.waitForConnected(3000))
        return false;
    socket.write("POST /stop HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
    socket.waitForBytesWritten(3000);
    socket.waitForReadyRead(3000);
    return socket.readAll().contains("200");
}

// The pid of the java child of this process's children, if any.
int demoCcoPid()
{
    const QString self = QString::number(QCoreApplication::applicationPid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(' ');
        if (fields.size() > 3 && fields[1] == "(java)" && fields[3] == self.toUtf8())
            return entry.toInt();
    }
    return 0;
}

int benchSoak(double minutes, const QString &demoApp, const QString &demoZip)
{
    qputenv("DEMO_CCO_LOG_RATE", "204800");
    App app;
    QDir::setCurrent(demoApp);
    {
        // Provisioned with the same backend, as varnolet-provision does it.
        CommandExecutor provisioner;
        provisioner.runExtractJDK();
        provisioner.extractCustomCCOZip(demoZip, QStringLiteral("CustomerCheckout"), true);
        provisioner.patchInstallation();
    }
    app.load(); // the check passes: the countdown starts the demo CCO
    if (!waitUntil([&] { return app.root->property("webViewVisible").toBool(); }, 60000)) {
        std::fprintf(stderr, "the demo CCO did not come up\n");
        return 1;
    }
    const long long start = nowMicros();
    long atOneMinute = 0;
    long last = 0;
    for (long long next = start; (nowMicros() - start) < minutes * 60e6; next += 10000000) {
        waitUntil([&] { return nowMicros() >= next; }, 20000);
        last = residentKiB();
        const double elapsed = (nowMicros() - start) / 60e6;
        if (!atOneMinute && elapsed >= 1.0)
            atOneMinute = last;
        std::printf("%6.2f min: resident %ld KiB, output area %d characters\n", elapsed, last,
                    app.outputText().size());
        std::fflush(stdout);
    }
    if (!atOneMinute)
        atOneMinute = last;
    std::printf("resident after 1 min %ld KiB, at the end %ld KiB: ratio %.3f\n", atOneMinute, last,
                double(last) / atOneMinute);

    const int pid = demoCcoPid();
    std::printf("killing the demo CCO (pid %d) with SIGKILL\n", pid);
    ::kill(pid, SIGKILL);
    const bool hidden =
        waitUntil([&] { return !app.root->property("webViewVisible").toBool(); }, 10000);
    std::printf("maintenance screen back: %s\n", hidden ? "yes" : "NO");
    QObject *runButton = app.root->findChild<QObject *>(QStringLiteral("runButton"));
    QMetaObject::invokeMethod(runButton, "clicked");
    const bool again =
        waitUntil([&] { return app.root->property("webViewVisible").toBool(); }, 60000);
    std::printf("started again from the maintenance screen: %s\n", again ? "yes" : "NO");
    postStop();
    waitUntil([&] { return !app.root->property("webViewVisible").toBool(); }, 10000);
    return hidden && again ? 0 : 1;
}

// Milliseconds from the start of `program` to its first frame, as its render
// loop reports it.
double timeToFirstFrame(const QString &program, const QString &workingDirectory,
                        const QStringList &arguments = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("qt.scenegraph.time.renderloop=true"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(workingDirectory);
    const long long start = nowMicros();
    process.start(program, arguments);
    QByteArray output;
    long long framed = 0;
    while (!framed && process.waitForReadyRead(60000)) {
        output += process.readAll();
        if (output.contains("Frame prepared"))
            framed = nowMicros();
    }
    process.kill();
    process.waitForFinished();
    return framed ? (framed - start) / 1000.0 : -1;
}

int benchStartup(int runs)
{
    // An installation that passes the check, so that the app counts down.
    App home;
    home.install(QStringLiteral("sleep 600"));
    home.installRuntime();
    const QString binaries = QCoreApplication::applicationDirPath();
    std::vector<double> app, minimal, ratios;
    for (int run = 0; run < runs; ++run) {
        minimal.push_back(
            timeToFirstFrame(binaries + QStringLiteral("/minimal-window"), home.dataHome.path()));
        app.push_back(
            timeToFirstFrame(binaries + QStringLiteral("/../varnolet"), home.dataHome.path()));
        ratios.push_back(app.back() / minimal.back());
        std::printf("run %d: varnolet %.0f ms, minimal window %.0f ms, ratio %.3f\n", run + 1,
                    app.back(), minimal.back(), ratios.back());
        std::fflush(stdout);
    }
    std::printf("median of %d: varnolet %.0f ms, minimal window %.0f ms, ratio %.3f\n", runs,
                median(app), median(minimal), median(ratios));
    return 0;
}

// Runs a shell command line to its end; true on exit code 0.
bool shell(const QString &command, const QString &workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), command});
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

// One long operation through the real main view, against the plain program
// on the same input in the same run: `operation` runs it in the view,
// `baseline` is the command line, run in an empty folder.
struct LongOperation
{
    QString name;
    std::function<void()> operation;
    QString baseline;
};

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
    const QList<LongOperation> operations{
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
    for (const LongOperation &operation : operations) {
        std::vector<double> ratios, gaps, updates;
        for (int run = 0; run < runs; ++run) {
            const QString empty = work.filePath(QStringLiteral("baseline"));
            shell(QStringLiteral("rm -rf baseline && mkdir baseline && sync"), work.path());
            const long long baselineStart = nowMicros();
            shell(operation.baseline, empty);
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

// The main view, or a variant of it, in a window as the app shows it.
int showWindow(const QString &qml)
{
    auto *view = new QQuickView;
    view->setSource(QUrl::fromLocalFile(qml));
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->show();
    return qApp->exec();
}

// `document` without the block that starts with the line `opening`, up to
// its closing brace.
QString without(const QString &document, const QString &opening)
{
    const int start = document.indexOf(opening);
    if (opening.isEmpty() || start < 0)
        return document;
    int depth = 0;
    for (int i = document.indexOf(QLatin1Char('{'), start); i < document.size(); ++i) {
        if (document[i] == QLatin1Char('{'))
            ++depth;
        else if (document[i] == QLatin1Char('}') && --depth == 0)
            return document.left(start) + document.mid(i + 1);
    }
    return document;
}

// What each element of the main view adds to the time to its first frame:
// the view without it against the whole view, medians of `runs`.
int benchElements(int runs)
{
    App home;
    home.install(QStringLiteral("sleep 600"));
    home.installRuntime();
    QTemporaryDir folder;
    auto resource = [](const QString &name) {
        QFile file(QStringLiteral(":/") + name);
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    };
    const QString main = resource(QStringLiteral("Main.qml"));
    // The view's other documents, beside each variant of it.
    for (const QString &name : QDir(QStringLiteral(":/")).entryList({QStringLiteral("*.qml")})) {
        QFile copy(folder.filePath(name));
        copy.open(QIODevice::WriteOnly);
        copy.write(resource(name).toUtf8());
    }

    const QList<QPair<QString, QString>> elements{
        {QStringLiteral("whole view"), QString()},
        {QStringLiteral("web view and its profile (declared, not created)"),
         QStringLiteral("        CcoWebView {")},
        {QStringLiteral("screen saver"), QStringLiteral("        ScreenSaver {")},
        {QStringLiteral("page header"), QStringLiteral("        header: PageHeader {")},
        {QStringLiteral("maintenance screen"), QStringLiteral("        MaintenanceScreen {")},
        {QStringLiteral("countdown"),
         QStringLiteral("        Text {\n            id: countdownText")},
        {QStringLiteral("shell settings"), QStringLiteral("    GSettings {")},
        {QStringLiteral("backend"), QStringLiteral("        CommandExecutor {")},
        {QStringLiteral("supervisor"), QStringLiteral("        CcoSupervisor {")},
        {QStringLiteral("operation overlay"), QStringLiteral("    OperationOverlay {")},
        {QStringLiteral("picker and dialogs (declared, not created)"),
         QStringLiteral("    Component {\n        id: contentPickerComponent")},
    };
    // A part that is not found would measure the whole view under its name.
    for (const auto &[name, opening] : elements) {
        if (!opening.isEmpty() && without(main, opening) == main) {
            std::fprintf(stderr, "elements: the part \"%s\" is not in Main.qml as \"%s\"\n",
                         qPrintable(name), qPrintable(opening));
            return 1;
        }
    }
    std::vector<std::vector<double>> times(elements.size());
    for (int run = 0; run < runs; ++run) {
        for (int i = 0; i < elements.size(); ++i) {
            const QString path = folder.filePath(QStringLiteral("Variant%1.qml").arg(i));
            QFile variant(path);
            variant.open(QIODevice::WriteOnly | QIODevice::Truncate);
            variant.write(without(main, elements[i].second).toUtf8());
            variant.close();
            times[i].push_back(timeToFirstFrame(QCoreApplication::applicationFilePath(),
                                                home.dataHome.path(),
                                                {QStringLiteral("window"), path}));
        }
        std::fprintf(stderr, "run %d of %d\n", run + 1, runs);
    }
    const double whole = median(times[0]);
    std::printf("%-70s %6.0f ms\n", "whole view, time to first frame", whole);
    for (int i = 1; i < elements.size(); ++i)
        std::printf("%-70s %6.0f ms\n", qPrintable(elements[i].first), whole - median(times[i]));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "true");
    qputenv("GSETTINGS_BACKEND", "memory");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    registerBackendTypes();
    const QStringList args = app.arguments().mid(1);
    const QString mode = args.value(0);
    if (mode == QLatin1String("window") && args.size() == 2)
        return showWindow(args.value(1));
    // The backend's debug lines would only measure the terminal.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (qEnvironmentVariableIsSet("BENCH_VERBOSE"))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    if (mode == QLatin1String("output"))
        return benchOutput(args.value(1, QStringLiteral("3")).toInt());
    if (mode == QLatin1String("rates"))
        return benchRates();
    if (mode == QLatin1String("readiness"))
        return benchReadiness(args.value(1, QStringLiteral("5")).toInt());
    if (mode == QLatin1String("startup"))
        return benchStartup(args.value(1, QStringLiteral("7")).toInt());
    if (mode == QLatin1String("longops"))
        return benchLongOperations(args.value(1, QStringLiteral("3")).toInt());
    if (mode == QLatin1String("elements"))
        return benchElements(args.value(1, QStringLiteral("5")).toInt());
    if (mode == QLatin1String("soak") && args.size() == 4)
        return benchSoak(args.value(1).toDouble(), args.value(2), args.value(3));
    std::fprintf(
        stderr,
        "usage: varnolet-bench output [RUNS] | rates | readiness [RUNS] | "
        "startup [RUNS] | elements [RUNS] | longops [RUNS] | soak MINUTES DEMO_APP_DIR DEMO_ZIP\n");
    return 2;
}
