// The benchmarks' common parts.

#include "harness.h"

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



bool programEnded(const QString &output)
{
    return output.startsWith(QLatin1String("The program "));
}

bool shell(const QString &command, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), command});
    return process.waitForFinished(-1) && process.exitCode() == 0;
}

bool shellWhileDrawing(const QString &command, const QString &workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), command});
    // An event loop that sleeps between events, as the app's does.
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished),
                     &loop, &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

double timeToFirstFrame(const QString &program, const QString &workingDirectory,
                        const QStringList &arguments)
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

int showWindow(const QString &qml)
{
    auto *view = new QQuickView;
    view->setSource(QUrl::fromLocalFile(qml));
    view->setResizeMode(QQuickView::SizeRootObjectToView);
    view->show();
    return qApp->exec();
}
