#include "portwait.h"

#include "ccoprobe.h"

PortWait::PortWait(QObject *parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &PortWait::lookAgain);
}

QString PortWait::hold(const QString &who, int intervalMs, bool again)
{
    const bool known = waiting && who == holder;
    holder = who;
    waiting = true;
    timer.start(intervalMs);
    if (known && !again)
        return QString();
    return QStringLiteral("127.0.0.1:%1 is held by %2, which is not this installation's CCO. "
                          "Looking again every %3 seconds.")
        .arg(CcoProbe::ccoPort)
        .arg(holder)
        .arg(intervalMs / 1000);
}

void PortWait::stop()
{
    timer.stop();
    waiting = false;
}

QString PortWait::statusLine() const
{
    return tr("127.0.0.1:%1 is held by %2, which is not this installation's CCO")
        .arg(CcoProbe::ccoPort)
        .arg(holder.startsWith(QLatin1String("pid ")) ? holder
                                                      : tr("a process this app cannot see"));
}
