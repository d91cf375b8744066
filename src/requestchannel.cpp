#include "requestchannel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QLocalSocket>

#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A request is a line of a few words: anything longer is no request.
constexpr qint64 kLongestLine = 4096;
// An app that takes no request within this time is not there.
constexpr int kAnswerMs = 2000;

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

// The next whole line from `socket`, waiting until `deadline`; empty when
// none came.
QJsonObject readLine(QLocalSocket *socket, const QElapsedTimer &clock, qint64 deadline)
{
    while (!socket->canReadLine()) {
        const qint64 left = deadline - clock.elapsed();
        if (left <= 0 || socket->state() != QLocalSocket::ConnectedState
            || !socket->waitForReadyRead(int(left)))
            break;
    }
    return socket->canReadLine() ? QJsonDocument::fromJson(socket->readLine(kLongestLine)).object()
                                 : QJsonObject();
}

} // namespace

namespace RequestChannel {

QString path(const QString &dataFolder)
{
    return dataFolder + QLatin1String("/control.socket");
}

Answer ask(const QString &dataFolder, const QJsonObject &request, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(path(dataFolder));
    if (!socket.waitForConnected(kAnswerMs)) {
        if (socket.error() == QLocalSocket::SocketAccessError)
            return {Answer::Failed,
                    QStringLiteral("Refused: the app's socket is not this user's.")};
        return {Answer::NotRunning, QStringLiteral("The app is not running.")};
    }
    socket.write(line(request));
    QElapsedTimer clock;
    clock.start();
    const QJsonObject taken = readLine(&socket, clock, kAnswerMs);
    if (taken.isEmpty())
        return {Answer::NotRunning, QStringLiteral("The app is not running.")};
    // Refused at once, or taken and answered later.
    const QJsonObject outcome =
        taken.contains("ok") ? taken : readLine(&socket, clock, kAnswerMs + qint64(timeoutMs));
    if (outcome.isEmpty())
        return {Answer::NoOutcome,
                QStringLiteral("No outcome within %1 seconds; the app may still carry the "
                               "request out.")
                    .arg(timeoutMs / 1000)};
    return {outcome.value("ok").toBool() ? Answer::Done : Answer::Failed,
            outcome.value("line").toString()};
}

} // namespace RequestChannel

Request::Request(QLocalSocket *socket, const QJsonObject &asked)
    : QObject(socket)
    , socket(socket)
    , asked(asked)
{ }

void Request::answer(bool ok, const QString &text)
{
    if (std::exchange(answered, true))
        return;
    // The socket goes once it is closed, which is after what it was given.
    if (socket && socket->state() == QLocalSocket::ConnectedState) {
        socket->write(line(QJsonObject{{"ok", ok}, {"line", text}}));
        socket->disconnectFromServer();
    }
}

RequestServer::RequestServer(QObject *parent)
    : QObject(parent)
{
    connect(&server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server.nextPendingConnection())
            take(socket);
    });
}

Outcome RequestServer::listen(const QString &dataFolder)
{
    const QString at = RequestChannel::path(dataFolder);
    QLocalSocket other;
    other.connectToServer(at);
    if (other.waitForConnected(500))
        return Outcome::failed(QStringLiteral("another app answers requests at %1").arg(at));
    // What an app that ended left behind answers nobody.
    QLocalServer::removeServer(at);
    QDir().mkpath(dataFolder);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(at))
        return Outcome::failed(QStringLiteral("%1: %2").arg(at, server.errorString()));
    ::chmod(QFile::encodeName(at).constData(), S_IRUSR | S_IWUSR);
    return Outcome::done();
}

void RequestServer::take(QLocalSocket *socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0
        || peer.uid != ::geteuid()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        socket->write(line(QJsonObject{
            {"ok", false},
            {"line", QStringLiteral("Refused: only the app's own user may ask this till.")}}));
        socket->disconnectFromServer();
        emit refused(qint64(peer.uid));
        return;
    }
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > kLongestLine)
                socket->abort();
            return;
        }
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        const QJsonObject what = QJsonDocument::fromJson(socket->readLine(kLongestLine)).object();
        auto *request = new Request(socket, what);
        if (what.value("verb").toString().isEmpty())
            return request->answer(false, QStringLiteral("Not a request."));
        socket->write(line(QJsonObject{{"accepted", true}}));
        emit asked(request);
    });
}
