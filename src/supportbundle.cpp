#include "supportbundle.h"

#include "cardmask.h"
#include "ccooutput.h"
#include "ccoprobe.h"
#include "childprocess.h"
#include "installation.h"
#include "isotime.h"
#include "logfile.h"
#include "outputlog.h"
#include "processtree.h"
#include "sitefiles.h"
#include "statusfile.h"
#include "wholefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

namespace {

constexpr qint64 kLargestConfig = 64 * 1024;

QByteArray fileContent(const QString &path, qint64 limit)
{
    QByteArray content;
    QString why;
    WholeFile::read(path, limit, &content, &why);
    return content;
}

// "pid, resident memory, command line", one line a process of `tree`.
QByteArray processLines(const QList<qint64> &tree)
{
    QByteArray lines;
    for (qint64 pid : tree) {
        const QString proc = QStringLiteral("/proc/%1/").arg(pid);
        QByteArray rss = "?";
        for (const QByteArray &line : fileContent(proc + QLatin1String("status"), 64 * 1024).split('\n')) {
            if (line.startsWith("VmRSS:"))
                rss = line.mid(6).simplified();
        }
        lines += QByteArray::number(pid) + "  " + rss + "  " + ProcessTree::commandLine(pid).toLocal8Bit() + '\n';
    }
    return lines;
}

// Whether `line` begins with a log stamp, "yyyy-MM-dd HH:mm:ss.zzz".
bool isStamp(const QByteArray &line)
{
    static const char pattern[] = "0000-00-00 00:00:00.000";
    if (line.size() < int(sizeof pattern) - 1)
        return false;
    for (int i = 0; pattern[i]; ++i) {
        const bool digit = line[i] >= '0' && line[i] <= '9';
        if (pattern[i] == '0' ? !digit : line[i] != pattern[i])
            return false;
    }
    return true;
}

QByteArray about(const QString &data, quint16 port)
{
    const QString runtime = Installation::runtimeFolder(data);
    const ChildProcess::Result java =
        Installation::runtimeCanRun(runtime)
        ? ChildProcess::run(Installation::javaOf(runtime), {QStringLiteral("-version")})
        : ChildProcess::Result();
    QByteArray text = "varnolet " VARNOLET_VERSION "\n";
    text += "runtime: " + (java.ok ? (java.standardError + java.standardOutput).trimmed()
                                   : QByteArray("does not run"))
        + '\n';
    const QString cco = Installation::ccoFolder(data);
    const QString zipHash = Installation::zipHash(cco);
    text += "installation: " + QByteArray(QFileInfo::exists(cco + "/run.sh") ? "present" : "absent")
        + ", from a zip of sha256 "
        + (zipHash.isEmpty() ? QByteArray("unknown") : zipHash.toLatin1()) + '\n';
    text += "site files:\n";
    for (const SiteFiles::Entry &entry : SiteFiles::list(data))
        text += "  " + entry.sha256.toLatin1() + "  " + entry.path.toUtf8() + '\n';
    text += "free bytes in the data folder: "
        + QByteArray::number(QStorageInfo(data).bytesAvailable()) + '\n';
    const CcoProbe::Cco running = CcoProbe::runningCco(data, port);
    text += "CCO's processes (pid, resident memory, command line):\n";
    text += running.pid > 0 ? processLines(ProcessTree::of(running.pid)) : "  none runs\n";
    return text;
}

} // namespace

