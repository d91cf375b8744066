#ifndef CCOOUTPUT_H
#define CCOOUTPUT_H

#include "outputfollower.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTextDecoder>
#include <QTimer>

#include <memory>

// Finds CCO's readiness and stop lines in standard output that arrives in
// chunks: a line split across two reads is still found, and a line is found
// once, in the chunk where it ends.
class MarkerScanner
{
public:
    static const QString readinessLine; // "Web container started."
    static const QString stopLine; // "STOP_CCO Bye"

    struct Found
    {
        bool ready = false;
        bool stopped = false;
    };
    Found scan(const QString &chunk);
    void reset() { tail.clear(); }

private:
    // The end of the previous chunk, shorter than either line.
    QString tail;
};

// What CCO, or its restore tool, writes: varnolet-run keeps its standard
// output and error in logs/cco-output.log and logs/cco-errors.log of the data
// folder, whether the app is there or not, and this follows both files as
// they are written (told by the kernel, and looked at every second besides),
// the app's own CCO and one it found running alike. Each
// channel is decoded as UTF-8 on its own, so that a sequence split across
// two reads stays intact; the markers count on standard output only. Where
// reading stands is kept in logs/cco-output.position, so that an app opened
// again carries on where the last one stopped: nothing is shown twice, and
// nothing written while no app was there is missed.
class CcoOutput : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kRotateBytes = 5 * 1000 * 1000;
    static constexpr int kReadBytes = 1 << 20;

    explicit CcoOutput(const QString &dataFolder, QObject *parent = nullptr);
    ~CcoOutput() override;

    static QString outputFile(const QString &dataFolder);
    static QString errorFile(const QString &dataFolder);

    // Follows the files from now on: for the app, not for a command that
    // only sets the device up.
    void follow();
    // Reads what has been written so far, and says it.
    void poll();
    // A new program starts: its markers are looked for afresh.
    void restart();
    bool stopLineSeen() const { return stopSeen; }

signals:
    // A decoded chunk of either channel, zero bytes removed.
    void output(const QString &text);
    void ready();
    void stopLineFound();

private:
    struct Channel
    {
        OutputFollower follower;
        std::unique_ptr<QTextDecoder> decoder;
    };
    void savePosition();

    QString dataFolder;
    QString positionFile;
    Channel channels[2];
    MarkerScanner scanner;
    bool stopSeen = false;
    bool moved = false;
    QFileSystemWatcher watcher;
    // A read soon after a change, however many changes come meanwhile; and
    // a look every second, should a change go unnoticed.
    QTimer soon;
    QTimer timer;
    QTimer saveTimer;
};

#endif // CCOOUTPUT_H
