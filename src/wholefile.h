#ifndef WHOLEFILE_H
#define WHOLEFILE_H

#include "outcome.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Files replaced whole and files of the data folder read safely. A
// replacement is written beside the file and renamed over it only when
// every byte is on the disk: a full disk or a failed write leaves the file
// as it was, never empty or half written. (Through a buffer, QSaveFile
// renames a file whose last write failed; here every write is checked.)
namespace WholeFile {

Outcome replace(const QString &path, const QByteArray &content,
                QFileDevice::Permissions permissions = QFileDevice::ReadOwner
                    | QFileDevice::WriteOwner);

enum class Read { Done, Missing, Failed };
// Reads `path` when it is a regular file of at most `limit` bytes, without
// ever waiting on it: a FIFO, a device or a folder is not read. `why` says
// what stood in the way.
Read read(const QString &path, qint64 limit, QByteArray *content, QString *why);

// The SHA-256 of the file at `path` in hex, read piece by piece; empty
// when it cannot be read.
QString sha256(const QString &path);

} // namespace WholeFile

#endif // WHOLEFILE_H
