#include "logfile.h"

#include <QDateTime>
#include <QFileInfo>

#include <sys/stat.h>

QString LogFile::path(const QString &dataFolder, const QString &name, int generation)
{
    const QString path = dataFolder + QLatin1String("/logs/") + name;
    return generation == 0 ? path : path + QLatin1Char('.') + QString::number(generation);
}

LogFile::LogFile(const QString &dataFolder, const Kept &kept, OutputLog *log)
    : folder(dataFolder)
    , kept(kept)
    , owner(log)
    , partialTimer(new QTimer(this))
{
    // A line still unfinished after a second is written as it is.
    partialTimer->setSingleShot(true);
    partialTimer->setInterval(1000);
    connect(partialTimer, &QTimer::timeout, this, [this] { write({}, true); });
}

void LogFile::write(const QVector<OutputLog::Piece> &pieces, bool finishLine)
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

void LogFile::continueLine(qint64 msecs, const QByteArray &text)
{
    if (!partialOpen)
        partialAt = msecs;
    partial += text;
    partialOpen = true;
}

void LogFile::finishPartial(QByteArray &bytes)
{
    if (!partialOpen)
        return;
    addLine(bytes, partialAt, partial);
    partial.clear();
    partialOpen = false;
}

void LogFile::addLine(QByteArray &bytes, qint64 msecs, const QByteArray &line)
{
    bytes.append(stamp(msecs)).append(line).append('\n');
}

// Writes whole lines, rotating first where the file would pass its size.
void LogFile::put(const QByteArray &bytes)
{
    for (int from = 0; from < bytes.size();) {
        if (!open())
            return failed(file.errorString());
        int end = bytes.size();
        const qint64 room = kept.rotateBytes - size;
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
        if (file.write(bytes.constData() + from, length) != length) {
            // Whole lines or none: what part of them the disk took goes.
            const QString why = file.errorString();
            file.resize(size);
            return failed(why);
        }
        size += length;
        from = end;
        if (from < bytes.size())
            rotate();
    }
    if (!writable) {
        writable = true;
        if (owner)
            QMetaObject::invokeMethod(owner,
                                      [log = owner] { emit log->writableChanged(true, {}); });
    }
}

// Opens the log, or opens it again where another process rotated it.
bool LogFile::open()
{
    const QString current = path(folder, kept.name);
    struct stat onDisk, opened;
    if (file.isOpen()
        && (::stat(QFile::encodeName(current).constData(), &onDisk) != 0
            || ::fstat(file.handle(), &opened) != 0 || onDisk.st_ino != opened.st_ino))
        file.close();
    if (file.isOpen())
        return true;
    // The log is its owner's alone, also where it was not before.
    QString moved;
    OutputLog::logsFolder(folder, &moved);
    if (!moved.isEmpty() && owner)
        QMetaObject::invokeMethod(owner,
                                  [log = owner, moved] { emit log->logsMovedAside(moved); });
    file.setFileName(current);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    for (int generation = 0; generation <= kept.files; ++generation) {
        if (QFileInfo::exists(path(folder, kept.name, generation)))
            QFile::setPermissions(path(folder, kept.name, generation),
                                  QFile::ReadOwner | QFile::WriteOwner);
    }
    size = file.size();
    return true;
}

void LogFile::failed(const QString &why)
{
    file.close();
    if (!writable)
        return;
    writable = false;
    if (owner)
        QMetaObject::invokeMethod(owner,
                                  [log = owner, why] { emit log->writableChanged(false, why); });
}

// "yyyy-MM-dd HH:mm:ss.zzz ", the seconds formatted once a second.
QByteArray LogFile::stamp(qint64 msecs)
{
    if (msecs / 1000 != stampSecond) {
        stampSecond = msecs / 1000;
        secondText = QDateTime::fromMSecsSinceEpoch(stampSecond * 1000)
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."))
                         .toUtf8();
    }
    return secondText + QByteArray::number(1000 + msecs % 1000).mid(1) + ' ';
}

void LogFile::rotate()
{
    file.close();
    QFile::remove(path(folder, kept.name, kept.files));
    for (int generation = kept.files - 1; generation >= 0; --generation)
        QFile::rename(path(folder, kept.name, generation), path(folder, kept.name, generation + 1));
}


