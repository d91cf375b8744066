#include "unpacking.h"

#include "folderswap.h"
#include "installation.h"
#include "links.h"
#include "sitefiles.h"
#include "updates.h"
#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <future>

namespace {

// unzip reads [, ], * and ? in a zip's name as a pattern: it is handed the
// zip under a plain name, a link in the staging folder. Unpacks into
// `folder`; `wrapped` says whether all of the zip lies in a CustomerCheckout
// folder. The zip is listed while it unpacks.
Outcome unzipInto(const QString &zip, const QString &staging, const QString &folder,
                  const Archives::Progress &progress, bool *wrapped)
{
    const QString link = staging + QLatin1String("/archive.zip");
    if (!QFile::link(zip, link))
        return Outcome::failed(QStringLiteral("cannot link %1 into %2").arg(zip, staging));
    Archives::ZipListing listing;
    std::future<Outcome> listed = std::async(std::launch::async, [&] {
        return Archives::listZip(link, Installation::ccoFolderName, &listing);
    });
    QString encrypted;
    const Outcome unzipped = Archives::unzip(link, folder, progress, &encrypted);
    Outcome outcome = listed.get();
    if (outcome.ok() && !encrypted.isEmpty())
        return Outcome::failed(QStringLiteral("the zip is encrypted (%1 needs a password); import "
                                              "an unencrypted zip")
                                   .arg(encrypted));
    if (outcome.ok() && !listing.climbing.isEmpty())
        return Outcome::failed(QStringLiteral("the zip's entry %1 goes up out of its folder with "
                                              "\"../\"; import a zip without such entries")
                                   .arg(listing.climbing));
    if (outcome.ok())
        outcome = unzipped;
    if (!outcome.ok())
        return Outcome::failed(outcome.why().replace(link, zip));
    *wrapped = listing.allInside;
    return outcome;
}

// Unpacks `zip` into `folder` and checks it as an installation: run.sh at
// its top, no link out of it. `folder` becomes the installation's folder,
// inside the CustomerCheckout folder the zip may hold.
Outcome unzipInstallation(const QString &zip, const QString &staging, QString *folder,
                          const Archives::Progress &progress, bool *wrapped)
{
    const Outcome unzipped = unzipInto(zip, staging, *folder, progress, wrapped);
    if (!unzipped.ok())
        return unzipped;
    if (*wrapped)
        *folder += QLatin1Char('/') + Installation::ccoFolderName;
    if (!QFileInfo(*folder + QLatin1String("/run.sh")).isFile())
        return Outcome::failed(QStringLiteral("the zip holds no run.sh at the top of the "
                                              "installation: it is not a CCO installation"));
    return Links::allInside(*folder);
}

Unpacking::Result replace(const QString &dataDir, const QString &name,
                          const std::function<Outcome(FolderSwap &, Unpacking::Result &)> &unpack)
{
    Unpacking::Result result;
    FolderSwap swap(dataDir, name);
    result.outcome = swap.stage();
    if (result.outcome.ok())
        result.outcome = unpack(swap, result);
    if (!result.outcome.ok())
        return result;
    result.replacing = QFileInfo::exists(swap.destination());
    result.outcome = swap.swap();
    result.replaced = swap.replacedPath();
    return result;
}

} // namespace

namespace Unpacking {

Result runtime(const QString &dataDir, const QString &archive, const Archives::Progress &progress)
{
    const QString name = Installation::runtimeFolderName;
    return replace(dataDir, name, [&](FolderSwap &swap, Result &) {
        const Outcome untarred = Archives::untar(archive, swap.unpacked, progress);
        if (!untarred.ok())
            return untarred;
        swap.unpacked += QLatin1Char('/') + name;
        return QDir(swap.unpacked).exists()
            ? Outcome::done()
            : Outcome::failed(QStringLiteral("the archive holds no %1 folder").arg(name));
    });
}

Result installation(const QString &dataDir, const QString &zip, const Archives::Progress &progress)
{
    const QString name = Installation::ccoFolderName;
    const Result result = replace(dataDir, name, [&](FolderSwap &swap, Result &result) {
        // The zip's hash, which takes as long as the unzip itself on a slow
        // processor, is reckoned beside it.
        std::future<QString> hashed =
            std::async(std::launch::async, [&zip] { return WholeFile::sha256(zip); });
        const Outcome unpacked =
            unzipInstallation(zip, swap.stagingPath(), &swap.unpacked, progress, &result.wrapped);
        if (!unpacked.ok())
            return unpacked;
        // The till's own files, and where the installation came from.
        const Outcome site = SiteFiles::apply(dataDir, swap.unpacked);
        if (!site.ok())
            return Outcome::failed(
                QStringLiteral("the till's own files (site/) cannot be laid over it: %1")
                    .arg(site.why()));
        return WholeFile::replace(Installation::zipHashFile(swap.unpacked),
                                  hashed.get().toLatin1() + '\n');
    });
    if (result.outcome.ok()) {
        QFile marker(Installation::importedMarker(dataDir));
        marker.open(QIODevice::WriteOnly | QIODevice::Truncate);
        // The new installation's first start is a trial, where there is one
        // to go back to.
        if (result.replacing)
            Updates::beginTrial(dataDir);
    }
    return result;
}

Outcome check(const QString &dataDir, const QString &zip)
{
    if (!Installation::isRegularFile(zip))
        return Outcome::failed(QStringLiteral("%1 is not a readable zip file").arg(zip));
    QDir().mkpath(dataDir);
    QTemporaryDir scratch(dataDir + QLatin1String("/.zip-check-XXXXXX"));
    if (!scratch.isValid())
        return Outcome::failed(QStringLiteral("cannot make a folder in %1").arg(dataDir));
    QString folder = scratch.filePath(QStringLiteral("unpacked"));
    QDir().mkpath(folder);
    bool wrapped = false;
    return unzipInstallation(
        zip, scratch.path(), &folder, [](double) {}, &wrapped);
}

Outcome into(const QString &dataDir, const QString &name, const QString &zip,
             const Archives::Progress &progress)
{
    // The staging folder only holds the zip's link.
    FolderSwap scratch(dataDir, name);
    const Outcome staged = scratch.stage();
    bool wrapped = false;
    return staged.ok() ? unzipInto(zip, scratch.stagingPath(), dataDir + QLatin1Char('/') + name,
                                   progress, &wrapped)
                       : staged;
}

} // namespace Unpacking
