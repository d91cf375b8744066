#include "archives.h"

#include "childprocess.h"

#include <QFile>
#include <QRegularExpression>

namespace Archives {

Outcome listZip(const QString &zip, const QString &folder, ZipListing *listing)
{
    const ChildProcess::Result zipinfo =
        ChildProcess::run(QStringLiteral("unzip"), {QStringLiteral("-Z"), zip});
    if (!zipinfo.ok)
        return zipinfo.outcome(QStringLiteral("unzip"));
    *listing = ZipListing();
    listing->allInside = true;
    // "-rw-r--r--  3.0 unx  2 tx stor 26-Dec-06 23:41 name": an upper-case
    // T or B marks an encrypted entry.
    static const QRegularExpression entry(QStringLiteral(
        "^\\S+\\s+\\S+\\s+\\S+\\s+\\d+\\s+([tbTB])\\S\\s+\\S+\\s+\\S+\\s+\\S+\\s(.*)$"));
    const QString inside = folder + QLatin1Char('/');
    for (const QByteArray &line : zipinfo.standardOutput.split('\n')) {
        const QRegularExpressionMatch match = entry.match(QString::fromUtf8(line));
        if (!match.hasMatch())
            continue;
        ++listing->entries;
        const QString name = match.captured(2);
        if (listing->encrypted.isEmpty() && match.captured(1).at(0).isUpper())
            listing->encrypted = name;
        if (!name.startsWith(inside))
            listing->allInside = false;
    }
    listing->allInside = listing->allInside && listing->entries > 0;
    return Outcome::done();
}

Outcome unzip(const QString &zip, const QString &folder, int entries, const Progress &progress)
{
    // unzip names each entry as it unpacks it.
    int done = 0;
    auto onLine = [&](const QByteArray &line) {
        static const QRegularExpression entry(
            QStringLiteral("^\\s*(inflating|extracting|creating|linking):"));
        if (entries > 0 && entry.match(QString::fromUtf8(line)).hasMatch())
            progress(double(++done) / entries);
        return true;
    };
    return ChildProcess::run(QStringLiteral("unzip"), {QStringLiteral("-o"), zip}, folder, onLine)
        .outcome(QStringLiteral("unzip"));
}

Outcome untar(const QString &archive, const QString &folder, const Progress &progress)
{
    // tar says every 100 records how far into the unpacked archive it is;
    // gzip's trailer says how large that is.
    const qint64 total = gzipUnpackedSize(archive);
    auto onLine = [&](const QByteArray &line) {
        static const QRegularExpression read(QStringLiteral("^\\S*tar: r: (\\d+) "));
        const QRegularExpressionMatch match = read.match(QString::fromLatin1(line));
        if (!match.hasMatch())
            return true;
        if (total > 0)
            progress(double(match.captured(1).toLongLong()) / total);
        return false;
    };
    return ChildProcess::run(QStringLiteral("tar"),
                             {QStringLiteral("-xzf"), archive, QStringLiteral("--checkpoint=100"),
                              QStringLiteral("--checkpoint-action=echo=%{r}T")},
                             folder, onLine, QProcess::StandardError)
        .outcome(QStringLiteral("tar"));
}

qint64 gzipUnpackedSize(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 18 || !file.seek(file.size() - 4))
        return 0;
    const QByteArray tail = file.read(4);
    if (tail.size() != 4)
        return 0;
    return qint64(quint8(tail[0])) | qint64(quint8(tail[1])) << 8 | qint64(quint8(tail[2])) << 16
           | qint64(quint8(tail[3])) << 24;
}

} // namespace Archives
