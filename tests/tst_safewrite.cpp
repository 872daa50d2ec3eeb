// The safe write: stores that are cut short (tarnwell-pairs killed at random
// moments of a large store), stores raced by another program or user at
// each step, and what a stored file keeps of itself.
#include "SafeWrite.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>
#include <limits>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace tarnwell::xml;
using Step = testhooks::Step;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A document of count items, each holding word and its number.
QByteArray itemsDocument(int count, const QByteArray &word)
{
    QByteArray out = "<Doc>\n";
    for (int i = 0; i < count; ++i)
        out += "  <Item id=\"" + QByteArray::number(i) + "\">" + word + ' ' + QByteArray::number(i) + "</Item>\n";
    return out + "</Doc>\n";
}

QByteArray itemsPairList(int count, const QByteArray &word)
{
    QByteArray out = "DAT,,Doc,\n";
    for (int i = 0; i < count; ++i) {
        const QByteArray path = "Doc/Item" + (i ? '[' + QByteArray::number(i) + ']' : QByteArray());
        out += "DAT,," + path + ',' + word + ' ' + QByteArray::number(i) + "\nDAT,," + path + "/@id," + QByteArray::number(i) + '\n';
    }
    return out;
}

} // namespace

class TestSafeWrite : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void raceAtAStep_data();
    void raceAtAStep();
    void storeKeepsWhatTheFileIs_data();
    void storeKeepsWhatTheFileIs();
    void writerWhoCannotGiveTheFileAway();
    void killedStoreLeavesOldOrNewText();
    void onlyLeftoversOfDeadStoresGo_data();
    void onlyLeftoversOfDeadStoresGo();
};

namespace {

// What a test does at one step of a store.
struct Race
{
    Step step;
    std::function<void()> act;
    bool done = false;
};

void runRace(Step step, void *context)
{
    auto *race = static_cast<Race *>(context);
    if (step == race->step && !race->done) {
        race->done = true;
        race->act();
    }
}

// Runs the race while store runs; the hook is gone afterwards.
WriteResult raced(Race &race, const std::function<WriteResult()> &store)
{
    testhooks::setHook(runRace, &race);
    const WriteResult result = store();
    testhooks::setHook(nullptr, nullptr);
    return result;
}

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// Another program, or a user sharing the folder, acts at one step of a store:
// the store writes only over the file it read, never through a link planted
// meanwhile, and never over a change made meanwhile.
void TestSafeWrite::raceAtAStep_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("attack");
    QTest::addColumn<bool>("create");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("document"); // what the document's name holds afterwards
    using S = WriteResult::Status;
    const QByteArray oldText = "<r>old</r>", newText = "<r>new</r>", changedText = "<r>old</r><!-- theirs -->";
    auto row = [&](const char *name, Step step, const char *attack, bool create, S status, const QByteArray &after) {
        QTest::newRow(name) << int(step) << QString::fromLatin1(attack) << create << int(status) << after;
    };
    row("undisturbed", Step::BeforeSwap, "nothing", false, S::Written, newText);
    row("folder swapped for a link before it is pinned", Step::PathResolved, "swap-folder", false, S::ChangedOnDisk, "secret");
    row("folder swapped for a link after it is pinned", Step::FolderPinned, "swap-folder", false, S::Written, "secret");
    row("name swapped for a link to another file", Step::BeforeSwap, "link-name", false, S::ChangedOnDisk, "secret");
    row("changed while the new text was written", Step::BeforeSwap, "append", false, S::ChangedOnDisk, changedText);
    row("replaced by a copy of the same text", Step::BeforeSwap, "replace", false, S::ChangedOnDisk, oldText);
    row("changed at the moment of the swap", Step::AfterSwap, "append-held", false, S::ChangedOnDisk, changedText);
    row("create: a link planted before", Step::FolderPinned, "link-name", true, S::ChangedOnDisk, "secret");
    row("create: a link planted while writing", Step::BeforeSwap, "link-name", true, S::ChangedOnDisk, "secret");
    row("create: undisturbed", Step::BeforeSwap, "nothing", true, S::Written, newText);
}

