// The app over the demo CCO for minutes on end: memory and frames.

#include "harness.h"

namespace {

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

} // namespace

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
