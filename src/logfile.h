#ifndef LOGFILE_H
#define LOGFILE_H

#include "outputlog.h"

#include <QFile>
#include <QObject>
#include <QTimer>

// One log file of a data folder's logs, rotated at its size with a few
// older files kept: whole lines with a local timestamp, a line a program
// has not finished yet written once it is (or after a second). A write the
// disk cannot take whole leaves none of it. Lives on the log's thread.
class LogFile : public QObject
{
public:
    struct Kept
    {
        QString name; // in logs/
        qint64 rotateBytes;
        int files; // older files kept, name.1 the newest of them
    };

    // Says through `log` when the file cannot be written, or can again, and
    // when the logs folder was moved aside; nothing when `log` is null.
    LogFile(const QString &dataFolder, const Kept &kept, OutputLog *log);

    void write(const QVector<OutputLog::Piece> &pieces, bool finishLine = false);

    // The file of `generation` (0 the current one) of log `name`.
    static QString path(const QString &dataFolder, const QString &name, int generation = 0);

private:
    void continueLine(qint64 msecs, const QByteArray &text);
    void finishPartial(QByteArray &bytes);
    void addLine(QByteArray &bytes, qint64 msecs, const QByteArray &line);
    void put(const QByteArray &bytes);
    bool open();
    void failed(const QString &why);
    QByteArray stamp(qint64 msecs);
    void rotate();

    QString folder;
    Kept kept;
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

#endif // LOGFILE_H
