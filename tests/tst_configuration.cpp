// The configuration file reader.
#include "Configuration.h"
#include "Error.h"

#include <QCoreApplication>
#include <QTest>

using namespace tarnwell;

class TestConfiguration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void readsFileFromDisk();
    void missingFileGivesEmptyLists();
    void fullListEndsReading_data();
    void fullListEndsReading();
    void pathBesideExecutable();
};

void TestConfiguration::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("e");
    QTest::addColumn<QStringList>("s");
    QTest::addColumn<QStringList>("d");

    const QStringList none;
    const QStringList ab{QStringLiteral("A/B")};
    QTest::newRow("all three flags") << QByteArray("ESD,A/B\n") << ab << ab << ab;
    QTest::newRow("lower-case flag") << QByteArray("e,A/B\n") << none << none << none;
    QTest::newRow("flag inside text") << QByteArray("xEx,A/B\n") << ab << none << none;
    QTest::newRow("SE") << QByteArray("SE,A/B\n") << ab << ab << none;
    QTest::newRow("no flag letters") << QByteArray("x,A/B\nE,C") << QStringList{QStringLiteral("C")} << none << none;
    QTest::newRow("blanks kept") << QByteArray("E, A/B \n") << QStringList{QStringLiteral(" A/B ")} << none << none;
    QTest::newRow("third field ignored") << QByteArray("E,A,B\n") << QStringList{QStringLiteral("A")} << none << none;
    QTest::newRow("empty and blank paths passed over")
        << QByteArray("E,\nE,   \nE,C\n") << QStringList{QStringLiteral("C")} << none << none;
    QTest::newRow("tab is not a blank") << QByteArray("E,\t\n") << QStringList{QStringLiteral("\t")} << none << none;
    QTest::newRow("no comma first") << QByteArray("E\nE,A\n") << none << none << none;
    QTest::newRow("empty line ends reading")
        << QByteArray("E,A\n\nE,B\n") << QStringList{QStringLiteral("A")} << none << none;
    QTest::newRow("duplicates kept") << QByteArray("E,A\nE,A") << QStringList{QStringLiteral("A"), QStringLiteral("A")}
                                     << none << none;
    QTest::newRow("CR LF") << QByteArray("E,A\r\nE,B\r\n") << QStringList{QStringLiteral("A"), QStringLiteral("B")}
                           << none << none;
    QTest::newRow("lone CR") << QByteArray("E,A\rE,B\r") << QStringList{QStringLiteral("A"), QStringLiteral("B")}
                             << none << none;
    QTest::newRow("mixed line ends")
        << QByteArray("E,A\rE,B\nE,C\r\nE,D") << QStringList{QStringLiteral("A"), QStringLiteral("B"),
                                                             QStringLiteral("C"), QStringLiteral("D")}
        << none << none;
    QTest::newRow("CR CR is an empty line")
        << QByteArray("E,A\r\rE,B") << QStringList{QStringLiteral("A")} << none << none;
    QTest::newRow("UTF-8 names") << QByteArray("E,\xe6\x96\x87\xe6\x9b\xb8/\xe9\xa0\x85\xe7\x9b\xae\n")
                                 << QStringList{QStringLiteral("文書/項目")} << none << none;
    QTest::newRow("UTF-8 byte order mark") << QByteArray("\xef\xbb\xbf" "E,A\n") << QStringList{QStringLiteral("A")}
                                           << none << none;
    QTest::newRow("empty file") << QByteArray() << none << none << none;
}

void TestConfiguration::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, e);
    QFETCH(QStringList, s);
    QFETCH(QStringList, d);
    const NameLists lists = ParseConfiguration(text);
    QCOMPARE(lists.listE(), e);
    QCOMPARE(lists.listS(), s);
    QCOMPARE(lists.listD(), d);
}

void TestConfiguration::readsFileFromDisk()
{
    const NameLists lists = ReadConfiguration(QStringLiteral(TARNWELL_TEST_DATA "/sample.cfg"));
    QCOMPARE(lists.listE(), (QStringList{QStringLiteral("Doc"), QStringLiteral("Doc/Item"),
                                         QStringLiteral("Doc/Item/@id"), QStringLiteral("Doc/Tail")}));
    QCOMPARE(lists.listS(), (QStringList{QStringLiteral("Doc"), QStringLiteral("Doc/Head")}));
    QCOMPARE(lists.listD(), (QStringList{QStringLiteral("Doc"), QStringLiteral(" Doc/Body")}));
}

void TestConfiguration::missingFileGivesEmptyLists()
{
    const NameLists lists = ReadConfiguration(QStringLiteral(TARNWELL_TEST_DATA "/no-such-file.cfg"));
    QVERIFY(lists.listE().isEmpty());
    QVERIFY(lists.listS().isEmpty());
    QVERIFY(lists.listD().isEmpty());
}

void TestConfiguration::fullListEndsReading_data()
{
    QTest::addColumn<QByteArray>("flag");
    QTest::addColumn<QStringList>("e");
    QTest::addColumn<QStringList>("s");
    QTest::addColumn<QStringList>("d");

    QStringList full;
    for (int i = 0; i < kMaxCount; ++i)
        full.append(QStringLiteral("P%1").arg(i));
    const QStringList none;
    const QStringList over{QStringLiteral("Over")};
    QTest::newRow("E full") << QByteArray("E") << full << none << none;
    QTest::newRow("S full") << QByteArray("S") << over << full << none;
    QTest::newRow("D full") << QByteArray("D") << over << over << full;
}

// One list is filled to 32,767 entries, then a line for all three lists
// follows. The lists take a line's path in the order E, S, D, and the entry
// that would pass the limit ends the reading: the lists before it on that
// line keep the path, no list after it gets it, and no later line is read.
void TestConfiguration::fullListEndsReading()
{
    QFETCH(QByteArray, flag);
    QByteArray text;
    for (int i = 0; i < kMaxCount; ++i)
        text += flag + ",P" + QByteArray::number(i) + '\n';
    text += "ESD,Over\nESD,After\n";
    const NameLists lists = ParseConfiguration(text);
    QTEST(lists.listE(), "e");
    QTEST(lists.listS(), "s");
    QTEST(lists.listD(), "d");
}

void TestConfiguration::pathBesideExecutable()
{
    QCOMPARE(ConfigurationFilePath(), QCoreApplication::applicationDirPath() + QStringLiteral("/TarnwellEditor.cfg"));
}

QTEST_GUILESS_MAIN(TestConfiguration)
#include "tst_configuration.moc"