void TestSafeWrite::raceAtAStep()
{
    QFETCH(int, step);
    QFETCH(QString, attack);
    QFETCH(bool, create);
    QFETCH(int, status);
    QFETCH(QByteArray, document);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString shared = dir.filePath(QStringLiteral("shared")), victim = dir.filePath(QStringLiteral("victim"));
    QVERIFY(QDir().mkdir(shared) && QDir().mkdir(victim));
    const QString doc = shared + QStringLiteral("/doc.xml"), secret = victim + QStringLiteral("/doc.xml");
    const QByteArray oldText = "<r>old</r>";
    QVERIFY(writeBytes(secret, "secret"));
    QVERIFY(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner));
    if (!create)
        QVERIFY(writeBytes(doc, oldText));
    QFile held(doc); // another program's open file
    if (!create)
        QVERIFY(held.open(QIODevice::ReadWrite));

    Race race{Step(step), [&] {
                  if (attack == u"swap-folder") {
                      QVERIFY(QDir().rename(shared, shared + QStringLiteral(".moved")));
                      QVERIFY(QFile::link(victim, shared));
                  } else if (attack == u"link-name") {
                      QFile::remove(doc);
                      QVERIFY(QFile::link(secret, doc));
                  } else if (attack == u"append") {
                      QFile f(doc);
                      QVERIFY(f.open(QIODevice::Append));
                      f.write("<!-- theirs -->");
                  } else if (attack == u"append-held") {
                      QVERIFY(held.seek(held.size()));
                      held.write("<!-- theirs -->");
                      held.flush();
                  } else if (attack == u"replace") {
                      QVERIFY(writeBytes(doc + QStringLiteral(".copy"), oldText));
                      QVERIFY(::rename(QFile::encodeName(doc + QStringLiteral(".copy")).constData(),
                                       QFile::encodeName(doc).constData()) == 0);
                  }
              }};
    const WriteResult result = raced(race, [&] {
        return create ? createFileSafely(doc, "<r>new</r>") : replaceFileSafely(doc, "<r>new</r>", oldText);
    });
    QVERIFY(race.done);
    QCOMPARE(int(result.status), status);
    QVERIFY2(result.status == WriteResult::Status::Written || !result.why.isEmpty(), "a refusal says why");
    QCOMPARE(bytesOf(doc), document);
    // The other user's file is never written, nor its mode changed.
    QCOMPARE(bytesOf(secret), QByteArray("secret"));
    struct stat st {};
    QVERIFY(::stat(QFile::encodeName(secret).constData(), &st) == 0);
    QCOMPARE(st.st_mode & 07777, 0600u);
    if (attack == u"swap-folder" && status == int(WriteResult::Status::Written))
        QCOMPARE(bytesOf(shared + QStringLiteral(".moved/doc.xml")), QByteArray("<r>new</r>"));
    // Nothing is left beside the document.
    QStringList left = entriesOf(QFileInfo(doc).canonicalPath().isEmpty() ? shared : QFileInfo(doc).absolutePath());
    left.removeAll(QStringLiteral("doc.xml"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

// A store keeps the file's permissions, extended attributes, ACL, owner and
// group, and its hard links, writing in place where a new file could not
// take them; no copy is left behind.
void TestSafeWrite::storeKeepsWhatTheFileIs_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("permissions") << QStringLiteral("mode");
    QTest::newRow("extended attribute") << QStringLiteral("xattr");
    QTest::newRow("ACL") << QStringLiteral("acl");
    QTest::newRow("hard link") << QStringLiteral("link");
    QTest::newRow("owner and group (root)") << QStringLiteral("owner");
    // A default ACL of the folder is not given to the stored file.
    QTest::newRow("folder's default ACL not taken") << QStringLiteral("default-acl");
}

void TestSafeWrite::storeKeepsWhatTheFileIs()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString doc = dir.filePath(QStringLiteral("doc.xml")), other = dir.filePath(QStringLiteral("other-link.xml"));
    const QByteArray path = QFile::encodeName(doc);
    QVERIFY(writeBytes(doc, "<r>old</r>"));
    QByteArray acl;
    auto getfacl = [&] {
        QProcess p;
        p.start(QStringLiteral("getfacl"), {QStringLiteral("--omit-header"), QStringLiteral("--numeric"), doc});
        return p.waitForFinished(10000) && p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray("getfacl failed");
    };
    if (kind == u"mode") {
        QVERIFY(::chmod(path.constData(), 0640) == 0);
    } else if (kind == u"xattr") {
        if (::setxattr(path.constData(), "user.note", "kept", 4, 0) != 0)
            QSKIP("the file system holds no user attributes");
    } else if (kind == u"acl") {
        if (QStandardPaths::findExecutable(QStringLiteral("setfacl")).isEmpty())
            QSKIP("setfacl is missing (package acl)");
        QCOMPARE(QProcess::execute(QStringLiteral("setfacl"), {QStringLiteral("-m"), QStringLiteral("u:65534:rw-,g::r--"), doc}), 0);
        acl = getfacl();
        QVERIFY(acl.contains("user:65534:rw-"));
    } else if (kind == u"link") {
        QVERIFY(::link(path.constData(), QFile::encodeName(other).constData()) == 0);
    } else if (kind == u"default-acl") {
        if (QStandardPaths::findExecutable(QStringLiteral("setfacl")).isEmpty())
            QSKIP("setfacl is missing (package acl)");
        QCOMPARE(QProcess::execute(QStringLiteral("setfacl"), {QStringLiteral("-d"), QStringLiteral("-m"), QStringLiteral("u:65534:rw"), dir.path()}), 0);
        QVERIFY(::chmod(path.constData(), 0640) == 0);
        acl = getfacl();
        QVERIFY(!acl.contains("65534"));
    } else if (kind == u"owner") {
        if (::geteuid() != 0)
            QSKIP("only root gives a file to another owner");
        QVERIFY(::chown(path.constData(), 12345, 23456) == 0);
    }
    struct stat before {};
    QVERIFY(::stat(path.constData(), &before) == 0);
    const WriteResult result = replaceFileSafely(doc, "<r>new</r>", "<r>old</r>");
    QVERIFY2(result.status == WriteResult::Status::Written, qPrintable(result.why));
    QCOMPARE(bytesOf(doc), QByteArray("<r>new</r>"));
    struct stat after {};
    QVERIFY(::stat(path.constData(), &after) == 0);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    if (kind == u"xattr") {
        char value[16] = {};
        QCOMPARE(::getxattr(path.constData(), "user.note", value, sizeof value), ssize_t(4));
        QCOMPARE(QByteArray(value), QByteArray("kept"));
    } else if (kind == u"acl" || kind == u"default-acl") {
        QCOMPARE(getfacl(), acl);
    } else if (kind == u"link") {
        QCOMPARE(after.st_ino, before.st_ino); // written in place: the links stay one file
        QCOMPARE(bytesOf(other), QByteArray("<r>new</r>"));
    }
    QStringList left = entriesOf(dir.path());
    left.removeAll(QStringLiteral("doc.xml"));
    left.removeAll(QStringLiteral("other-link.xml"));
    QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
}

