// Runs one helper child the way the backend does, and waits for it: for a
// test that kills this program and looks whether the child outlived it.
//
//   runchild PROGRAM [ARGUMENT...]

#include "childprocess.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty())
        return 2;
    return ChildProcess::run(arguments.first(), arguments.mid(1)).ok ? 0 : 1;
}
