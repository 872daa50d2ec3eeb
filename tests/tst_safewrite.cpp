// Stores that are cut short: tarnwell-pairs killed at random moments of a
// large store.
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <limits>

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
};

// How many bytes process pid has written so far (wchar in /proc/PID/io), or
// -1 when that cannot be read.
qint64 bytesWrittenBy(qint64 pid)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : io.readAll().split('\n')) {
        if (line.startsWith("wchar: "))
            return line.mid(7).toLongLong();
    }
    return -1;
}

// Whenever the store is killed, the document holds its old text or all of
// the new one, and its folder holds nothing else: no temporary file is left
// behind. Half of the kills are spread over the whole store (one per slice
// of its undisturbed duration, at a random place in the slice); the others
// fall at a random moment of the first 8 ms after the tool has written the
// new text (the only thing a put writes), while it flushes, names and
// renames the file.
void TestSafeWrite::killedStoreLeavesOldOrNewText()
{
    constexpr int kItems = 30000, kRuns = 40;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("doc"));
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
    int killed = 0, stored = 0;
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
            while (bytesWrittenBy(p.processId()) == 0 && !deadline.hasExpired())
                QThread::usleep(100);
            delayUs = random.bounded(8000);
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
                                  .arg(run % 2 ? QStringLiteral("after the write") : QStringLiteral("after the start"))
                                  .arg(seed);
        QVERIFY2(now == oldText || now == newText,
                 qPrintable(where + QStringLiteral(": the file holds %1 bytes of neither text").arg(now.size())));
        if (now == newText)
            ++stored;
        const QStringList left = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        QVERIFY2(left == QStringList{QStringLiteral("doc.xml")},
                 qPrintable(where + QStringLiteral(": the folder holds ") + left.join(QStringLiteral(", "))));
    }
    qInfo("%d of %d runs killed, %d found the new text (a store takes about %lld ms)", killed, kRuns, stored,
          durationUs / 1000);
}

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"