// Another user who may write the file but not give it away (it is root's,
// writable by all) stores in place: the owner keeps the file.
void TestSafeWrite::writerWhoCannotGiveTheFileAway()
{
    if (::geteuid() != 0)
        QSKIP("needs root, to run the store as another user");
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        QSKIP("setpriv is missing (package util-linux)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
    const QString doc = dir.filePath(QStringLiteral("doc.xml"));
    QVERIFY(writeBytes(doc, "<r>old</r>"));
    QVERIFY(::chmod(QFile::encodeName(doc).constData(), 0666) == 0);
    QProcess store;
    store.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                          QStringLiteral(TARNWELL_PAIRS_TOOL), QStringLiteral("set"), doc, QStringLiteral("r=new")});
    QVERIFY(store.waitForFinished(30000));
    QVERIFY2(store.exitCode() == 0, store.readAllStandardError().constData());
    QCOMPARE(bytesOf(doc), QByteArray("<r>new</r>"));
    QFileInfo info(doc);
    QCOMPARE(info.ownerId(), 0u);
    QCOMPARE(info.groupId(), 0u);
    QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("doc.xml")});
}

void TestSafeWrite::onlyLeftoversOfDeadStoresGo_data()
{
    QTest::addColumn<QString>("name"); // %1 stands for a process id that is gone, %2 for a live one
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("value"); // what the store sets: "new" changes the document, "old" nothing
    const QString form = QStringLiteral(".doc.xml.tarnwell-new-%1-0123456789ab");
    QTest::newRow("a killed store's file") << form << true << QStringLiteral("new");
    // A store killed after the exchange leaves the old text beside the new
    // one, so the next store may change nothing: it removes the file too.
    QTest::newRow("a killed store's file, a store changing nothing") << form << true << QStringLiteral("old");
    QTest::newRow("a live store's file") << QStringLiteral(".doc.xml.tarnwell-new-%2-0123456789ab") << false << QStringLiteral("new");
    QTest::newRow("another document's") << QStringLiteral(".other.xml.tarnwell-new-%1-0123456789ab") << false << QStringLiteral("new");
    QTest::newRow("other letter case") << QStringLiteral(".DOC.XML.tarnwell-new-%1-0123456789ab") << false << QStringLiteral("new");
    QTest::newRow("not the store's form") << QStringLiteral(".doc.xml.tarnwell-new-%1-0123456789AB") << false << QStringLiteral("new");
    QTest::newRow("a short random part") << QStringLiteral(".doc.xml.tarnwell-new-%1-k3x9") << false << QStringLiteral("new");
    // An in-place store's copy of the old text may be the only whole copy.
    QTest::newRow("a kept old text") << QStringLiteral(".doc.xml.tarnwell-old-%1-0123456789ab") << false << QStringLiteral("new");
    // Names a person gives copies of their own.
    QTest::newRow("a dated copy") << QStringLiteral(".doc.xml.20240101-1200") << false << QStringLiteral("new");
    QTest::newRow("a backup") << QStringLiteral(".doc.xml.2024-backup") << false << QStringLiteral("new");
    QTest::newRow("an old copy with a number") << QStringLiteral(".doc.xml.31337-old") << false << QStringLiteral("new");
    QTest::newRow("the form and a line feed") << QStringLiteral(".doc.xml.tarnwell-new-%1-0123456789ab\n") << false << QStringLiteral("new");
    QTest::newRow("the form of earlier versions") << QStringLiteral(".doc.xml.%1-k3x9") << false << QStringLiteral("new");
}

