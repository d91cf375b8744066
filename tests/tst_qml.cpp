// Runs the QML tests against the real backend: the setup registers the
// backend types as the app does, and gives the tests a helper for files,
// child processes, stand-in web pages and pixels.

#include "ccosupervisor.h"
#include "maintenancelock.h"
#include "maintenancepin.h"
#include "qmltypes.h"
#include "testsupport.h"
#include "tillhold.h"

#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtQuickTest>

#include <signal.h>

class TestHelper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appData READ appData)
    Q_PROPERTY(QString workDir READ workDir)

public:
    using QObject::QObject;
    QString appData() const { return home->appData(); }
    QString workDir() const { return home->scratch("app"); }

    // A fresh data home and working folder (with an assets folder), the
    // working folder's bin ahead on the search path for stand-in programs,
    // and no stand-in page served.
    Q_INVOKABLE void reset()
    {
        tool.reset();
        home.reset(new DataHome);
        QDir().mkpath(workDir() + "/assets");
        QDir::setCurrent(workDir());
        qputenv("PATH", QFile::encodeName(workDir()) + "/bin:" + path);
        stopServing();
    }
    Q_INVOKABLE void stopServing()
    {
        qDeleteAll(servers);
        servers.clear();
    }
    Q_INVOKABLE bool writeFile(const QString &path, const QString &content)
    {
        return ::writeFile(path, content.toUtf8());
    }
    Q_INVOKABLE bool setPin(const QString &pin)
    {
        return MaintenancePin(MaintenancePin::defaultFolder()).set(pin).ok();
    }
    Q_INVOKABLE QString pinFile() const { return MaintenancePin(MaintenancePin::defaultFolder()).path(); }
    Q_INVOKABLE bool makeAssets() const { return DataHome::makeAssets(workDir() + "/assets"); }
    Q_INVOKABLE bool writeScript(const QString &path, const QString &body)
    {
        return ::writeScript(path, body.toUtf8());
    }
    Q_INVOKABLE QString readFile(const QString &path) const { return QString::fromUtf8(::readFile(path)); }
    Q_INVOKABLE bool exists(const QString &path) const { return QFileInfo::exists(path); }
    Q_INVOKABLE QString env(const QString &name) const { return qEnvironmentVariable(name.toLatin1()); }
    Q_INVOKABLE bool run(const QString &program, const QStringList &arguments, const QString &folder)
    {
        return ::run(program, arguments, folder);
    }
    // What a program writes on its standard output.
    Q_INVOKABLE QString runOutput(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    // The status line of each state with its longest values, as the
    // supervisor words it.
    Q_INVOKABLE QStringList longestStatusLines() const
    {
        using State = CcoSupervisor::State;
        using End = CcoSupervisor::End;
        const QString holder = "pid 4194303 (/usr/lib/jvm/java-17-openjdk-arm64/bin/java -Xmx2048m -jar "
                               "/opt/stores/till-0417/pos/pos-server-with-a-long-name.jar --port=9999)";
        // State, countdown or restart seconds, the end, and: "a" adopted,
        // "p" page failing, "t" back from a trial, "h" a holder shown, "H"
        // held with the longest reason.
        const QList<std::tuple<State, int, End, QString>> rows{
            {State::Countdown, 59, End::ExitCode, ""}, {State::Countdown, 1, End::ExitCode, ""},
            {State::Starting, 0, End::ExitCode, ""},   {State::Starting, 0, End::ExitCode, "t"},
            {State::Ready, 0, End::ExitCode, "a"},     {State::Ready, 0, End::ExitCode, "p"},
            {State::PortHeld, 0, End::ExitCode, "h"},  {State::PortHeld, 0, End::ExitCode, ""},
            {State::Hung, 0, End::Hung, ""},           {State::RestartWait, 300, End::Hung, ""},
            {State::RestartWait, 300, End::ExitCode, ""}, {State::RestartWait, 300, End::Gone, ""},
            {State::RestartWait, 1, End::Crashed, ""}, {State::Stopped, 0, End::ExitCode, ""},
            {State::Stopping, 0, End::ExitCode, ""},   {State::RestartWait, 300, End::ExitCode, "H"},
            {State::Idle, 0, End::ExitCode, "H"}};
        QStringList lines;
        for (const auto &[state, seconds, end, how] : rows) {
            CcoSupervisor::Shown shown;
            shown.state = state;
            shown.countdownLeft = shown.restartLeft = seconds;
            shown.lastEnd = end;
            shown.exitCode = -2147483647;
            shown.adopted = how == "a";
            shown.pageFailing = how == "p";
            shown.backFromTrial = how == "t";
            shown.portHolder = how == "h" ? holder : QString();
            shown.hold = how == "H" ? QString(TillHold::kLongestReason, QChar('W')) : QString();
            shown.updatePending = how == "H";
            lines << CcoSupervisor::statusLine(shown);
        }
        return lines;
    }
    // What the PIN dialog may say, with the longest lock.
    Q_INVOKABLE QStringList pinRefusals() const
    {
        QStringList lines;
        for (int kind = MaintenancePin::Verdict::Wrong; kind <= MaintenancePin::Verdict::Unsaved; ++kind) {
            for (qint64 locked : {0, 3599})
                lines << MaintenanceLock::refusal({MaintenancePin::Verdict::Kind(kind), 0, locked, {}});
        }
        lines.removeDuplicates();
        return lines;
    }
    // Kills the process whose id a script wrote into `pidFile`.
    Q_INVOKABLE bool killFromPidFile(const QString &pidFile)
    {
        const int pid = ::readFile(pidFile).trimmed().toInt();
        return pid > 0 && ::kill(pid, SIGKILL) == 0;
    }
    // Serves a stand-in page on 127.0.0.1:`port` (CCO's by default): green,
    // and saying in its title whether it may use the camera.
    Q_INVOKABLE bool serve(int port = CcoProbe::kDefaultPort)
    {
        auto *server = new QTcpServer(this);
        servers << server;
        connect(server, &QTcpServer::newConnection, this, [server] {
            while (QTcpSocket *socket = server->nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    const QByteArray page =
                        "<html><body style='background:#1b7f3b;color:white;font-size:40px'><h1>Stand-in POS</h1>"
                        "<script>navigator.mediaDevices.getUserMedia({video: true}).then("
                        "function() { document.title = 'camera granted' },"
                        "function(e) { document.title = 'camera refused: ' + e.name })</script></body></html>";
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                  + QByteArray::number(page.size()) + "\r\n\r\n" + page);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return server->listen(QHostAddress::LocalHost, quint16(port));
    }

    // The share of pixels of what `item` shows, or of the picture in
    // `file`, that are close to `color`.
    Q_INVOKABLE double colorShare(QQuickItem *item, const QColor &color) { return share(grab(item), color); }
    Q_INVOKABLE double fileColorShare(const QString &file, const QColor &color)
    {
        return share(QImage(file), color);
    }

    // varnolet-provision with `arguments`, left running while the view
    // carries on; toolOutput() is empty until it has ended.
    Q_INVOKABLE void startTool(const QStringList &arguments)
    {
        toolResult.clear();
        tool.reset(new QProcess);
        tool->setProcessChannelMode(QProcess::MergedChannels);
        connect(tool.get(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
                [this](int code) {
                    toolResult = QStringLiteral("%1: %2").arg(code).arg(QString::fromUtf8(tool->readAll()));
                });
        tool->start(VARNOLET_PROVISION, arguments);
    }
    Q_INVOKABLE QString toolOutput() const { return toolResult; }

private:
    static double share(const QImage &image, const QColor &color)
    {
        qint64 close = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                close += qAbs(qRed(pixel) - color.red()) < 16 && qAbs(qGreen(pixel) - color.green()) < 16
                    && qAbs(qBlue(pixel) - color.blue()) < 16;
            }
        }
        return image.isNull() ? 0.0 : double(close) / (image.width() * image.height());
    }

    static QImage grab(QQuickItem *item)
    {
        if (!item || !item->window())
            return QImage();
        return item->window()->grabWindow().copy(
            item->mapRectToScene(QRectF(0, 0, item->width(), item->height())).toRect());
    }

    std::unique_ptr<DataHome> home;
    const QByteArray path = qgetenv("PATH");
    QList<QTcpServer *> servers;
    std::unique_ptr<QProcess> tool;
    QString toolResult;
};

class Setup : public QObject
{
    Q_OBJECT

public:
    Setup()
    {
        // As the app's start-up does, before the application object exists.
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        // Settings live in memory: the tests never touch the user's own.
        qputenv("GSETTINGS_BACKEND", "memory");
        // A camera for the web view to ask for, though the machine has none.
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--use-fake-device-for-media-stream");
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
        // The countdown's steps, shortened as the supervisor's tests do.
        CcoSupervisor::defaultDelays.countdownTick = 200;
    }

public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        registerBackendTypes();
        auto *helper = new TestHelper(engine);
        helper->reset();
        engine->rootContext()->setContextProperty(QStringLiteral("helper"), helper);
    }
};

QUICK_TEST_MAIN_WITH_SETUP(varnolet, Setup)
#include "tst_qml.moc"