namespace SupportBundle {

QString defaultName(const QDateTime &now)
{
    return QStringLiteral("varnolet-bundle-%1-%2.tar.gz")
        .arg(QHostInfo::localHostName(), now.toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

QByteArray linesSince(const QStringList &files, const QDateTime &since)
{
    // Local stamps sort as text: compared as such, the time zone is not
    // looked up for each of a day's many lines.
    const QByteArray from = since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    QByteArray kept;
    bool keep = false;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd()) {
            const QByteArray line = file.readLine();
            if (isStamp(line))
                keep = qstrncmp(line.constData(), from.constData(), uint(from.size())) >= 0;
            if (keep)
                kept += line;
        }
    }
    return kept;
}

QList<Member> gather(const QString &data, const QString &configFile, quint16 port,
                     const QDateTime &since, const QByteArray &screenshot)
{
    QList<Member> members;
    auto text = [&members](const QString &name, const QByteArray &content) {
        Member member{name, content, 0};
        member.content = CardMask::mask(content, &member.masked);
        members.append(member);
    };
    if (QFileInfo::exists(StatusFile::path(data)))
        text(QStringLiteral("status.json"), fileContent(StatusFile::path(data), 64 * 1024));
    if (QFileInfo::exists(configFile))
        text(QStringLiteral("varnolet.conf"), fileContent(configFile, kLargestConfig));
    text(QStringLiteral("about.txt"), about(data, port));
    QStringList logs;
    for (int generation = 3; generation >= 0; --generation)
        logs << LogFile::path(data, QStringLiteral("varnolet.log"), generation);
    text(QStringLiteral("logs/varnolet.log"), linesSince(logs, since));
    // CCO's own files bear no times: each that was written since, whole.
    // The runner cuts them wherever a file fills, even inside a line, so a
    // file and the one before it are masked as one text.
    for (const QString &current : {CcoOutput::outputFile(data), CcoOutput::errorFile(data)}) {
        QList<Member> pair;
        QList<QByteArray> parts;
        for (const QString &path : {current + QLatin1String(".1"), current}) {
            const QFileInfo info(path);
            if (info.isFile() && info.lastModified() >= since) {
                pair.append({QStringLiteral("logs/") + info.fileName(), QByteArray(), 0});
                parts.append(fileContent(path, 2 * CcoOutput::kRotateBytes));
            }
        }
        const QList<int> masked = CardMask::maskParts(parts);
        for (int i = 0; i < pair.size(); ++i) {
            pair[i].content = parts.at(i);
            pair[i].masked = masked.at(i);
        }
        members += pair;
    }
    if (!screenshot.isEmpty())
        members.append({QStringLiteral("screenshot.png"), screenshot, -1});
    return members;
}

QByteArray manifest(const QList<Member> &members, const QDateTime &now, const QDateTime &since)
{
    QByteArray text = "Varnolet support bundle of " + QHostInfo::localHostName().toUtf8()
        + ", made " + isoTime(now).toLatin1() + " by varnolet " VARNOLET_VERSION
        + "\nLog lines since " + isoTime(since).toLatin1()
        + ". Card numbers are masked in every text member; the PIN file is never included.\n"
          "\nbytes sha256 masked name\n";
    for (const Member &member : members)
        text += QByteArray::number(member.content.size()) + ' '
            + QCryptographicHash::hash(member.content, QCryptographicHash::Sha256).toHex() + ' '
            + (member.masked < 0 ? QByteArray("-") : QByteArray::number(member.masked)) + ' '
            + member.name.toUtf8() + '\n';
    return text;
}

Outcome write(const QString &file, const QList<Member> &members, const QDateTime &now,
              const QDateTime &since)
{
    QTemporaryDir staging;
    if (!staging.isValid())
        return Outcome::failed(QStringLiteral("no temporary folder: %1").arg(staging.errorString()));
    QList<Member> all{{QStringLiteral("MANIFEST"), manifest(members, now, since), -1}};
    all += members;
    QStringList names;
    for (const Member &member : qAsConst(all)) {
        const Outcome staged = WholeFile::replace(staging.filePath(member.name), member.content);
        if (!staged.ok())
            return staged;
        names << member.name;
    }
    // In the order given: MANIFEST first.
    const ChildProcess::Result tar = ChildProcess::run(
        QStringLiteral("tar"),
        QStringList{"-czf", "-", "--owner=0", "--group=0", "--numeric-owner", "-C", staging.path(),
                    "--"}
            + names);
    if (!tar.ok)
        return tar.outcome(QStringLiteral("tar"));
    return WholeFile::replace(file, tar.standardOutput);
}

} // namespace SupportBundle
