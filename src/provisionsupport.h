#ifndef PROVISIONSUPPORT_H
#define PROVISIONSUPPORT_H

#include <QStringList>

class QTextStream;

// varnolet-provision bundle [-o FILE] [--since DURATION] and screenshot
// [-o FILE]: what whoever helps the shop asks for, over a shell of the
// app's user. Return the exit code, 2 on wrong usage.
int bundleCommand(QStringList arguments, QTextStream &out);
int screenshotCommand(QStringList arguments, QTextStream &out);

#endif // PROVISIONSUPPORT_H
