#include "outputlog.h"

#include "logfile.h"
#include "ownfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

OutputLog::OutputLog(const QString &dataFolder, QObject *parent)
    : QObject(parent)
{
    writer = new LogFile(dataFolder, {QStringLiteral("varnolet.log"), kRotateBytes, kKeptFiles}, this);
    events = new LogFile(dataFolder, {QStringLiteral("events.log"), kEventsRotateBytes, 1}, nullptr);
    for (LogFile *file : {writer, events}) {
        file->moveToThread(&thread);
        connect(&thread, &QThread::finished, file, &QObject::deleteLater);
    }
    thread.start(QThread::LowPriority);
    handOverTimer.setSingleShot(true);
    handOverTimer.setInterval(100);
    connect(&handOverTimer, &QTimer::timeout, this, &OutputLog::handOver);
    // The app's objects are never destroyed: what is pending is written when
    // it quits.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &OutputLog::flush);
}

OutputLog::~OutputLog()
{
    flush();
    thread.quit();
    thread.wait();
}

void OutputLog::append(const QString &text, Kind kind)
{
    pending.append({QDateTime::currentMSecsSinceEpoch(), text, kind});
    pendingSize += text.size();
    if (kind == Line || pendingSize >= 1 << 20)
        handOver();
    else if (!handOverTimer.isActive())
        handOverTimer.start();
}

void OutputLog::handOver()
{
    handOverTimer.stop();
    if (pending.isEmpty())
        return;
    // The app's own lines also go to a log that CCO's output never floods.
    QVector<Piece> own;
    for (const Piece &piece : qAsConst(pending)) {
        if (piece.kind == Line)
            own << piece;
    }
    if (!own.isEmpty())
        QMetaObject::invokeMethod(
            events, [target = events, own] { target->write(own); }, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        writer, [target = writer, pieces = std::move(pending)] { target->write(pieces); },
        Qt::QueuedConnection);
    pending = {};
    pendingSize = 0;
}

void OutputLog::flush()
{
    handOver();
    QMetaObject::invokeMethod(
        writer, [target = writer] { target->write({}, true); }, Qt::BlockingQueuedConnection);
}

QString OutputLog::logsFolder(const QString &dataFolder, QString *movedTo)
{
    const QString logs = dataFolder + QLatin1String("/logs");
    QString moved;
    // What cannot be made is said when the log or CCO's output cannot be opened.
    const Outcome made = OwnFolder::makePrivate(logs, &moved);
    if (!made.ok())
        qWarning().noquote() << made.why();
    if (movedTo)
        *movedTo = moved;
    return logs;
}

QStringList OutputLog::tail(const QString &dataFolder, int count, Which which)
{
    const bool own = which == Events;
    QStringList lines;
    for (int generation = own ? 1 : kKeptFiles; generation >= 0; --generation) {
        QFile file(LogFile::path(dataFolder, own ? QStringLiteral("events.log")
                                                 : QStringLiteral("varnolet.log"),
                                 generation));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        lines += QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.size() > count)
            lines = lines.mid(lines.size() - count);
    }
    return lines;
}
