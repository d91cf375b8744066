#include "outputlog.h"

#include "ownfolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

QString logPath(const QString &dataFolder, int generation = 0)
{
    const QString path = dataFolder + QLatin1String("/logs/varnolet.log");
    return generation == 0 ? path : path + QLatin1Char('.') + QString::number(generation);
}

// Lives on the log's thread: everything that touches the file.
class Writer : public QObject
{
public:
    Writer(const QString &dataFolder, OutputLog *log)
        : folder(dataFolder)
        , owner(log)
        , partialTimer(new QTimer(this))
    {
        // A line still unfinished after a second is written as it is.
        partialTimer->setSingleShot(true);
        partialTimer->setInterval(1000);
        connect(partialTimer, &QTimer::timeout, this, [this] { write({}, true); });
    }

    void write(const QVector<OutputLog::Piece> &pieces, bool finishLine = false)
    {
        QByteArray bytes;
        for (const OutputLog::Piece &piece : pieces) {
            const QByteArray utf8 = piece.text.toUtf8();
            if (piece.kind == OutputLog::Line) {
                finishPartial(bytes);
                const int end = utf8.endsWith('\n') ? utf8.size() - 1 : utf8.size();
                for (const QByteArray &line : utf8.left(end).split('\n'))
                    addLine(bytes, piece.msecs, line);
                continue;
            }
            int start = 0;
            for (int end; (end = utf8.indexOf('\n', start)) >= 0; start = end + 1) {
                continueLine(piece.msecs, utf8.mid(start, end - start));
                finishPartial(bytes);
            }
            if (start < utf8.size())
                continueLine(piece.msecs, utf8.mid(start));
        }
        if (finishLine || partial.size() > 64 * 1024)
            finishPartial(bytes);
        if (!bytes.isEmpty())
            put(bytes);
        if (!partialOpen)
            partialTimer->stop();
        else if (!partialTimer->isActive())
            partialTimer->start();
    }

private:
    void continueLine(qint64 msecs, const QByteArray &text)
    {
        if (!partialOpen)
            partialAt = msecs;
        partial += text;
        partialOpen = true;
    }

    void finishPartial(QByteArray &bytes)
    {
        if (!partialOpen)
            return;
        addLine(bytes, partialAt, partial);
        partial.clear();
        partialOpen = false;
    }

    void addLine(QByteArray &bytes, qint64 msecs, const QByteArray &line)
    {
        bytes.append(stamp(msecs)).append(line).append('\n');
    }

    // Writes whole lines, rotating first where the file would pass its size.
    void put(const QByteArray &bytes)
    {
        for (int from = 0; from < bytes.size();) {
            if (!open())
                return failed(file.errorString());
            int end = bytes.size();
            const qint64 room = OutputLog::kRotateBytes - size;
            if (end - from > room) {
                end = room > 0 ? bytes.lastIndexOf('\n', int(from + room - 1)) + 1 : from;
                if (end <= from && size > 0) {
                    rotate();
                    continue;
                }
                if (end <= from) // one line longer than a whole file
                    end = int(from + room);
            }
            const qint64 length = end - from;
            if (file.write(bytes.constData() + from, length) != length)
                return failed(file.errorString());
            size += length;
            from = end;
            if (from < bytes.size())
                rotate();
        }
        if (!writable) {
            writable = true;
            QMetaObject::invokeMethod(owner,
                                      [log = owner] { emit log->writableChanged(true, {}); });
        }
    }

    // Opens the log, or opens it again where another process rotated it.
    bool open()
    {
        const QString path = logPath(folder);
        struct stat onDisk, opened;
        if (file.isOpen()
            && (::stat(QFile::encodeName(path).constData(), &onDisk) != 0
                || ::fstat(file.handle(), &opened) != 0 || onDisk.st_ino != opened.st_ino))
            file.close();
        if (file.isOpen())
            return true;
        // The log is its owner's alone, also where it was not before.
        QString moved;
        OutputLog::logsFolder(folder, &moved);
        if (!moved.isEmpty())
            QMetaObject::invokeMethod(owner,
                                      [log = owner, moved] { emit log->logsMovedAside(moved); });
        file.setFileName(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return false;
        for (int generation = 0; generation <= OutputLog::kKeptFiles; ++generation) {
            if (QFileInfo::exists(logPath(folder, generation)))
                QFile::setPermissions(logPath(folder, generation),
                                      QFile::ReadOwner | QFile::WriteOwner);
        }
        size = file.size();
        return true;
    }

    void failed(const QString &why)
    {
        file.close();
        if (!writable)
            return;
        writable = false;
        QMetaObject::invokeMethod(owner,
                                  [log = owner, why] { emit log->writableChanged(false, why); });
    }

    // "yyyy-MM-dd HH:mm:ss.zzz ", the seconds formatted once a second.
    QByteArray stamp(qint64 msecs)
    {
        if (msecs / 1000 != stampSecond) {
            stampSecond = msecs / 1000;
            secondText = QDateTime::fromMSecsSinceEpoch(stampSecond * 1000)
                             .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."))
                             .toUtf8();
        }
        return secondText + QByteArray::number(1000 + msecs % 1000).mid(1) + ' ';
    }

    void rotate()
    {
        file.close();
        QFile::remove(logPath(folder, OutputLog::kKeptFiles));
        for (int generation = OutputLog::kKeptFiles - 1; generation >= 0; --generation)
            QFile::rename(logPath(folder, generation), logPath(folder, generation + 1));
    }

    QString folder;
    OutputLog *owner;
    QFile file;
    qint64 size = 0;
    bool writable = true;
    QByteArray partial;
    bool partialOpen = false;
    qint64 partialAt = 0;
    QTimer *partialTimer;
    qint64 stampSecond = -1;
    QByteArray secondText;
};

} // namespace

OutputLog::OutputLog(const QString &dataFolder, QObject *parent)
    : QObject(parent)
{
    writer = new Writer(dataFolder, this);
    writer->moveToThread(&thread);
    connect(&thread, &QThread::finished, writer, &QObject::deleteLater);
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
    auto *target = static_cast<Writer *>(writer);
    QMetaObject::invokeMethod(
        writer, [target, pieces = std::move(pending)] { target->write(pieces); },
        Qt::QueuedConnection);
    pending = {};
    pendingSize = 0;
}

void OutputLog::flush()
{
    handOver();
    auto *target = static_cast<Writer *>(writer);
    QMetaObject::invokeMethod(
        writer, [target] { target->write({}, true); }, Qt::BlockingQueuedConnection);
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

QStringList OutputLog::tail(const QString &dataFolder, int count)
{
    QStringList lines;
    for (int generation = kKeptFiles; generation >= 0; --generation) {
        QFile file(logPath(dataFolder, generation));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        lines += QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (lines.size() > count)
            lines = lines.mid(lines.size() - count);
    }
    return lines;
}
