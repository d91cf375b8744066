#ifndef INSTALLATION_H
#define INSTALLATION_H

#include "outcome.h"

#include <QFileDevice>
#include <QList>
#include <QString>

#include <functional>

// The layout of the app's data folder, named once for the whole app: the
// Java runtime, the CCO installation and the shipped assets; the check that
// tells whether CCO can run, and the patch that copies the shipped scripts
// and jars into the installation, all or nothing.
namespace Installation {

extern const QString runtimeFolderName; // sapmachine-jre-17.0.6
extern const QString ccoFolderName; // CustomerCheckout

// The app's own data folder under the user's data home.
QString dataFolder();
QString runtimeFolder(const QString &dataFolder);
QString ccoFolder(const QString &dataFolder);
// The runtime's java, which CCO is started with.
QString javaOf(const QString &runtimeFolder);

// A file whose time is when the installation was last imported.
QString importedMarker(const QString &dataFolder);
// Where an installation keeps the SHA-256 of the zip it was imported from,
// so that it goes with the installation when it becomes the previous one.
QString zipHashFile(const QString &ccoFolder);
// That SHA-256; empty when it is not known.
QString zipHash(const QString &ccoFolder);

// The runtime archive shipped for a processor as QSysInfo names it; empty
// when none is shipped.
QString runtimeArchiveFor(const QString &cpuArchitecture);

// The assets folder shipped with the app: the working folder as `pwd`
// reports it, followed by "/assets/"; empty when `pwd` fails.
QString assetsPrefix();

bool isRegularFile(const QString &path);
bool isExecutableFile(const QString &path);
// Whether a runtime folder can run CCO: it has an executable bin/java.
bool runtimeCanRun(const QString &runtimeFolder);

// What the check found, in its order; it stops at the first problem.
struct Findings
{
    enum Problem {
        None,
        CannotCreateCcoFolder,
        NoRuntimeFolder,
        NoRunScript,
        RunScriptNotExecutable,
        NoJava,
    };
    bool ccoFolderWasMissing = false;
    Problem problem = None;
    bool passed() const { return problem == None; }
};

// Whether a runnable installation is present in `dataFolder`; creates an
// empty CCO folder where there is none.
Findings check(const QString &dataFolder);
// What the check found, in the log's words, a line a finding.
QStringList checkLines(const QString &dataFolder, const Findings &findings);

// The scripts and jars the patch copies, in its order.
QStringList patchFiles();

struct PatchFailure
{
    QString source;
    QString destination;
    QString why;
};

// A file to copy over one of the installation, and the mode of the copy.
struct Copy
{
    QString source;
    QString destination;
    QFileDevice::Permissions permissions;
};

// What the patch did: when any copy could not be made, nothing was
// replaced (`copyFailures`); otherwise each file that could not be put in
// place is in `placeFailures`.
struct PatchResult
{
    QList<PatchFailure> copyFailures;
    QList<PatchFailure> placeFailures;
    QList<Copy> placed; // in order
    bool patched() const { return copyFailures.isEmpty() && placeFailures.isEmpty(); }
};

// Copies the patch files from `assetsPrefix` into `ccoFolder`, mode 0755,
// and then `more` (the till's own files): each beside the file it replaces
// first, and renamed over it only when all copies are complete. `progress`
// sees the share done, from 0 to 1.
PatchResult patch(const QString &assetsPrefix, const QString &ccoFolder,
                  const std::function<void(double)> &progress, const QList<Copy> &more = {});
// The same for `files` alone.
PatchResult copyAll(const QList<Copy> &files, const std::function<void(double)> &progress);

} // namespace Installation

#endif // INSTALLATION_H
