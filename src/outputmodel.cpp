#include "outputmodel.h"

OutputModel::OutputModel(QObject *parent, int characterLimit)
    : QObject(parent)
    , limit(characterLimit)
{
    throttle.setSingleShot(true);
    throttle.setInterval(100);
    connect(&throttle, &QTimer::timeout, this, &OutputModel::flush);
}

void OutputModel::append(const QString &chunk)
{
    if (chunk.isEmpty())
        return;
    const QString paragraph = chunk.endsWith(QLatin1Char('\n')) ? chunk.chopped(1) : chunk;
    pending << paragraph;
    pendingLength += paragraph.size() + 1;
    while (pending.size() > 1 && pendingLength - pending.first().size() - 1 >= limit)
        pendingLength -= pending.takeFirst().size() + 1;
    if (!throttle.isActive()) {
        flush();
        throttle.start();
    }
}

void OutputModel::appendNow(const QString &line)
{
    append(line);
    flush();
}

void OutputModel::clear()
{
    pending.clear();
    pendingLength = 0;
    throttle.stop();
    if (shown.isEmpty())
        return;
    shown.clear();
    emit textChanged();
}

void OutputModel::flush()
{
    if (pending.isEmpty())
        return;
    const QString batch = pending.join(QLatin1Char('\n'));
    pending.clear();
    pendingLength = 0;
    QString text = shown.isEmpty() ? batch : shown + QLatin1Char('\n') + batch;
    if (text.size() > limit) {
        // The oldest lines go whole; a line longer than the limit keeps its end.
        const int cut = text.size() - limit;
        const int lineStart = text.indexOf(QLatin1Char('\n'), cut - 1) + 1;
        text = text.mid(lineStart > 0 ? lineStart : cut);
    }
    shown = text;
    emit textChanged();
}