// A store removes the files a killed store of the same document left, and
// nothing else that merely looks like them.
void TestSafeWrite::onlyLeftoversOfDeadStoresGo()
{
    QFETCH(QString, name);
    QFETCH(bool, removed);
    QFETCH(QString, value);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A process that has ended: its id is free (a new process could take it
    // only after the ids wrap around).
    QProcess gone;
    gone.start(QStringLiteral("sleep"), {QStringLiteral("0.05")});
    QVERIFY(gone.waitForStarted(5000));
    const qint64 goneId = gone.processId();
    QVERIFY(gone.waitForFinished(5000) && goneId > 0);
    const QString file = QString(name)
                             .replace(QStringLiteral("%1"), QString::number(goneId))
                             .replace(QStringLiteral("%2"), QString::number(::getpid()));
    QVERIFY(writeBytes(dir.filePath(file), "left"));
    const QString doc = dir.filePath(QStringLiteral("doc.xml"));
    QVERIFY(writeBytes(doc, "<r>old</r>"));
    QProcess store;
    store.start(QStringLiteral(TARNWELL_PAIRS_TOOL), {QStringLiteral("set"), doc, QStringLiteral("r=") + value});
    QVERIFY(store.waitForFinished(30000));
    QCOMPARE(store.exitCode(), 0);
    QCOMPARE(bytesOf(doc), "<r>" + value.toUtf8() + "</r>");
    QCOMPARE(!QFileInfo::exists(dir.filePath(file)), removed);
}

// Whether process pid holds a file in folder open, other than document:
// the file the new text goes into. /proc shows an unnamed one as
// "FOLDER/#INODE (deleted)".
bool holdsNewFile(qint64 pid, const QByteArray &folder, const QByteArray &document)
{
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList entries = QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds + QLatin1Char('/') + fd).constData(), target, sizeof target);
        const QByteArray link(target, n > 0 ? n : 0);
        if (link.startsWith(folder + '/') && link != document)
            return true;
    }
    return false;
}

