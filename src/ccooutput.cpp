#include "ccooutput.h"

#include "wholefile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextCodec>

namespace {

std::unique_ptr<QTextDecoder> makeUtf8Decoder()
{
    return std::unique_ptr<QTextDecoder>(QTextCodec::codecForName("UTF-8")->makeDecoder());
}

// Whether `marker` occurs in `text` ending after its first `seenLength`
// characters: an occurrence not already found in an earlier chunk.
bool containsNewOccurrence(const QString &text, const QString &marker, int seenLength)
{
    return text.indexOf(marker, qMax(0, seenLength - marker.size() + 1)) >= 0;
}

} // namespace

const QString MarkerScanner::readinessLine = QStringLiteral("Web container started.");
const QString MarkerScanner::stopLine = QStringLiteral("STOP_CCO Bye");

MarkerScanner::Found MarkerScanner::scan(const QString &chunk)
{
    const QString window = tail + chunk;
    const int seen = tail.size();
    Found found;
    found.ready = containsNewOccurrence(window, readinessLine, seen);
    found.stopped = containsNewOccurrence(window, stopLine, seen);
    tail = window.right(qMax(readinessLine.size(), stopLine.size()) - 1);
    return found;
}

QString CcoOutput::outputFile(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/logs/cco-output.log");
}

QString CcoOutput::errorFile(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/logs/cco-errors.log");
}

CcoOutput::CcoOutput(const QString &dataFolder, QObject *parent)
    : QObject(parent)
    , dataFolder(dataFolder)
    , positionFile(dataFolder + QLatin1String("/logs/cco-output.position"))
    , channels{{OutputFollower(outputFile(dataFolder)), makeUtf8Decoder()},
               {OutputFollower(errorFile(dataFolder)), makeUtf8Decoder()}}
{
    QFile saved(positionFile);
    // Never followed here (a first start of this version, say): what the
    // files hold is old, and not shown again.
    if (!saved.exists()) {
        for (Channel &channel : channels)
            channel.follower.skipWritten();
    } else if (saved.open(QIODevice::ReadOnly)) {
        for (Channel &channel : channels) {
            // "inode offset last-bytes-in-hex"
            const QList<QByteArray> fields = saved.readLine().trimmed().split(' ');
            if (fields.size() >= 2)
                channel.follower.resume({fields[0].toULongLong(), fields[1].toLongLong(),
                                         QByteArray::fromHex(fields.value(2))});
        }
    }
    connect(&timer, &QTimer::timeout, this, &CcoOutput::poll);
    soon.setSingleShot(true);
    connect(&soon, &QTimer::timeout, this, &CcoOutput::poll);
    auto changed = [this] {
        if (!soon.isActive())
            soon.start(0);
    };
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, changed);
    connect(&watcher, &QFileSystemWatcher::directoryChanged, this, changed);
    // The app is never torn down: where reading stands is kept as it quits.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (moved)
            savePosition();
    });
    saveTimer.setSingleShot(true);
    connect(&saveTimer, &QTimer::timeout, this, &CcoOutput::savePosition);
}

CcoOutput::~CcoOutput()
{
    if (moved)
        savePosition();
}

void CcoOutput::savePosition()
{
    moved = false;
    QByteArray lines;
    for (const Channel &channel : channels) {
        const OutputFollower::Position at = channel.follower.position();
        lines += QByteArray::number(at.inode) + ' ' + QByteArray::number(at.offset) + ' '
            + at.before.toHex() + '\n';
    }
    // Its owner's alone, as every file of logs/: it holds CCO's last bytes.
    // One that could not be written is written again at the next move.
    moved = !WholeFile::replace(positionFile, lines).ok();
}

void CcoOutput::follow()
{
    if (timer.isActive())
        return;
    timer.start(1000);
    poll();
}

void CcoOutput::restart()
{
    poll();
    for (Channel &channel : channels)
        channel.decoder = makeUtf8Decoder();
    scanner.reset();
    stopSeen = false;
}

void CcoOutput::poll()
{
    // Watched again after a file was moved aside or made anew.
    if (timer.isActive()) {
        for (const QString &path : {dataFolder + QLatin1String("/logs"), outputFile(dataFolder),
                                    errorFile(dataFolder)}) {
            if (!watcher.files().contains(path) && !watcher.directories().contains(path)
                && QFileInfo::exists(path))
                watcher.addPath(path);
        }
    }
    for (int i = 0; i < 2; ++i) {
        // A megabyte at a time, the interface drawing in between.
        const QByteArray bytes = channels[i].follower.take(kReadBytes);
        if (bytes.isEmpty())
            continue;
        if (bytes.size() == kReadBytes)
            soon.start(0);
        moved = true;
        if (!saveTimer.isActive())
            saveTimer.start(1000);
        QString text = channels[i].decoder->toUnicode(bytes);
        text.remove(QChar(0));
        const MarkerScanner::Found found = i == 0 ? scanner.scan(text) : MarkerScanner::Found();
        stopSeen = stopSeen || found.stopped;
        emit output(text);
        if (found.ready)
            emit ready();
        if (found.stopped)
            emit stopLineFound();
    }
}
