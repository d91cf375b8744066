#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

// Helpers shared by the backend tests: a throw-away data home, scripts
// written on the fly, and a capture of the debug log.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

// A fresh data home for one test. The app data location lies inside it, so
// no test ever touches the user's real data folder.
class DataHome
{
public:
    explicit DataHome(const QString &subFolder = QStringLiteral("data"))
    {
        root = QDir(dir.path()).filePath(subFolder);
        QDir().mkpath(root);
        qputenv("XDG_DATA_HOME", QFile::encodeName(root));
    }

    // The folder the backend calls the app data location.
    QString appData() const { return root + QLatin1String("/varnolet.quindrel"); }
    QString cco() const { return appData() + QLatin1String("/CustomerCheckout"); }
    QString jre() const { return appData() + QLatin1String("/sapmachine-jre-17.0.6"); }
    // A scratch folder beside the data home, for inputs of the test.
    QString scratch(const QString &name) const
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir dir;
    QString root;
};

inline bool writeFile(const QString &path, const QByteArray &content,
                      QFileDevice::Permissions permissions = QFileDevice::ReadOwner
                                                             | QFileDevice::WriteOwner)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(content) == content.size();
    file.close();
    return written && file.setPermissions(permissions);
}

inline bool writeScript(const QString &path, const QByteArray &body)
{
    return writeFile(path, "#!/bin/bash\n" + body + "\n",
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Collects the debug log while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        current = this;
        previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }
    QStringList lines;

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (current && type == QtDebugMsg)
            current->lines << message;
    }
    static inline LogCapture *current = nullptr;
    QtMessageHandler previous = nullptr;
};

#endif // TESTSUPPORT_H