// Whenever the store is killed, the document holds its old text or all of
// the new one, and its folder holds nothing else. Half of the kills are
// spread over the whole store (one per slice of its undisturbed duration,
// at a random place in the slice); the others fall within 1 ms of the tool
// opening the file for the new text, while it writes and flushes it.
//
// The new file gets its hidden name just before it is exchanged with the
// document, and the old text is removed just after; a kill in between (a
// scheduler's time slice when the machine is busy) leaves one hidden file
// behind. Those states, and no other, are accepted: the document untouched
// and the hidden file holding all of the new text, or the document holding
// the new text and the hidden file the old one.
void TestSafeWrite::killedStoreLeavesOldOrNewText()
{
    // As many items as a pair list may hold (an element and its attribute each).
    constexpr int kItems = 16383, kRuns = 40;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/doc");
    QVERIFY(QDir().mkdir(folder));
    const QString path = folder + QStringLiteral("/doc.xml");
    const QString list = dir.filePath(QStringLiteral("list.txt"));
    // Values long enough that the document is as large as one of 30,000
    // short items: the store takes as long, so kills land in every step.
    const QByteArray padding(30, 'x');
    const QByteArray oldText = itemsDocument(kItems, "value " + padding);
    const QByteArray newText = itemsDocument(kItems, "changed " + padding);
    QVERIFY(writeBytes(list, itemsPairList(kItems, "changed " + padding)));
    const QStringList args{QStringLiteral("put"), path, list};

    // Two stores undisturbed: they store newText, and the quicker tells how
    // long a store takes once the files are cached.
    qint64 durationUs = std::numeric_limits<qint64>::max();
    for (int i = 0; i < 2; ++i) {
        QVERIFY(writeBytes(path, oldText));
        QElapsedTimer clock;
        clock.start();
        QProcess whole;
        whole.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
        QVERIFY(whole.waitForFinished(30000));
        durationUs = std::min(durationUs, std::max<qint64>(clock.nsecsElapsed() / 1000, 1000));
        QCOMPARE(whole.exitCode(), 0);
        QCOMPARE(bytesOf(path), newText);
    }

    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const qint64 sliceUs = durationUs * 11 / 10 / (kRuns / 2);
    int killed = 0, stored = 0, named = 0;
    for (int run = 0; run < kRuns; ++run) {
        QVERIFY(writeBytes(path, oldText));
        QProcess p;
        p.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
        QVERIFY(p.waitForStarted(5000));
        qint64 delayUs = 0;
        if (run % 2 == 0) {
            delayUs = run / 2 * sliceUs + qint64(random.bounded(quint32(sliceUs)));
        } else {
            QDeadlineTimer deadline(5000);
            while (!holdsNewFile(p.processId(), QFile::encodeName(folder), QFile::encodeName(path)) &&
                   p.state() == QProcess::Running && !deadline.hasExpired())
                QThread::usleep(50);
            delayUs = random.bounded(1000);
        }
        QThread::usleep(static_cast<unsigned long>(delayUs));
        p.kill();
        QVERIFY2(p.waitForFinished(5000), qPrintable(QStringLiteral("run %1 did not end").arg(run)));
        if (p.exitStatus() == QProcess::CrashExit)
            ++killed;
        else
            QCOMPARE(p.exitCode(), 0);

        const QByteArray now = bytesOf(path);
        const QString where = QStringLiteral("run %1, killed %2 µs %3 (seed %4)")
                                  .arg(run)
                                  .arg(delayUs)
                                  .arg(run % 2 ? QStringLiteral("after it opened the new file") : QStringLiteral("after the start"))
                                  .arg(seed);
        QVERIFY2(now == oldText || now == newText,
                 qPrintable(where + QStringLiteral(": the file holds %1 bytes of neither text").arg(now.size())));
        if (now == newText)
            ++stored;
        QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QVERIFY(left.removeOne(QStringLiteral("doc.xml")));
        // Killed between naming the new file and exchanging it with the
        // document, or between the exchange and removing the old text.
        const QByteArray leftText = left.size() == 1 && left[0].startsWith(QLatin1String(".doc.xml.tarnwell-new-"))
                                        ? bytesOf(folder + QLatin1Char('/') + left[0])
                                        : QByteArray();
        if ((now == oldText && leftText == newText) || (now == newText && leftText == oldText)) {
            ++named;
            // The next store removes what the killed one left.
            QProcess next;
            next.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
            QVERIFY(next.waitForFinished(30000) && next.exitStatus() == QProcess::NormalExit && next.exitCode() == 0);
            QCOMPARE(bytesOf(path), newText);
            left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            QVERIFY(left.removeOne(QStringLiteral("doc.xml")));
        }
        const QByteArray firstLeft = left.isEmpty() ? QByteArray() : bytesOf(folder + QLatin1Char('/') + left[0]);
        QVERIFY2(left.isEmpty(), qPrintable(where + QStringLiteral(": the folder also holds %1 (%2 bytes, %3; the document %4)")
                                                        .arg(left.join(QStringLiteral(", ")))
                                                        .arg(firstLeft.size())
                                                        .arg(firstLeft == newText   ? QStringLiteral("the new text")
                                                             : firstLeft == oldText ? QStringLiteral("the old text")
                                                                                    : QStringLiteral("neither text"))
                                                        .arg(now == newText ? QStringLiteral("new") : QStringLiteral("old"))));
    }
    qInfo("%d of %d runs killed, %d found the new text, %d a named file beside the document (a store takes about %lld ms)",
          killed, kRuns, stored, named, durationUs / 1000);
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
