#include "archives.h"

#include "childprocess.h"

#include <QFile>
#include <QRegularExpression>

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
        return false;
    };
    const ChildProcess::Result zipinfo =
        ChildProcess::run(QStringLiteral("unzip"), {QStringLiteral("-Z1"), zip}, {}, onLine);
    listing->allInside = listing->allInside && listing->entries > 0;
    return zipinfo.outcome(QStringLiteral("unzip"));
}

Outcome unzip(const QString &zip, const QString &folder,
              const std::function<void(int unpacked)> &unpacked, QString *encrypted)
{
    // unzip names each entry as it unpacks it: "  inflating: lib/a.jar".
    int done = 0;
    auto onLine = [&](const QByteArray &line) {
        const QByteArray word = line.trimmed().split(':').value(0);
        if (word == "inflating" || word == "extracting" || word == "creating" || word == "linking")
            unpacked(++done);
        return true;
    };
    // macOS's "Compress" adds __MACOSX/ beside the folder: never unpacked.
    const ChildProcess::Result result = ChildProcess::run(
        QStringLiteral("unzip"),
        {QStringLiteral("-o"), zip, QStringLiteral("-x"), QStringLiteral("__MACOSX/*")}, folder,
        onLine);
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
