#ifndef DELIVEREDCOPY_H
#define DELIVEREDCOPY_H

#include "outcome.h"

#include <QString>

// The copies of picked files that the content-sharing service delivers into
// the app's own cache (HubIncoming, a numbered folder a delivery). Nothing
// else deletes them: an installation zip imported once a month would fill
// a device within a year.
namespace DeliveredCopy {

// The app's HubIncoming folder.
QString incomingFolder();

// Whether `path` is a file delivered into the incoming folder (below it,
// not through a link that leads elsewhere).
bool isDelivered(const QString &path);

// Removes the delivered file `path`, and the folders that held it below the
// incoming folder while they are empty.
Outcome remove(const QString &path);

} // namespace DeliveredCopy

#endif // DELIVEREDCOPY_H
