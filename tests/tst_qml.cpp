// Runs the QML tests against the real backend: the setup registers
// CommandExecutor as the app does, and gives the tests a helper for files,
// child processes, a stand-in web interface and screenshots.

#include "qmltypes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtQuickTest>

#include <memory>
#include <signal.h>

class TestHelper : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString appData READ appData)
    Q_PROPERTY(QString workDir READ workDir)

public:
    explicit TestHelper(QObject *parent = nullptr) : QObject(parent) {}

    QString appData() const { return dataHome + QLatin1String("/varnolet.quindrel"); }
    QString workDir() const { return work; }

    // A fresh data home and a fresh working folder (with an empty assets
    // folder) for the next view.
    Q_INVOKABLE void reset()
    {
        dir.reset(new QTemporaryDir);
        dataHome = dir->filePath(QStringLiteral("data"));
        work = dir->filePath(QStringLiteral("app"));
        QDir().mkpath(dataHome);
        QDir().mkpath(work + QLatin1String("/assets"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome));
        QDir::setCurrent(work);
        qputenv("PATH", path);
        // The backend refuses to change an installation while CCO's
        // address answers.
        server.close();
    }

    Q_INVOKABLE bool writeFile(const QString &path, const QString &content, bool executable = false)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(content.toUtf8());
        file.close();
        return !executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
    }
    Q_INVOKABLE bool writeScript(const QString &path, const QString &body)
    {
        return writeFile(path, QLatin1String("#!/bin/bash\n") + body + QLatin1Char('\n'), true);
    }
    Q_INVOKABLE QString readFile(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    Q_INVOKABLE bool exists(const QString &path) const { return QFileInfo::exists(path); }
    Q_INVOKABLE void setEnv(const QString &name, const QString &value)
    {
        qputenv(name.toLocal8Bit().constData(), value.toLocal8Bit());
    }
    Q_INVOKABLE QString env(const QString &name) const
    {
        return QString::fromLocal8Bit(qgetenv(name.toLocal8Bit().constData()));
    }
    // The folder the app runs in, where it looks for its assets.
    Q_INVOKABLE bool setCurrent(const QString &path) const { return QDir::setCurrent(path); }
    Q_INVOKABLE bool mkpath(const QString &path) const { return QDir().mkpath(path); }

    // Runs a program to its end; true when it exits with code 0.
    Q_INVOKABLE bool run(const QString &program, const QStringList &arguments,
                         const QString &workingDirectory)
    {
        QProcess process;
        process.setWorkingDirectory(workingDirectory);
        process.start(program, arguments);
        return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    }

    // What a program writes on its standard output.
    Q_INVOKABLE QString runOutput(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    // Kills the process whose id a script wrote into `pidFile`.
    Q_INVOKABLE bool killFromPidFile(const QString &pidFile)
    {
        const int pid = readFile(pidFile).trimmed().toInt();
        return pid > 0 && ::kill(pid, SIGKILL) == 0;
    }

    // Whether nothing accepts connections on CCO's address.
    Q_INVOKABLE bool ccoPortFree() const
    {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, 9999);
        return !probe.waitForConnected(2000);
    }

    // Serves a stand-in of CCO's web interface on its address.
    Q_INVOKABLE bool serveWebInterface()
    {
        if (server.isListening())
            return true;
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    socket->readAll();
                    const QByteArray page =
                        "<html><body style='background:#1b7f3b;color:white;font-size:40px'>"
                        "<h1>Stand-in POS</h1></body></html>";
                    socket->write("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: "
                                  + QByteArray::number(page.size()) + "\r\n\r\n" + page);
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        return server.listen(QHostAddress::LocalHost, 9999);
    }

    // What `item` shows now.
    static QImage grab(QQuickItem *item)
    {
        if (!item || !item->window())
            return QImage();
        const QRectF rect = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        return item->window()->grabWindow().copy(rect.toRect());
    }

    // Saves what `item` shows now into the build folder; returns the path.
    Q_INVOKABLE QString saveScreenshot(QQuickItem *item, const QString &name)
    {
        const QImage image = grab(item);
        const QString folder = QStringLiteral(VARNOLET_BUILD_DIR "/screenshots");
        QDir().mkpath(folder);
        const QString path = folder + QLatin1Char('/') + name + QLatin1String(".png");
        return !image.isNull() && image.save(path) ? path : QString();
    }

    // The share of pixels of what `item` shows that are close to `color`.
    Q_INVOKABLE double colorShare(QQuickItem *item, const QColor &color)
    {
        const QImage image = grab(item);
        qint64 close = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (qAbs(pixel.red() - color.red()) < 16 && qAbs(pixel.green() - color.green()) < 16
                    && qAbs(pixel.blue() - color.blue()) < 16)
                    ++close;
            }
        }
        return image.isNull() ? 0.0 : double(close) / (image.width() * image.height());
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
    const QByteArray path = qgetenv("PATH");
    QString dataHome;
    QString work;
    QTcpServer server;
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
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts, true);
    }

public slots:
    void applicationAvailable()
    {
        QCoreApplication::setApplicationName(QStringLiteral("varnolet.quindrel"));
    }
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
