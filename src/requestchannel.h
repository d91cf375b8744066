#ifndef REQUESTCHANNEL_H
#define REQUESTCHANNEL_H

#include "outcome.h"

#include <QJsonObject>
#include <QLocalServer>
#include <QObject>
#include <QPointer>

class QLocalSocket;

// How a shell of the app's user (ssh, adb) asks the running app: a local
// socket in the data folder, mode 0600, found from the user's home alone,
// that takes requests from processes of the app's own user only (their
// credentials are asked of the kernel, whatever the file's mode). One
// request a connection, one line of JSON; the app says at once that it took
// it, and later what came of it.
namespace RequestChannel {

QString path(const QString &dataFolder);

// What an asker heard.
struct Answer
{
    enum Kind { Done, Failed, NotRunning, NoOutcome } kind = NotRunning;
    QString line;
};
// Asks the app and waits for its outcome, at most `timeoutMs`; within 2 s
// when no app takes the request.
Answer ask(const QString &dataFolder, const QJsonObject &request, int timeoutMs);

} // namespace RequestChannel

// One request taken: what was asked, and the one outcome it gets.
class Request : public QObject
{
    Q_OBJECT

public:
    Request(QLocalSocket *socket, const QJsonObject &asked);

    QString verb() const { return asked.value("verb").toString(); }
    QJsonObject arguments() const { return asked; }
    // The outcome, for the asker; said once, later ones are dropped. The
    // request goes with its connection, once that is closed.
    void answer(bool ok, const QString &line);

private:
    QPointer<QLocalSocket> socket;
    QJsonObject asked;
    bool answered = false;
};

// The app's side: listens in the data folder, hands on each request of
// the app's own user, and refuses the rest.
class RequestServer : public QObject
{
    Q_OBJECT

public:
    explicit RequestServer(QObject *parent = nullptr);

    // Not when another app of this user answers there already.
    Outcome listen(const QString &dataFolder);

signals:
    void asked(Request *request);
    // A process of another user was turned away.
    void refused(qint64 uid);

private:
    void take(QLocalSocket *socket);

    QLocalServer server;
};

#endif // REQUESTCHANNEL_H
