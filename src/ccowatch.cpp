#include "ccowatch.h"

#include "ccoprobe.h"
#include "processtree.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrl>

#include <csignal>

CcoWatch::CcoWatch(QObject *parent)
    : QObject(parent)
{
    network.setProxy(QNetworkProxy::NoProxy);
    connect(&timer, &QTimer::timeout, this, &CcoWatch::look);
}

void CcoWatch::watch(qint64 rootPid, const Timing &how, int firstInterval)
{
    stop();
    pid = rootPid;
    timing = how;
    answeredOnce = firstInterval == 0;
    timer.start(answeredOnce ? timing.interval : firstInterval);
    look();
}

void CcoWatch::stop()
{
    timer.stop();
    misses = 0;
    if (reply) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
        reply = nullptr;
    }
}

void CcoWatch::look()
{
    // One look at a time: one still unanswered goes on to its deadline.
    if (reply)
        return;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(CcoProbe::ccoPort)));
    // Until the first answer, a look lasts no longer than the wait between two.
    request.setTransferTimeout(answeredOnce ? timing.deadline
                                            : qMin(timing.deadline, timer.interval()));
    reply = network.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, sent = reply.data()] {
        sent->deleteLater();
        const bool answer = sent->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        reply = nullptr;
        looked(answer);
    });
}

void CcoWatch::looked(bool answer)
{
    if (!timer.isActive())
        return;
    if (answer) {
        misses = 0;
        emit answered();
        if (!answeredOnce) {
            answeredOnce = true;
            timer.start(timing.interval);
            emit firstAnswer();
        }
        return;
    }
    ++misses;
    const bool processGone = !ProcessTree::exists(pid);
    if ((!answeredOnce || pid == 0) ? misses >= 2 : processGone) {
        stop();
        emit gone();
        return;
    }
    if (!answeredOnce || misses < timing.hungAfter)
        return;
    timer.stop();
    const QList<qint64> tree = ProcessTree::of(pid);
    const qint64 java = ProcessTree::javaIn(tree);
    if (java > 0)
        ::kill(pid_t(java), SIGQUIT);
    emit hung(java);
    QTimer::singleShot(timing.dumpWait, this, [this, doomed = tree, root = pid] {
        ProcessTree::signal(doomed, SIGTERM);
        QTimer::singleShot(timing.killAfter, this, [this, doomed, root] {
            // Whatever the tree started meanwhile goes too.
            ProcessTree::signal(doomed + ProcessTree::of(root), SIGKILL);
            emit stopped();
        });
    });
}
