#ifndef ARCHIVES_H
#define ARCHIVES_H

#include "outcome.h"

#include <QString>

#include <functional>

// Zip and gzipped tar archives, unpacked by the system's unzip and tar with
// their progress followed as they go.
namespace Archives {

// Sees the share of an unpack done, from 0 to 1; called on the unpacking
// thread.
using Progress = std::function<void(double share)>;

struct ZipListing
{
    int entries = 0;
    // Whether every entry lies in the one top folder asked about.
    bool allInside = false;
    // The first entry whose path goes up with "..", which a quiet unzip
    // leaves out of the path without a word; empty when there is none.
    QString climbing;
};

// Lists `zip`: how many entries it has, whether all lie in the top folder
// `folder`, and the first that goes up with "..".
Outcome listZip(const QString &zip, const QString &folder, ZipListing *listing);

// Unpacks `zip` into `folder` with `unzip -o`, quietly; `progress` sees how
// far unzip has read the zip's entries. `encrypted` gets the first entry
// skipped for want of a password, or stays empty.
Outcome unzip(const QString &zip, const QString &folder, const Progress &progress,
              QString *encrypted);

// Unpacks the gzipped tar `archive` into `folder`.
Outcome untar(const QString &archive, const QString &folder, const Progress &progress);

// The size of what the gzip file `path` unpacks to (its last four bytes,
// modulo 4 GiB); 0 when it cannot be read.
qint64 gzipUnpackedSize(const QString &path);

} // namespace Archives

#endif // ARCHIVES_H
