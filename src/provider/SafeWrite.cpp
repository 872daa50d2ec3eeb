#include "SafeWrite.h"

#include "Error.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace tarnwell::xml {

namespace {

#ifdef TARNWELL_TEST_HOOKS
testhooks::Hook g_hook = nullptr;
void *g_hookContext = nullptr;
#define STORE_STEP(s)                                                                                                  \
    do {                                                                                                               \
        if (g_hook)                                                                                                    \
            g_hook(testhooks::Step::s, g_hookContext);                                                                 \
    } while (false)
#else
#define STORE_STEP(s) ((void)0)
#endif

// A file descriptor, closed when it goes.
class Fd
{
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Why a step failed with errno err, named so that the user knows what to do.
QString causeOf(int err, const QByteArray &folder)
{
    const QString where = quoteForMessage(QDir::toNativeSeparators(QFile::decodeName(folder)), 200);
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

WriteResult failed(const QString &why)
{
    return {WriteResult::Status::Failed, why, {}};
}

WriteResult changed(const QString &why)
{
    return {WriteResult::Status::ChangedOnDisk, why, {}};
}

// Writes all of bytes to fd at offset (or, offset < 0, where it stands); 0,
// or the errno of the failure.
int writeAll(int fd, const QByteArray &bytes, off_t offset = -1)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const size_t left = static_cast<size_t>(bytes.size() - done);
        const ssize_t n = offset < 0 ? ::write(fd, bytes.constData() + done, left)
                                     : ::pwrite(fd, bytes.constData() + done, left, offset + done);
        if (n < 0 && errno != EINTR)
            return errno;
        if (n == 0)
            return EIO;
        if (n > 0)
            done += n;
    }
    return 0;
}

// Whether fd, of the size st gives, holds exactly text.
bool holdsExactly(int fd, const struct stat &st, const QByteArray &text)
{
    if (st.st_size != text.size())
        return false;
    char buffer[65536];
    for (qsizetype at = 0; at < text.size();) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || got > text.size() - at || std::memcmp(buffer, text.constData() + at, static_cast<size_t>(got)) != 0)
            return false;
        at += got;
    }
    char extra;
    return ::pread(fd, &extra, 1, text.size()) == 0;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTime(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Whether b is the file a was, with the same text as far as its size and
// times tell.
bool unchanged(const struct stat &a, const struct stat &b)
{
    return sameFile(a, b) && a.st_size == b.st_size && sameTime(a.st_mtim, b.st_mtim) && sameTime(a.st_ctim, b.st_ctim);
}

// A name for a file beside the document: hidden, derived from the document's
// name so that a user who finds one knows where it came from, with a marker
// no person's own name carries, the writing process's id (so that a later
// store can tell a file left by a store that was killed from one still being
// written) and 12 random hex digits.
QByteArray temporaryName(const QByteArray &name, const char *marker)
{
    const quint64 random = QRandomGenerator::global()->generate64() & 0xFFFFFFFFFFFFULL;
    return '.' + name + marker + QByteArray::number(::getpid()) + '-' + QByteArray::number(random, 16).rightJustified(12, '0');
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
bool sharedFileSystem(int dirfd)
{
    struct statfs fs {};
    if (::fstatfs(dirfd, &fs) != 0)
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

// Removes the new-text files that stores of name left when they were killed
// between naming their new file and finishing. Only names exactly of the
// store's form count (compared byte by byte), only regular files of this
// user, and only when no process has that id any more; on file systems
// shared with other machines nothing is removed. Copies of old text that an
// in-place store keeps are never removed here: after a kill they may be the
// only whole copy.
void removeLeftovers(int dirfd, const QByteArray &name)
{
    const QByteArray prefix = '.' + name + kNewMarker;
    static const QRegularExpression form(QRegularExpression::anchoredPattern(QStringLiteral("([1-9][0-9]{0,9})-[0-9a-f]{12}")));
    const int listFd = ::openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    std::vector<std::pair<QByteArray, qint64>> candidates;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray entryName(entry->d_name);
        if (!entryName.startsWith(prefix))
            continue;
        const QRegularExpressionMatch m = form.match(QString::fromLatin1(entryName.mid(prefix.size())));
        if (m.hasMatch())
            candidates.emplace_back(entryName, m.captured(1).toLongLong());
    }
    if (!candidates.empty() && !sharedFileSystem(dirfd)) {
        const qint64 maxPid = largestPid();
        for (const auto &[file, pid] : candidates) {
            if (pid > maxPid || pid == ::getpid())
                continue;
            struct stat st {};
            if (::fstatat(dirfd, file.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
                st.st_uid != ::geteuid())
                continue;
            if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                ::unlinkat(dirfd, file.constData(), 0);
        }
    }
    ::closedir(dir);
}

// Flushes the folder's entries to disk, so that a rename in it survives a
// power cut; 0, or the errno of the failure. A folder that cannot be synced
// at all (opened only as a path because it is not readable, or on a file
// system such as SMB that refuses folder syncs) gives 0: the rename is done,
// and failing the store for it would make the next store refuse a file that
// "changed on disk". An I/O error counts.
int syncFolder(int dirfd)
{
    const int err = ::fsync(dirfd) == 0 ? 0 : errno;
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

// The names of fd's extended attributes; nothing when it has none or the
// file system holds none.
std::optional<std::vector<QByteArray>> attributeNames(int fd, int *err)
{
    *err = 0;
    ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) {
        *err = errno == ENOTSUP ? 0 : errno;
        return std::nullopt;
    }
    std::vector<char> names(static_cast<size_t>(size) + 1);
    size = ::flistxattr(fd, names.data(), names.size());
    if (size < 0) {
        *err = errno;
        return std::nullopt;
    }
    std::vector<QByteArray> out;
    for (const char *n = names.data(); n < names.data() + size; n += std::strlen(n) + 1)
        out.emplace_back(n);
    return out;
}

// Makes the extended attributes of to (user attributes, security labels,
// the POSIX ACL) those of from: each is copied, and one the new file got
// that the old lacks (a folder's default ACL) is removed. 0, or the errno of
// the first that fails.
int copyAttributes(int from, int to)
{
    int err = 0;
    const std::optional<std::vector<QByteArray>> had = attributeNames(from, &err);
    if (err)
        return err;
    const std::optional<std::vector<QByteArray>> got = attributeNames(to, &err);
    if (err)
        return err;
    for (const QByteArray &name : got.value_or(std::vector<QByteArray>())) {
        const std::vector<QByteArray> &old = had.value_or(std::vector<QByteArray>());
        if (std::find(old.begin(), old.end(), name) == old.end() && ::fremovexattr(to, name.constData()) != 0)
            return errno;
    }
    if (!had)
        return 0;
    std::vector<char> names;
    for (const QByteArray &n : *had)
        names.insert(names.end(), n.constData(), n.constData() + n.size() + 1);
    const ssize_t size = static_cast<ssize_t>(names.size());
    for (const char *n = names.data(); n < names.data() + size; n += std::strlen(n) + 1) {
        const ssize_t length = ::fgetxattr(from, n, nullptr, 0);
        if (length < 0)
            return errno;
        std::vector<char> value(static_cast<size_t>(length) + 1);
        const ssize_t read = ::fgetxattr(from, n, value.data(), value.size());
        if (read < 0)
            return errno;
        if (::fsetxattr(to, n, value.data(), static_cast<size_t>(read), 0) != 0)
            return errno;
    }
    return 0;
}

// The folder of resolved, opened once; every later step works relative to it.
// O_PATH serves a folder that may be written and searched but not read.
int pinFolder(const QByteArray &folder)
{
    int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
        fd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

// Splits an absolute path into its folder and last name.
void splitPath(const QByteArray &path, QByteArray *folder, QByteArray *name)
{
    const qsizetype slash = path.lastIndexOf('/');
    *folder = slash <= 0 ? QByteArray("/") : path.left(slash);
    *name = path.mid(slash + 1);
}

// Gives the unnamed file fd the name `name` in dirfd; 0, or the errno of the
// failure (EEXIST when the name is taken). Linking the descriptor itself
// needs CAP_DAC_READ_SEARCH; without it its link in /proc names the same
// file.
int linkUnnamed(int fd, int dirfd, const QByteArray &name)
{
    if (::linkat(fd, "", dirfd, name.constData(), AT_EMPTY_PATH) == 0)
        return 0;
    if (errno != ENOENT && errno != EPERM)
        return errno;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, self.constData(), dirfd, name.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// An unnamed file in dirfd, or (the file system has none) a new named one
// with a free temporary name, which *named then holds. -1 with errno set on
// failure.
int newFileIn(int dirfd, const QByteArray &documentName, mode_t mode, QByteArray *named)
{
    named->clear();
    const int fd = ::openat(dirfd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return fd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray temp = temporaryName(documentName, kNewMarker);
        const int made = ::openat(dirfd, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (made >= 0) {
            *named = temp;
            return made;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// Names the new file fd (unless it has a name) with a free temporary name.
int nameNewFile(int fd, int dirfd, const QByteArray &documentName, QByteArray *temp)
{
    if (!temp->isEmpty())
        return 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray candidate = temporaryName(documentName, kNewMarker);
        const int err = linkUnnamed(fd, dirfd, candidate);
        if (err == 0)
            *temp = candidate;
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

// Gives the new file fd what the old file (st, descriptor old) is: owner
// and group, permissions, extended attributes and ACL. False when a new file
// cannot take all of it here; the store then writes in place.
bool takeIdentity(int fd, int old, const struct stat &st, int *err)
{
    *err = 0;
    struct stat mine {};
    if (::fstat(fd, &mine) != 0) {
        *err = errno;
        return true;
    }
    if (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid) {
        // Only root gives a file away; an owner may choose among its groups.
        const uid_t uid = mine.st_uid != st.st_uid ? st.st_uid : static_cast<uid_t>(-1);
        if (::fchown(fd, uid, st.st_gid) != 0)
            return false;
    }
    if (::fchmod(fd, st.st_mode & 07777) != 0) {
        *err = errno;
        return true;
    }
    const int copied = copyAttributes(old, fd);
    if (copied == EPERM || copied == EACCES || copied == ENOTSUP || copied == EOPNOTSUPP)
        return false;
    // The mode once more: an ACL removed or set above moves the group bits.
    if (!copied && ::fchmod(fd, st.st_mode & 07777) != 0)
        *err = errno;
    else
        *err = copied;
    return true;
}

// The store through a new file that takes the old one's place. Nothing when
// the new file cannot take the old one's identity: then the store writes in
// place.
std::optional<WriteResult> storeByExchange(int dirfd, const QByteArray &folder, const QByteArray &name,
                                           const QByteArray &bytes, int oldFd, const struct stat &before)
{
    QByteArray temp;
    Fd fd(newFileIn(dirfd, name, 0600, &temp));
    if (fd.get() < 0)
        return failed(causeOf(errno, folder));
    auto dropTemp = [&] {
        if (!temp.isEmpty())
            ::unlinkat(dirfd, temp.constData(), 0);
    };
    int err = writeAll(fd.get(), bytes);
    if (!err && !takeIdentity(fd.get(), oldFd, before, &err)) {
        dropTemp();
        return std::nullopt;
    }
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    if (!err)
        err = nameNewFile(fd.get(), dirfd, name, &temp);
    if (err) {
        dropTemp();
        return failed(causeOf(err, folder));
    }

    // The name must still be the file that was read, unchanged.
    STORE_STEP(BeforeSwap);
    struct stat now {};
    if (::fstatat(dirfd, name.constData(), &now, AT_SYMLINK_NOFOLLOW) != 0 || !unchanged(before, now)) {
        dropTemp();
        return changed(QStringLiteral("it was changed or replaced while the new text was written."));
    }
    if (::renameat2(dirfd, temp.constData(), dirfd, name.constData(), RENAME_EXCHANGE) == 0) {
        // What was exchanged out must be the file read, still unchanged: a
        // change at the last moment is swapped back, not lost.
        STORE_STEP(AfterSwap);
        struct stat out {}, held {};
        const bool same = ::fstatat(dirfd, temp.constData(), &out, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(out, before) &&
                          ::fstat(oldFd, &held) == 0 && held.st_size == before.st_size &&
                          sameTime(held.st_mtim, before.st_mtim);
        if (!same) {
            if (::renameat2(dirfd, temp.constData(), dirfd, name.constData(), RENAME_EXCHANGE) != 0) {
                return failed(QStringLiteral("another program changed it while it was replaced, and the change "
                                             "could not be put back: it is in %1.")
                                  .arg(quoteForMessage(QFile::decodeName(temp))));
            }
            dropTemp();
            return changed(QStringLiteral("another program changed it at the moment it was replaced."));
        }
        ::unlinkat(dirfd, temp.constData(), 0);
    } else if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP || errno == EOPNOTSUPP) {
        // A file system without exchange: the check above is the last one.
        if (::renameat(dirfd, temp.constData(), dirfd, name.constData()) != 0) {
            err = errno;
            dropTemp();
            return failed(causeOf(err, folder));
        }
    } else {
        err = errno;
        dropTemp();
        return failed(causeOf(err, folder));
    }
    // The rename is durable only once the folder is; until then a power cut
    // may bring back the old text, so a folder that fails to sync fails the
    // store.
    if (const int syncErr = syncFolder(dirfd))
        return failed(causeOf(syncErr, folder));
    return WriteResult{WriteResult::Status::Written, QString(), FileStamp::ofDescriptor(fd.get())};
}

// The store into the file itself, for a file a new one cannot stand in for.
// A copy of the old text stays beside it until the new text is on disk.
WriteResult storeInPlace(int dirfd, const QByteArray &folder, const QByteArray &name, const QByteArray &bytes,
                         const QByteArray &old, const struct stat &before)
{
    Fd fd(::openat(dirfd, name.constData(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return errno == EACCES || errno == EPERM ? failed(QStringLiteral("the file is read-only."))
                                                 : changed(QStringLiteral("it was replaced while it was stored."));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !unchanged(before, st))
        return changed(QStringLiteral("it was changed or replaced while it was stored."));

    QByteArray copy;
    Fd copyFd;
    for (int attempt = 0; attempt < 100 && copyFd.get() < 0; ++attempt) {
        copy = temporaryName(name, kOldMarker);
        copyFd.reset(::openat(dirfd, copy.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (copyFd.get() < 0 && errno != EEXIST)
            break;
    }
    const bool made = copyFd.get() >= 0;
    int err = made ? writeAll(copyFd.get(), old) : errno;
    if (!err && ::fsync(copyFd.get()) != 0)
        err = errno;
    if (!err)
        err = syncFolder(dirfd);
    copyFd.reset();
    if (err) {
        if (made)
            ::unlinkat(dirfd, copy.constData(), 0);
        return failed(QStringLiteral("it must be written in place (it has other hard links, or an owner, group or "
                                     "attributes a new file could not take), and the copy of its old text that is "
                                     "kept meanwhile could not be made: %1")
                          .arg(causeOf(err, folder)));
    }
    auto dropCopy = [&] { ::unlinkat(dirfd, copy.constData(), 0); };

    STORE_STEP(BeforeSwap);
    if (::fstat(fd.get(), &st) != 0 || !unchanged(before, st)) {
        dropCopy();
        return changed(QStringLiteral("it was changed while the new text was prepared."));
    }
    err = writeAll(fd.get(), bytes, 0);
    if (!err && ::ftruncate(fd.get(), bytes.size()) != 0)
        err = errno;
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    if (err) {
        // The old text goes back; where even that fails, its copy stays.
        const bool restored = writeAll(fd.get(), old, 0) == 0 && ::ftruncate(fd.get(), old.size()) == 0 &&
                              ::fsync(fd.get()) == 0;
        if (!restored) {
            return failed(causeOf(err, folder) + QStringLiteral(" Its old text is kept in %1.")
                                                     .arg(quoteForMessage(QFile::decodeName(copy))));
        }
        dropCopy();
        return failed(causeOf(err, folder));
    }
    dropCopy();
    syncFolder(dirfd);
    return WriteResult{WriteResult::Status::Written, QString(), FileStamp::ofDescriptor(fd.get())};
}

} // namespace

FileStamp FileStamp::ofDescriptor(int fd)
{
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return FileStamp();
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

FileStamp FileStamp::ofPath(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileStamp();
    return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

bool FileStamp::operator==(const FileStamp &o) const
{
    return size >= 0 && device == o.device && inode == o.inode && size == o.size && sameTime(modified, o.modified) &&
           sameTime(changed, o.changed);
}

WriteResult replaceFileSafely(const QString &path, const QByteArray &bytes, const QByteArray &old, const FileStamp *read)
{
    // Links are followed once, to the file at the end of them, so that it
    // gets the new text and every link stays a link.
    char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real) {
        const int err = errno;
        return err == ENOENT ? changed(QStringLiteral("it no longer exists.")) : failed(causeOf(err, QFile::encodeName(path)));
    }
    const QByteArray resolved(real);
    std::free(real);
    QByteArray folder, name;
    splitPath(resolved, &folder, &name);
    STORE_STEP(PathResolved);
    Fd dir(pinFolder(folder));
    if (dir.get() < 0)
        return failed(causeOf(errno, folder));
    STORE_STEP(FolderPinned);

    // The file there now must be a regular file holding exactly the text read.
    Fd oldFd(::openat(dir.get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (oldFd.get() < 0) {
        const int err = errno;
        if (err == ELOOP)
            return changed(QStringLiteral("its name now stands for a symbolic link."));
        if (err == ENOENT)
            return changed(QStringLiteral("it no longer exists."));
        return failed(causeOf(err, folder));
    }
    struct stat before {};
    if (::fstat(oldFd.get(), &before) != 0)
        return failed(causeOf(errno, folder));
    if (!S_ISREG(before.st_mode))
        return changed(QStringLiteral("it is no longer a regular file."));
    if (!holdsExactly(oldFd.get(), before, old))
        return changed(QStringLiteral("its text is not the text that was read."));
    // Holding the same text is not enough: the name must still lead to the
    // very file that was read, not to another one a link or a rename put there.
    if (read && read->size >= 0 && (before.st_dev != read->device || before.st_ino != read->inode))
        return changed(QStringLiteral("its name now leads to another file than the one that was read."));
    // As QSaveFile did, a file the user may not write is not replaced.
    if (::faccessat(dir.get(), name.constData(), W_OK, AT_EACCESS) != 0 && errno == EACCES)
        return failed(QStringLiteral("the file is read-only."));
    removeLeftovers(dir.get(), name);

    // A new file can stand in for this one unless it has other hard links
    // (they would keep the old text) or another owner (only root gives a
    // file away).
    const bool inPlace = before.st_nlink > 1 || (::geteuid() != 0 && before.st_uid != ::geteuid());
    if (!inPlace) {
        if (std::optional<WriteResult> done = storeByExchange(dir.get(), folder, name, bytes, oldFd.get(), before))
            return *std::move(done);
    }
    return storeInPlace(dir.get(), folder, name, bytes, old, before);
}

WriteResult createFileSafely(const QString &path, const QByteArray &bytes)
{
    // The folder is resolved once; the name itself is never followed.
    const QByteArray absolute = QFile::encodeName(QDir::cleanPath(QDir(QDir::currentPath()).absoluteFilePath(path)));
    QByteArray folder, name;
    splitPath(absolute, &folder, &name);
    char *real = ::realpath(folder.constData(), nullptr);
    if (!real)
        return failed(causeOf(errno, folder));
    folder = QByteArray(real);
    std::free(real);
    Fd dir(pinFolder(folder));
    if (dir.get() < 0)
        return failed(causeOf(errno, folder));
    STORE_STEP(FolderPinned);
    const QString taken = QStringLiteral("a file of that name was made since the new document was begun, and a new "
                                         "document never replaces a file.");
    struct stat st {};
    if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return changed(taken);

    // Files are created with mode 0666 so that the process's umask gives a
    // new document its usual permissions.
    QByteArray temp;
    Fd fd(newFileIn(dir.get(), name, 0666, &temp));
    if (fd.get() < 0)
        return failed(causeOf(errno, folder));
    int err = writeAll(fd.get(), bytes);
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    STORE_STEP(BeforeSwap);
    if (!err) {
        // A link never replaces what has the name meanwhile, nor follows it.
        err = temp.isEmpty() ? linkUnnamed(fd.get(), dir.get(), name)
                             : (::linkat(dir.get(), temp.constData(), dir.get(), name.constData(), 0) == 0 ? 0 : errno);
    }
    if (!temp.isEmpty())
        ::unlinkat(dir.get(), temp.constData(), 0);
    if (err == EEXIST)
        return changed(taken);
    if (err)
        return failed(causeOf(err, folder));
    if (const int syncErr = syncFolder(dir.get()))
        return failed(causeOf(syncErr, folder));
    return WriteResult{WriteResult::Status::Written, QString(), FileStamp::ofDescriptor(fd.get())};
}

void removeStoreLeftovers(const QString &path)
{
    char *real = ::realpath(QFile::encodeName(path).constData(), nullptr);
    if (!real)
        return;
    const QByteArray resolved(real);
    std::free(real);
    QByteArray folder, name;
    splitPath(resolved, &folder, &name);
    Fd dir(pinFolder(folder));
    if (dir.get() >= 0)
        removeLeftovers(dir.get(), name);
}

#ifdef TARNWELL_TEST_HOOKS
void testhooks::setHook(Hook hook, void *context)
{
    g_hook = hook;
    g_hookContext = context;
}
#endif

} // namespace tarnwell::xml
