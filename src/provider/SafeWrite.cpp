#include "SafeWrite.h"

#include "Error.h"

#include <QDir>
#include <QRegularExpression>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

// Writes all of bytes to fd; 0, or the errno of the failure.
int writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno != EINTR)
            return errno;
        if (n == 0)
            return EIO;
        if (n > 0)
            done += n;
    }
    return 0;
}

// Fills fd with the new text, gives it its permissions and flushes it to
// disk; 0, or the errno of the failure.
int fillAndSync(int fd, const QByteArray &bytes, std::optional<unsigned> permissions)
{
    if (const int err = writeAll(fd, bytes))
        return err;
    if (permissions && ::fchmod(fd, static_cast<mode_t>(*permissions) & 07777) != 0)
        return errno;
    return ::fsync(fd) == 0 ? 0 : errno;
}

// A free name for a temporary file beside the target: hidden, derived from
// the target's name so that a user who finds one knows where it came from,
// and carrying the writing process's id, so that a later store can tell a
// file left by a store that was killed from one still being written.
QByteArray temporaryName(const QString &folder, const QString &fileName)
{
    return QFile::encodeName(folder + QStringLiteral("/.") + fileName + QLatin1Char('.') +
                             QString::number(::getpid()) + QLatin1Char('-') +
                             QString::number(QRandomGenerator::global()->generate(), 36));
}

// The largest process id this machine gives out.
qint64 largestPid()
{
    QFile f(QStringLiteral("/proc/sys/kernel/pid_max"));
    bool ok = false;
    const qint64 max = f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong(&ok) : 0;
    return ok && max > 0 ? max : 4194304;
}

// Whether the folder is on a file system other machines write to as well:
// there a process id says nothing about the process that wrote a file.
bool sharedFileSystem(const QString &folder)
{
    struct statfs fs {};
    if (::statfs(QFile::encodeName(folder).constData(), &fs) != 0)
        return true;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE (sshfs and the like)
    case 0x5346414FUL: // AFS
    case 0x47504653UL: // GPFS
    case 0x0BD00BD0UL: // Lustre
    case 0x19830326UL: // fhgfs / BeeGFS
    case 0x01021997UL: // 9P
        return true;
    default:
        return false;
    }
}

// Removes the temporary files that stores of fileName left when they were
// killed between naming their new file and renaming it. Only names exactly
// of the form the store makes (".NAME.PID-RANDOM", compared case by case)
// count, only regular files of this user, and only when no process has that
// id any more; on file systems shared with other machines nothing is
// removed.
void removeLeftovers(const QString &folder, const QString &fileName)
{
    const QString prefix = QLatin1Char('.') + fileName + QLatin1Char('.');
    static const QRegularExpression form(QStringLiteral("^([1-9][0-9]{0,9})-[0-9a-z]{1,7}$"));
    QStringList candidates;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.startsWith(prefix, Qt::CaseSensitive) && form.match(QStringView(name).mid(prefix.size())).hasMatch())
            candidates.append(name);
    }
    if (candidates.isEmpty() || sharedFileSystem(folder))
        return;
    const qint64 maxPid = largestPid();
    for (const QString &name : std::as_const(candidates)) {
        const QString rest = name.mid(prefix.size());
        const qint64 pid = rest.left(rest.indexOf(u'-')).toLongLong();
        if (pid > maxPid || pid == ::getpid())
            continue;
        const QByteArray path = QFile::encodeName(folder + QLatin1Char('/') + name);
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            ::unlink(path.constData());
    }
}

// Gives the unnamed file fd a free temporary name in the folder: 0 with the
// name in *name, -1 when the system offers no way to name it (nothing was
// made then), or the errno of the failure. Linking the descriptor itself
// needs CAP_DAC_READ_SEARCH; without it (ENOENT), its link in /proc names
// the same file.
int nameUnnamedFile(int fd, const QString &folder, const QString &fileName, QByteArray *name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    bool throughProc = false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *name = temporaryName(folder, fileName);
        const int linked = throughProc
                               ? ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name->constData(), AT_SYMLINK_FOLLOW)
                               : ::linkat(fd, "", AT_FDCWD, name->constData(), AT_EMPTY_PATH);
        if (linked == 0)
            return 0;
        if (errno == EEXIST)
            continue;
        if (errno != ENOENT && errno != EPERM)
            return errno;
        if (throughProc)
            return -1;
        throughProc = true;
    }
    return EEXIST;
}

// Flushes the folder's entries to disk, so that a rename in it survives a
// power cut; 0, or the errno of the failure. A folder that cannot be synced
// at all (not readable, or on a file system such as SMB that refuses folder
// syncs) gives 0: the rename is done, and failing the store for it would make
// the next store refuse a file that "changed on disk". An I/O error counts.
int syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int err = fd < 0 ? errno : ::fsync(fd) == 0 ? 0 : errno;
    if (fd >= 0 && ::close(fd) != 0 && !err)
        err = errno;
    switch (err) {
    case EACCES:
    case EPERM:
    case EINVAL:
    case EBADF:
    case EROFS:
    case ENOTSUP:
        return 0;
    default:
        return err;
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
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    removeLeftovers(folder, info.fileName());

    // The new text goes into a file without a name in the target's folder,
    // which a process killed while writing leaves nothing of; it is named
    // only once it is complete on disk, just before it is renamed over the
    // target (a kill between those two calls is all that can leave it
    // behind). Files are created with mode 0666 so that the process's umask
    // gives a new document its usual permissions.
    QByteArray temp;
    int err = 0;
    int fd = ::open(QFile::encodeName(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0) {
        err = fillAndSync(fd, bytes, permissions);
        if (!err)
            err = nameUnnamedFile(fd, folder, info.fileName(), &temp);
        if (err) {
            ::close(fd);
            fd = -1;
            if (err > 0)
                return causeOf(err, folder);
            err = 0;
        }
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return causeOf(errno, folder);
    }

    // Where the file system has no unnamed files (or they cannot be named),
    // a named one, removed again when a step fails.
    if (fd < 0) {
        for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
            temp = temporaryName(folder, info.fileName());
            fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST)
                return causeOf(errno, folder);
        }
        if (fd < 0)
            return causeOf(EEXIST, folder);
        err = fillAndSync(fd, bytes, permissions);
    }

    if (!err && ::rename(temp.constData(), target.constData()) != 0)
        err = errno;
    // The text is on disk already (fsync), so closing cannot lose any of it.
    ::close(fd);
    if (err) {
        ::unlink(temp.constData());
        return causeOf(err, folder);
    }
    // The rename is durable only once the folder is; until then a power cut
    // may bring back the old text, so a folder that fails to sync fails the
    // store.
    if (const int syncErr = syncFolder(folder))
        return causeOf(syncErr, folder);
    return QString();
}

} // namespace tarnwell::xml
