#ifndef UNPACKING_H
#define UNPACKING_H

#include "archives.h"
#include "outcome.h"

#include <QString>

// The steps of an unpack, run on the operation's thread: the Java runtime
// from its gzipped tar, a CCO installation from its zip, each unpacked
// beside the folder it replaces and swapped in only when complete; or a zip
// unpacked into another folder, keeping what is there.
namespace Unpacking {

struct Result
{
    Outcome outcome;
    // Whether a folder was there to be replaced when the swap came.
    bool replacing = false;
    // Where the replaced folder was set aside, for deletion; empty when none.
    QString replaced;
    // Whether the zip held the CustomerCheckout folder itself, whose
    // contents were imported.
    bool wrapped = false;
};

// Unpacks the runtime archive in place of dataDir's runtime folder.
Result runtime(const QString &dataDir, const QString &archive, const Archives::Progress &progress);

// Unpacks `zip` in place of dataDir's installation; refused when the zip is
// encrypted or a link in it leads out of the installation.
Result installation(const QString &dataDir, const QString &zip, const Archives::Progress &progress);

// Checks `zip` as an import would, unpacking it in a scratch folder of
// dataDir: readable, not encrypted, run.sh at the top of the installation,
// no link out of it.
Outcome check(const QString &dataDir, const QString &zip);

// Unpacks `zip` into dataDir/name, which exists, keeping what the zip does
// not hold.
Outcome into(const QString &dataDir, const QString &name, const QString &zip,
             const Archives::Progress &progress);

} // namespace Unpacking

#endif // UNPACKING_H
