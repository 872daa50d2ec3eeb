// Stores that are cut short: tarnwell-pairs killed at random moments of a
// large store.
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <limits>
#include <unistd.h>

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
    void killedStoreLeavesOldOrNewText();
    void onlyLeftoversOfDeadStoresGo_data();
    void onlyLeftoversOfDeadStoresGo();
};

void TestSafeWrite::onlyLeftoversOfDeadStoresGo_data()
{
    QTest::addColumn<QString>("name"); // %1 stands for a process id that is gone, %2 for a live one
    QTest::addColumn<bool>("removed");
    QTest::newRow("a killed store's file") << QStringLiteral(".doc.xml.%1-k3x9") << true;
    QTest::newRow("a live store's file") << QStringLiteral(".doc.xml.%2-k3x9") << false;
    QTest::newRow("another document's") << QStringLiteral(".other.xml.%1-k3x9") << false;
    QTest::newRow("other letter case") << QStringLiteral(".DOC.XML.%1-k3x9") << false;
    QTest::newRow("not the store's form") << QStringLiteral(".doc.xml.%1-K3X9") << false;
    QTest::newRow("a dated copy") << QStringLiteral(".doc.xml.20240101-1200") << false;
    QTest::newRow("no id") << QStringLiteral(".doc.xml.x-k3x9") << false;
}

// A store removes the files a killed store of the same document left, and
// nothing else that merely looks like them.
void TestSafeWrite::onlyLeftoversOfDeadStoresGo()
{
    QFETCH(QString, name);
    QFETCH(bool, removed);
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
    store.start(QStringLiteral(TARNWELL_PAIRS_TOOL), {QStringLiteral("set"), doc, QStringLiteral("r=new")});
    QVERIFY(store.waitForFinished(30000));
    QCOMPARE(store.exitCode(), 0);
    QCOMPARE(bytesOf(doc), QByteArray("<r>new</r>"));
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
// The new file gets its hidden name just before it is renamed over the
// document, and a kill between the two (a scheduler's time slice when the
// machine is busy) leaves it behind. That state, and no other, is accepted:
// the document untouched and one hidden file holding all of the new text.
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
    const QByteArray oldText = itemsDocument(kItems, "value");
    const QByteArray newText = itemsDocument(kItems, "changed");
    QVERIFY(writeBytes(list, itemsPairList(kItems, "changed")));
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
        if (left.size() == 1 && left[0].startsWith(QLatin1String(".doc.xml.")) && now == oldText &&
            bytesOf(folder + QLatin1Char('/') + left[0]) == newText) {
            ++named; // killed between naming the new file and renaming it
            // The next store removes what the killed one left.
            QProcess next;
            next.start(QStringLiteral(TARNWELL_PAIRS_TOOL), args);
            QVERIFY(next.waitForFinished(30000) && next.exitStatus() == QProcess::NormalExit && next.exitCode() == 0);
            QCOMPARE(bytesOf(path), newText);
            left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            QVERIFY(left.removeOne(QStringLiteral("doc.xml")));
        }
        QVERIFY2(left.isEmpty(), qPrintable(where + QStringLiteral(": the folder also holds ") + left.join(QStringLiteral(", "))));
    }
    qInfo("%d of %d runs killed, %d found the new text, %d the named new file beside the old (a store takes about %lld ms)",
          killed, kRuns, stored, named, durationUs / 1000);
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
