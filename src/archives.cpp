#include "archives.h"

#include "childprocess.h"
#include "links.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

quint64 littleEndian(const char *bytes, int size)
{
    quint64 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | quint8(bytes[i]);
    return value;
}

// Where the entries of the zip at `path` end and its central directory
// begins, from its end record (or the zip64 one that leads to); 0 when it
// has none.
qint64 zipEntriesEnd(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // The end record: 22 bytes, then a comment of up to 65,535.
    const qint64 tailSize = qMin<qint64>(file.size(), 22 + 65535);
    if (!file.seek(file.size() - tailSize))
        return 0;
    const QByteArray tail = file.read(tailSize);
    const int end = tail.lastIndexOf(QByteArrayLiteral("PK\x05\x06"));
    if (end < 0 || end + 22 > tail.size())
        return 0;
    quint64 offset = littleEndian(tail.constData() + end + 16, 4);
    if (offset == 0xFFFFFFFF && end >= 20
        && tail.mid(end - 20, 4) == QByteArrayLiteral("PK\x06\x07")) {
        QByteArray zip64;
        if (file.seek(qint64(littleEndian(tail.constData() + end - 20 + 8, 8))))
            zip64 = file.read(56);
        if (zip64.size() < 56 || !zip64.startsWith(QByteArrayLiteral("PK\x06\x06")))
            return 0;
        offset = littleEndian(zip64.constData() + 48, 8);
    }
    return offset < quint64(file.size()) ? qint64(offset) : 0;
}

// How far the process `pid` has read the file `path` it has open, as the
// system says of its descriptor (found once, then kept in `descriptor`);
// -1 when that cannot be seen.
qint64 readPosition(qint64 pid, const QString &path, int *descriptor)
{
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    if (*descriptor < 0) {
        const QStringList open =
            QDir(proc + QLatin1String("fd"))
                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : open) {
            if (Links::target(proc + QLatin1String("fd/") + fd) == path) {
                *descriptor = fd.toInt();
                break;
            }
        }
        if (*descriptor < 0)
            return -1;
    }
    QFile info(proc + QLatin1String("fdinfo/") + QString::number(*descriptor));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = info.readAll();
    const int at = text.indexOf("pos:");
    if (at < 0)
        return -1;
    const int lineEnd = text.indexOf('\n', at);
    return text.mid(at + 4, lineEnd < 0 ? -1 : lineEnd - at - 4).trimmed().toLongLong();
}

} // namespace

namespace Archives {

Outcome listZip(const QString &zip, const QString &folder, ZipListing *listing)
{
    *listing = ZipListing();
    listing->allInside = true;
    const QByteArray inside = folder.toUtf8() + '/';
    // `unzip -Z1` names one entry a line, and says on its error channel why
    // it cannot: the shortest listing there is, for thousands of entries.
    auto onLine = [&](const QByteArray &line) {
        const QByteArray name = line.endsWith('\n') ? line.chopped(1) : line;
        if (name.isEmpty() || name.startsWith("__MACOSX/"))
            return false; // never unpacked
        ++listing->entries;
        if (!name.startsWith(inside))
            listing->allInside = false;
        if (listing->climbing.isEmpty()
            && (name == ".." || name.startsWith("../") || name.contains("/../")
                || name.endsWith("/..")))
            listing->climbing = QString::fromUtf8(name);
        return false;
    };
    const ChildProcess::Result zipinfo =
        ChildProcess::run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip}, {}, onLine);
    listing->allInside = listing->allInside && listing->entries > 0;
    return zipinfo.outcome(QStringLiteral("unzip"));
}

Outcome unzip(const QString &zip, const QString &folder, const Progress &progress,
              QString *encrypted)
{
    // unzip reads the entries in their order, so how far it has read them is
    // how far it is. Quiet: naming each entry as it goes cost it two writes
    // and two looks for a terminal per entry, an eighth of its time.
    const qint64 entriesEnd = zipEntriesEnd(zip);
    const QString opened = QFileInfo(zip).canonicalFilePath();
    int descriptor = -1;
    qint64 farthest = 0;
    auto watch = [&](qint64 pid) {
        const qint64 at = readPosition(pid, opened, &descriptor);
        // Between entries unzip reads on in the central directory.
        if (entriesEnd > 0 && at > farthest && at <= entriesEnd) {
            farthest = at;
            progress(double(at) / entriesEnd);
        }
    };
    // macOS's "Compress" adds __MACOSX/ beside the folder: never unpacked.
    const ChildProcess::Result result =
        ChildProcess::run(QStringLiteral("unzip"),
                          {QStringLiteral("-q"), QStringLiteral("-o"), zip, QStringLiteral("-x"),
                           QStringLiteral("__MACOSX/*")},
                          folder, {}, QProcess::StandardOutput, watch);
    // Without a terminal to ask on, unzip skips what needs a password:
    // "   skipping: lib/a.jar               unable to get password".
    static const QRegularExpression skipped(
        QStringLiteral("^\\s*skipping: (.*\\S)\\s+(unable to get|incorrect) password$"),
        QRegularExpression::MultilineOption);
    *encrypted = skipped.match(QString::fromUtf8(result.standardError)).captured(1);
    return result.outcome(QStringLiteral("unzip"));
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
