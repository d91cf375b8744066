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
    Q_OBJECT

public:
    explicit Writer(const QString &dataFolder) : folder(dataFolder) {}

public slots:
    // `text` reached the output area at `msecs` since the epoch. The area
    // shows each chunk as a paragraph of its own, and so does the log.
    void write(qint64 msecs, const QString &text)
    {
        const QByteArray stamp =
            QDateTime::fromMSecsSinceEpoch(msecs).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toUtf8();
        const QByteArray utf8 = text.toUtf8();
        // Each line with the stamp before it; a chunk that ends in a line
        // break has no empty line after it.
        const int end = utf8.endsWith('\n') ? utf8.size() - 1 : utf8.size();
        QByteArray bytes;
        bytes.reserve(utf8.size() + (utf8.count('\n') + 1) * stamp.size() + 1);
        for (int start = 0; start <= end;) {
            int stop = utf8.indexOf('\n', start);
            if (stop < 0 || stop > end)
                stop = end;
            bytes.append(stamp).append(utf8.constData() + start, stop - start).append('\n');
            start = stop + 1;
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
    void sync() { file.flush(); }

private:
    void rotate()
    {
        file.close();
        QFile::remove(logPath(folder, OutputLog::kKeptFiles));
        for (int generation = OutputLog::kKeptFiles - 1; generation >= 0; --generation)
            QFile::rename(logPath(folder, generation), logPath(folder, generation + 1));
    }

    QString folder;
    QFile file;
};

} // namespace

OutputLog::OutputLog(const QString &dataFolder, QObject *parent) : QObject(parent)
{
    writer = new Writer(dataFolder);
    writer->moveToThread(&thread);
    connect(&thread, &QThread::finished, writer, &QObject::deleteLater);
    thread.start(QThread::LowPriority);
}

OutputLog::~OutputLog()
{
    thread.quit();
    thread.wait();
}

void OutputLog::append(const QString &text)
{
    QMetaObject::invokeMethod(writer, "write", Qt::QueuedConnection,
                              Q_ARG(qint64, QDateTime::currentMSecsSinceEpoch()), Q_ARG(QString, text));
}

void OutputLog::flush()
{
    QMetaObject::invokeMethod(writer, "sync", Qt::BlockingQueuedConnection);
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

#include "outputlog.moc"
