#pragma once

#include <QByteArray>
#include <QString>
#include <ctime>
#include <sys/types.h>

// Storing a document's new text so that nothing but the file that was read is
// ever written, what the file is (its permissions, owner, extended
// attributes and ACL, its hard links) is kept, and a change another program
// makes meanwhile is never overwritten.
namespace tarnwell::xml {

// What tells whether a file changed: its identity, size and times, to the
// nanosecond. A file that is not there has none (size -1).
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};

    static FileStamp ofDescriptor(int fd);
    static FileStamp ofPath(const QString &path);
    bool operator==(const FileStamp &o) const;
};

// How a store ended.
struct WriteResult
{
    enum class Status {
        Written,       // the file holds the new text
        ChangedOnDisk, // the file is not (any more) the text that was read: nothing was written
        Failed,        // a step failed: the file is as it was
    };
    Status status = Status::Failed;
    // Why, for the other outcomes, as the end of a sentence ("there is no
    // space left on the device.").
    QString why;
    // The stored file's stamp, when written.
    FileStamp stamp;
};

// Replaces the text of the file at path, which must still hold exactly old
// (the bytes read), with bytes. A link at path is followed once, to the file
// it names; the folder is then pinned and every later step works in it, so
// that a folder or link swapped meanwhile cannot redirect the store.
//
// The new text goes into an unnamed file in the folder, with the file's
// permissions, owner and group, extended attributes and ACL, flushed to disk,
// and is exchanged with the file only if the name still refers to the file
// that holds old, unchanged; what was exchanged out is checked again, and
// swapped back if another program changed it at the last moment. A file
// whose identity a new file cannot take (hard links, an owner or group the
// writer cannot give, attributes it cannot copy) is written in place
// instead, with a copy of its old text beside it until the new text is on
// disk.
// read, when given, is the file as it was read: the name must still lead
// to that very file (its device and inode), whatever text it holds.
WriteResult replaceFileSafely(const QString &path, const QByteArray &bytes, const QByteArray &old,
                              const FileStamp *read = nullptr);

// Makes a new file at path holding bytes. An existing name, a link too, is
// never replaced or followed.
WriteResult createFileSafely(const QString &path, const QByteArray &bytes);

// Removes what stores of the document at path left when they were killed
// (see below), as every store that writes does; for a store that changes
// nothing and so writes nothing.
void removeStoreLeftovers(const QString &path);

// The names of the files a store makes beside the document NAME: the new
// text ".NAME.tarnwell-new-PID-RANDOM" and, for an in-place store, the old
// text ".NAME.tarnwell-old-PID-RANDOM", RANDOM being 12 lowercase hex digits.
inline constexpr char kNewMarker[] = ".tarnwell-new-";
inline constexpr char kOldMarker[] = ".tarnwell-old-";

#ifdef TARNWELL_TEST_HOOKS
// Tests only: a function called at each named step of a store, so that a
// test can change the file or its folder at exactly that moment.
namespace testhooks {
enum class Step {
    PathResolved, // links are followed, the folder is about to be opened
    FolderPinned, // the folder is open, nothing is written yet
    BeforeSwap,   // the new text is on disk, the file is about to be checked and replaced
    AfterSwap,    // the new file took the name; the old one is about to be checked
};
using Hook = void (*)(Step step, void *context);
void setHook(Hook hook, void *context);
} // namespace testhooks
#endif

} // namespace tarnwell::xml
