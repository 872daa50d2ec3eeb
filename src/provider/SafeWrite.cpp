#include "SafeWrite.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwell::xml {

namespace {

// Why a step failed with errno err, named so that the user knows what to do.
QString causeOf(int err, const QString &folder)
{
    const QString where = quoteForMessage(QDir::toNativeSeparators(folder), 200);
    switch (err) {
    case ENOSPC: return QStringLiteral("there is no space left on the device.");
    case EDQUOT: return QStringLiteral("the disk quota is used up.");
    case EFBIG: return QStringLiteral("the file size limit was reached.");
    case EACCES:
    case EPERM: return QStringLiteral("there is no permission to write in the folder %1.").arg(where);
    case ENOENT:
    case ENOTDIR: return QStringLiteral("the folder %1 no longer exists.").arg(where);
    case EROFS: return QStringLiteral("the folder %1 is on a read-only file system.").arg(where);
    case EIO: return QStringLiteral("the device reported an input/output error.");
    default: return QString::fromLocal8Bit(std::strerror(err)) + QLatin1Char('.');
    }
}

} // namespace

QString writeFileSafely(const QString &path, const QByteArray &bytes, std::optional<unsigned> permissions)
{
    // Links are followed to the file at the end of them, so that it gets the
    // new text and every link stays a link.
    QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        info = QFileInfo(info.canonicalFilePath());
    const QString folder = info.absolutePath();
    // As QSaveFile did, a file the user may not write is not replaced.
    if (info.exists() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) != 0 && errno == EACCES)
        return QStringLiteral("the file is read-only.");

    // A new file beside the target; created with mode 0666 so that the
    // process's umask gives a new document its usual permissions.
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() + QLatin1Char('.') +
                                 QString::number(QRandomGenerator::global()->generate(), 36));
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return causeOf(errno, folder);
    }
    if (fd < 0)
        return causeOf(EEXIST, folder);

    int err = 0;
    for (qsizetype done = 0; done < bytes.size() && !err;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            err = errno;
        else if (n == 0)
            err = EIO;
        else if (n > 0)
            done += n;
    }
    if (!err && permissions && ::fchmod(fd, static_cast<mode_t>(*permissions) & 07777) != 0)
        err = errno;
    if (!err && ::fdatasync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && !err)
        err = errno;
    if (!err && ::rename(temp.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0)
        err = errno;
    if (err) {
        ::unlink(temp.constData());
        return causeOf(err, folder);
    }
    return QString();
}

} // namespace tarnwell::xml
