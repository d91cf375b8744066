#ifndef OUTPUTLOG_H
#define OUTPUTLOG_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVector>

// Appends everything the output area shows to logs/varnolet.log in a data
// folder, a whole line at a time with a local timestamp, on a thread of its
// own so that the interface never waits for the disk. What arrives is
// handed over at most ten times a second (or every megabyte). The file is
// rotated before it would pass 5 MB, and three older files are kept
// (varnolet.log.1 is the newest of them). Several processes may write it.
// The app's own lines (not its programs' output) also go to
// logs/events.log, rotated at 1 MB with one older file kept, so that a
// flood of CCO's output never pushes them out.
class LogFile;

class OutputLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kRotateBytes = 5 * 1000 * 1000;
    static constexpr int kKeptFiles = 3;
    static constexpr qint64 kEventsRotateBytes = 1000 * 1000;

    // A chunk of a program's output may end in the middle of a line, which
    // the next chunk goes on; a line of the app's own is whole.
    enum Kind { Chunk, Line };

    // What arrived in one piece, and when.
    struct Piece
    {
        qint64 msecs;
        QString text;
        Kind kind;
    };

    explicit OutputLog(const QString &dataFolder, QObject *parent = nullptr);
    ~OutputLog() override;

    // A line of the app's own is handed to the writer at once.
    void append(const QString &text, Kind kind = Chunk);
    // Waits until everything appended so far is on disk, an unfinished
    // line included.
    void flush();

    // The logs folder of `dataFolder`, made if missing and its owner's
    // alone: a point of sale's output may hold customer and payment details.
    // Whatever else stood in its place (a file, a link out of the data
    // folder) is moved aside first, to `movedTo`.
    static QString logsFolder(const QString &dataFolder, QString *movedTo = nullptr);

    // The last `count` lines of a log across its rotated files, oldest
    // first: of everything, or of the app's own lines.
    enum Which { Everything, Events };
    static QStringList tail(const QString &dataFolder, int count, Which which = Everything);

signals:
    // The log could not be written (a full disk), and lines are lost; or
    // it can be again. Said once for each change.
    void writableChanged(bool writable, const QString &why);
    // What stood in the place of the logs folder was moved aside to `to`.
    void logsMovedAside(const QString &to);

private:
    void handOver();

    QThread thread;
    LogFile *writer = nullptr;
    LogFile *events = nullptr;
    QVector<Piece> pending;
    int pendingSize = 0;
    QTimer handOverTimer;
};

#endif // OUTPUTLOG_H
