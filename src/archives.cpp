#include "archives.h"

#include "childprocess.h"

#include <QFile>
#include <QRegularExpression>

namespace Archives {

namespace {

// An entry's line of `unzip -Z`, "-rw-r--r--  3.0 unx  2 tx stor 26-Dec-06 23:41 name":
// its name, and whether it is encrypted (an upper-case T or B); false for
// any other line.
bool parseEntry(const QByteArray &line, QByteArray *name, bool *encrypted)
{
    const char *p = line.constData();
    const char *end = p + (line.endsWith('\n') ? line.size() - 1 : line.size());
    QByteArray fields[8];
    for (QByteArray &field : fields) {
        while (p < end && (*p == ' ' || *p == '\t'))
            ++p;
        const char *start = p;
        while (p < end && *p != ' ' && *p != '\t')
            ++p;
        if (p == start)
            return false;
        field = QByteArray(start, int(p - start));
    }
    bool size = false;
    fields[3].toLongLong(&size);
    if (!size || fields[4].size() != 2 || !QByteArray("tbTB").contains(fields[4][0]) || p == end)
        return false;
    *encrypted = fields[4][0] == 'T' || fields[4][0] == 'B';
    *name = QByteArray(p + 1, int(end - p - 1));
    return true;
}

} // namespace

Outcome listZip(const QString &zip, const QString &folder, ZipListing *listing)
{
    *listing = ZipListing();
    listing->allInside = true;
    const QByteArray inside = folder.toUtf8() + '/';
    QByteArray name;
    bool encrypted = false;
    auto onLine = [&](const QByteArray &line) {
        if (!parseEntry(line, &name, &encrypted))
            return true; // kept: the reason of a failure
        if (name.startsWith("__MACOSX/"))
            return false; // never unpacked
        ++listing->entries;
        if (listing->encrypted.isEmpty() && encrypted)
            listing->encrypted = QString::fromUtf8(name);
        if (!name.startsWith(inside))
            listing->allInside = false;
        return false;
    };
    const ChildProcess::Result zipinfo =
        ChildProcess::run(QStringLiteral("unzip"), {QStringLiteral("-Z"), zip}, {}, onLine);
    listing->allInside = listing->allInside && listing->entries > 0;
    return zipinfo.outcome(QStringLiteral("unzip"));
}

Outcome unzip(const QString &zip, const QString &folder,
              const std::function<void(int unpacked)> &unpacked)
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
    return ChildProcess::run(
               QStringLiteral("unzip"),
               {QStringLiteral("-o"), zip, QStringLiteral("-x"), QStringLiteral("__MACOSX/*")},
               folder, onLine)
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
