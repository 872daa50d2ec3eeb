#include "SafeWrite.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
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
    // A link is followed, so that the file it points at gets the new text
    // and the link stays a link.
    const QFileInfo link(path);
    const QFileInfo info(link.isSymLink() ? link.symLinkTarget() : path);
    const QString folder = info.absolutePath();
    QByteArray temp = QFile::encodeName(folder + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return causeOf(errno, folder);

    int err = 0;
    for (qsizetype done = 0; done < bytes.size() && !err;) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            err = errno;
        else if (n > 0)
            done += n;
    }
    if (!err) {
        mode_t mode = 0;
        if (permissions) {
            mode = static_cast<mode_t>(*permissions) & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(fd, mode) != 0)
            err = errno;
    }
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
