#ifndef BENCH_HARNESS_H
#define BENCH_HARNESS_H

// What every benchmark of varnolet-bench uses: clocks, memory, medians,
// the app's window as main() sets it up, and the benchmarks themselves.

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

long long nowMicros();
long residentKiB();
double median(std::vector<double> values);
// Runs the event loop until `done` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
QString logwriter();
bool programEnded(const QString &output);
// Runs a shell command line to its end; true on exit code 0.
bool shell(const QString &command, const QString &workingDirectory = QString());
// The same while this process's windows go on drawing, as they do while
// the app runs an operation: a baseline measured under the same load.
bool shellWhileDrawing(const QString &command, const QString &workingDirectory = QString());
// Milliseconds from the start of `program` to its first frame, as its render
// loop reports it.
double timeToFirstFrame(const QString &program, const QString &workingDirectory,
                        const QStringList &arguments = {});
// The main view, or a variant of it, in a window as the app shows it.
int showWindow(const QString &qml);

// The app's window with the real main view, as main() sets it up.
struct App
{
    // Removed last, once the view and its backend have ended what they were
    // doing in it (the deletion of a replaced installation goes on after an
    // import).
    QTemporaryDir dataHome;
    QQuickView view;
    QObject *root = nullptr;
    CommandExecutor *executor = nullptr;
    std::vector<long long> frames; // frame swap times, microseconds

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

int benchOutput(int runs);
int benchRates();
int benchReadiness(int runs);
int benchSoak(double minutes, const QString &demoApp, const QString &demoZip);
int benchStartup(int runs);
int benchLongOperations(int runs);
int benchElements(int runs);

#endif // BENCH_HARNESS_H
