#include "outputlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

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
    explicit Writer(const QString &dataFolder) : folder(dataFolder) {}

    // Each piece is shown by the output area as a paragraph of its own, and
    // is written as its lines, each with the piece's time before it.
    void write(const QVector<OutputLog::Piece> &pieces)
    {
        QByteArray bytes;
        for (const OutputLog::Piece &piece : pieces) {
            const QByteArray utf8 = piece.text.toUtf8();
            const QByteArray at = stamp(piece.msecs);
            const int end = utf8.endsWith('\n') ? utf8.size() - 1 : utf8.size();
            bytes.reserve(bytes.size() + utf8.size() + (utf8.count('\n') + 1) * at.size() + 1);
            for (int start = 0; start <= end;) {
                int stop = utf8.indexOf('\n', start);
                if (stop < 0 || stop > end)
                    stop = end;
                bytes.append(at).append(utf8.constData() + start, stop - start).append('\n');
                start = stop + 1;
            }
        }
        if (bytes.isEmpty())
            return;
        if (file.isOpen() && file.size() + bytes.size() > OutputLog::kRotateBytes)
            rotate();
        if (!file.isOpen()) {
            QDir().mkpath(folder + QLatin1String("/logs"));
            file.setFileName(logPath(folder));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
                return;
        }
        file.write(bytes);
        file.flush();
    }

private:
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
    QFile file;
    qint64 stampSecond = -1;
    QByteArray secondText;
};

} // namespace

OutputLog::OutputLog(const QString &dataFolder, QObject *parent) : QObject(parent)
{
    writer = new Writer(dataFolder);
    writer->moveToThread(&thread);
    connect(&thread, &QThread::finished, writer, &QObject::deleteLater);
    thread.start(QThread::LowPriority);
    handOverTimer.setSingleShot(true);
    handOverTimer.setInterval(100);
    connect(&handOverTimer, &QTimer::timeout, this, &OutputLog::handOver);
}

OutputLog::~OutputLog()
{
    flush();
    thread.quit();
    thread.wait();
}

void OutputLog::append(const QString &text, bool now)
{
    pending.append({QDateTime::currentMSecsSinceEpoch(), text});
    pendingSize += text.size();
    if (now || pendingSize >= 1 << 20)
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
    QMetaObject::invokeMethod(writer, [target, pieces = std::move(pending)] { target->write(pieces); },
                              Qt::QueuedConnection);
    pending = {};
    pendingSize = 0;
}

void OutputLog::flush()
{
    handOver();
    QMetaObject::invokeMethod(writer, [] {}, Qt::BlockingQueuedConnection);
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

