#include "ccowatch.h"

#include "processtree.h"

#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrl>

#include <csignal>

CcoWatch::CcoWatch(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &CcoWatch::look);
}

void CcoWatch::watch(qint64 rootPid, quint16 ccoPort, const Timing &how, int firstInterval)
{
    stop();
    pid = rootPid;
    port = ccoPort;
    timing = how;
    answeredOnce = firstInterval == 0;
    timer.start(answeredOnce ? timing.interval : firstInterval);
    look();
}

QString CcoWatch::hungLine(const Timing &t, qint64 java, quint16 port)
{
    return QStringLiteral("CCO has not answered on 127.0.0.1:%1 for %2 seconds while it runs: it "
                          "is hung. %3")
        .arg(port)
        .arg(qint64(t.hungAfter) * qMax(t.interval, t.deadline) / 1000)
        .arg(java > 0 ? QStringLiteral("Asked its Java (pid %1) for a thread dump; stopping it.")
                            .arg(java)
                      : QStringLiteral(
                          "No Java in its processes to ask for a thread dump; stopping it."));
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
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)));
    // Until the first answer, a look lasts no longer than the wait between two.
    request.setTransferTimeout(answeredOnce ? timing.deadline
                                            : qMin(timing.deadline, timer.interval()));
    if (!network) {
        network = std::make_unique<QNetworkAccessManager>();
        network->setProxy(QNetworkProxy::NoProxy);
    }
    reply = network->get(request);
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
    // Whatever answers on the port then, it is not this CCO.
    if (!ProcessTree::exists(pid)) {
        stop();
        emit gone();
        return;
    }
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
