#include "treestop.h"

#include "processtree.h"

#include <csignal>

TreeStop::TreeStop(QObject *parent)
    : QObject(parent)
{
    connect(&poll, &QTimer::timeout, this, &TreeStop::look);
    kill.setSingleShot(true);
    connect(&kill, &QTimer::timeout, this, [this] {
        killed = true;
        ProcessTree::signal(tree, SIGKILL);
    });
}

bool TreeStop::stop(qint64 root, int killAfterMs)
{
    // A tree being stopped takes in what its root started since.
    const QList<qint64> now = ProcessTree::of(root);
    for (qint64 pid : now)
        if (!tree.contains(pid))
            tree << pid;
    if (now.isEmpty() && !poll.isActive())
        return false;
    ProcessTree::signal(now, SIGTERM);
    if (!poll.isActive()) {
        killed = false;
        kill.start(killAfterMs);
        poll.start(50);
    }
    return true;
}

void TreeStop::look()
{
    for (qint64 pid : qAsConst(tree))
        if (ProcessTree::alive(pid))
            return;
    poll.stop();
    kill.stop();
    tree.clear();
    emit ended(killed);
}
