#include "portwait.h"


PortWait::PortWait(QObject *parent)
    : QObject(parent)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &PortWait::lookAgain);
}

QString PortWait::hold(const QString &who, quint16 port, int intervalMs, bool again)
{
    const bool known = waiting && who == holder;
    holder = who;
    waiting = true;
    timer.start(intervalMs);
    if (known && !again)
        return QString();
    return QStringLiteral("127.0.0.1:%1 is held by %2, which is not this installation's CCO. "
                          "Looking again every %3 seconds.")
        .arg(port)
        .arg(holder)
        .arg(intervalMs / 1000);
}

void PortWait::stop()
{
    timer.stop();
    waiting = false;
}

QString PortWait::statusLine(const QString &holder, quint16 port)
{
    // The pid and the program whole; a command line of a thousand
    // characters would leave no room on the screen (the log has it all).
    const int longest = 80;
    const QString shown = holder.size() > longest ? holder.left(longest - 1) + QChar(0x2026) : holder;
    return tr("127.0.0.1:%1 is held by %2, which is not this installation's CCO")
        .arg(port)
        .arg(holder.startsWith(QLatin1String("pid ")) ? shown
                                                      : tr("a process this app cannot see"));
}
