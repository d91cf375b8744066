#ifndef PORTWAIT_H
#define PORTWAIT_H

#include <QObject>
#include <QString>
#include <QTimer>

// The wait while another program holds CCO's address: its page is never
// shown, and the address is looked at again every so often until it is free
// or CCO's own. Says who holds it, once for each holder.
class PortWait : public QObject
{
    Q_OBJECT

public:
    explicit PortWait(QObject *parent = nullptr);

    // `holder` ("pid N (command line)", or "a process this app cannot see")
    // holds the address at `port`: looks again after `intervalMs`. The line saying so,
    // or nothing when it was said for this holder already and `again` is
    // false.
    QString hold(const QString &holder, quint16 port, int intervalMs, bool again);
    // Looks again after `intervalMs`, saying nothing new.
    void later(int intervalMs) { timer.start(intervalMs); }
    void stop();
    bool isWaiting() const { return waiting; }
    QString holderNow() const { return holder; }
    // Who holds the address, in the device's language.
    static QString statusLine(const QString &holder, quint16 port);

signals:
    // Time to look at the address again.
    void lookAgain();

private:
    QTimer timer;
    QString holder;
    bool waiting = false;
};

#endif // PORTWAIT_H
