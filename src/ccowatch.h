#ifndef CCOWATCH_H
#define CCOWATCH_H

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QNetworkReply;

// Watches a running CCO through its page: asks 127.0.0.1's CCO port for it
// at an interval, with a deadline; any HTTP answer counts, whatever its
// status. CCO whose process is gone is gone, whatever answers on its port
// then. Until the first answer CCO is starting, and it looks at the interval
// it is given; after it, a CCO that misses `hungAfter` answers in a row
// while its process lives is hung: its Java is asked for a thread dump
// (SIGQUIT, which the JVM answers on CCO's own output), then its whole
// process tree is stopped, SIGTERM first and SIGKILL to what is left later.
// A single slow answer changes nothing.
class CcoWatch : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int interval = 10000;
        int deadline = 5000;
        int hungAfter = 6; // missed answers in a row
        int dumpWait = 2000; // thread dump to SIGTERM
        int killAfter = 10000; // SIGTERM to SIGKILL
    };

    explicit CcoWatch(QObject *parent = nullptr);

    // Watches the CCO whose process tree starts at `pid`, serving on
    // `port`; until its first answer every `firstInterval` ms when given,
    // and it is not yet known to answer.
    void watch(qint64 pid, quint16 port, const Timing &timing, int firstInterval = 0);
    void stop();

    // The line that says CCO is hung, for the output area.
    static QString hungLine(const Timing &timing, qint64 java, quint16 port);

signals:
    void answered();
    void firstAnswer();
    void gone();
    // CCO is hung: `java` (0 when none was found) was asked for a thread
    // dump, and the tree will be stopped.
    void hung(qint64 java);
    // The hung CCO's processes were told to end, the last with SIGKILL.
    void stopped();

private:
    void look();
    void looked(bool answer);

    // Made at the first look: making one loads the network's plugins,
    // which the start of the app does not wait for.
    std::unique_ptr<QNetworkAccessManager> network;
    QPointer<QNetworkReply> reply;
    QTimer timer;
    Timing timing;
    qint64 pid = 0;
    quint16 port = 0;
    int misses = 0;
    bool answeredOnce = false;
};

#endif // CCOWATCH_H
