// The sample configuration and documents a newcomer opens first.
#include "Configuration.h"
#include "PairList.h"
#include "Quen.h"

#include <QTest>

using namespace tarnwell;

class TestExamples : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void configuration();
    void documentsLoadInConfiguredOrder_data();
    void documentsLoadInConfiguredOrder();
};

void TestExamples::configuration()
{
    const NameLists lists = ReadConfiguration(QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"));
    QCOMPARE(lists.listE().size(), 10);
    QCOMPARE(lists.listS().size(), 4);
    QCOMPARE(lists.listD(), QStringList{QStringLiteral("Catalog/Legacy")});
}

void TestExamples::documentsLoadInConfiguredOrder_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("UTF-8") << QStringLiteral("doc.xml");
    QTest::newRow("Shift_JIS") << QStringLiteral("shift_jis.xml");
}

// Each sample is already in the order the configuration gives, so loading it
// into the tree and building the list again changes nothing.
void TestExamples::documentsLoadInConfiguredOrder()
{
    QFETCH(QString, file);
    const NameLists lists = ReadConfiguration(QStringLiteral(TARNWELL_EXAMPLES "/TarnwellEditor.cfg"));
    auto controller = CreateQuenEngine()->WorkspaceList().at(0)->CreateController(
        QString(), QStringLiteral("QuenProv.Tarnwell"), QString(), QString());
    const QStringList pairs = controller->BindFile(QStringLiteral(TARNWELL_EXAMPLES "/") + file, QString())
                                  ->RunCommand(QStringLiteral("GetData"))
                                  .toStringList();
    QVERIFY(pairs.size() > 5);
    const auto tree = LoadPairList(pairs, lists);
    QCOMPARE(BuildPairList(*tree), pairs);
    // Every node of the samples is declared in list E.
    std::vector<const TreeNode *> pending{tree->firstChild()};
    while (!pending.empty()) {
        const TreeNode *node = pending.back();
        pending.pop_back();
        QVERIFY2(node->isTopLevel() || node->foreColor() == TreeNode::kBlack, qPrintable(node->text()));
        for (int i = 0; i < node->childCount(); ++i)
            pending.push_back(node->child(i));
    }
}

QTEST_GUILESS_MAIN(TestExamples)
#include "tst_examples.moc"
