#ifndef OUTPUTLOG_H
#define OUTPUTLOG_H

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <QVector>

// Appends what the output area shows to logs/varnolet.log in a data folder,
// a line at a time with a local timestamp, on a thread of its own so that
// the interface never waits for the disk. What arrives is handed over at
// most ten times a second (or every megabyte), like the output area's own
// updates. The file is rotated at 5 MB and three older files are kept
// (varnolet.log.1 is the newest of them).
class OutputLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kRotateBytes = 5 * 1024 * 1024;
    static constexpr int kKeptFiles = 3;

    // What reached the output area in one piece, and when.
    struct Piece
    {
        qint64 msecs;
        QString text;
    };

    explicit OutputLog(const QString &dataFolder, QObject *parent = nullptr);
    ~OutputLog() override;

    // What reached the output area in one piece: one or more lines; `now`
    // hands it to the writer at once, for the app's own rare lines.
    void append(const QString &text, bool now = false);
    // Waits until everything appended so far is on disk.
    void flush();

    // The last `count` lines across the rotated files, oldest first.
    static QStringList tail(const QString &dataFolder, int count);

private:
    void handOver();

    QThread thread;
    QObject *writer = nullptr;
    QVector<Piece> pending;
    int pendingSize = 0;
    QTimer handOverTimer;
};

#endif // OUTPUTLOG_H
