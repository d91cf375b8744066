#include "wholefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <openssl/evp.h>

namespace WholeFile {

Outcome replace(const QString &path, const QByteArray &content,
                QFileDevice::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Outcome::failed(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    file.setPermissions(permissions);
    if (file.write(content) != content.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        file.commit();
        return Outcome::failed(QStringLiteral("cannot write %1: %2").arg(path, why));
    }
    if (!file.commit())
        return Outcome::failed(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return Outcome::done();
}

Read read(const QString &path, qint64 limit, QByteArray *content, QString *why)
{
    // O_NONBLOCK: opening a FIFO with no writer would wait for one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *why = QString::fromLocal8Bit(std::strerror(error));
        return error == ENOENT ? Read::Missing : Read::Failed;
    }
    struct stat info
    {
    };
    Read result = Read::Failed;
    if (::fstat(fd, &info) != 0)
        *why = QString::fromLocal8Bit(std::strerror(errno));
    else if (!S_ISREG(info.st_mode))
        *why = QStringLiteral("not a regular file");
    else if (info.st_size > limit)
        *why = QStringLiteral("larger than %1 bytes").arg(limit);
    else {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly)) {
            *content = file.read(limit + 1);
            result = content->size() <= limit ? Read::Done : Read::Failed;
            if (result == Read::Failed)
                *why = QStringLiteral("larger than %1 bytes").arg(limit);
        } else {
            *why = file.errorString();
        }
    }
    ::close(fd);
    return result;
}

QString sha256(const QString &path)
{
    // libcrypto's digest uses the processor's SHA instructions where it has
    // them: ten times as fast as Qt's own here, and the hash of an imported
    // zip is on the import's way.
    QFile file(path);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    if (!context || !EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr)
        || !file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return QString();
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 read; (read = file.read(chunk.data(), chunk.size())) != 0;) {
        if (read < 0 || !EVP_DigestUpdate(context.get(), chunk.constData(), size_t(read)))
            return QString();
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!EVP_DigestFinal_ex(context.get(), digest, &length))
        return QString();
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace WholeFile
