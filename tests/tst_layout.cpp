// The main window's layout rules, in twips.
#include "MainLayout.h"

#include <QTest>

using namespace tarnwell;

namespace {

constexpr int kOuterWidth = MainLayout::kInitialClientWidth + MainLayout::kFrameWidth;
constexpr int kOuterHeight = MainLayout::kInitialClientHeight + MainLayout::kFrameHeight;

MainLayout laidOut(int outerWidth, int outerHeight)
{
    MainLayout layout;
    layout.resize(outerWidth, outerHeight);
    return layout;
}

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initialSizeFillsClientArea();
    void widening_data();
    void widening();
    void heightening_data();
    void heightening();
    void fixedControlsNeverMove();
    void snapToMinimum_data();
    void snapToMinimum();
    void twipsAndPixels_data();
    void twipsAndPixels();
};

void TestLayout::initialSizeFillsClientArea()
{
    const MainLayout l = laidOut(kOuterWidth, kOuterHeight);
    QCOMPARE(l.tabMain, (TwipsRect{0, 0, 7740, 5895}));
    QCOMPARE(l.sbarMain, (TwipsRect{0, 5895, 7740, 375}));
    // The tree and the buttons beside it fit inside the list frame.
    QVERIFY(l.treXml.left + l.treXml.width < l.cmdAdd.left);
    QVERIFY(l.cmdAdd.left + l.cmdAdd.width <= l.fraList.width);
    QVERIFY(l.cmdPutData.top + l.cmdPutData.height <= l.treXml.top + l.treXml.height);
    QCOMPARE(l.cmdWrite.left, l.cmdRead.left + l.cmdRead.width + 60);
    QVERIFY(l.cmdRead.top > l.txtXML.top + l.txtXML.height);
}

void TestLayout::widening_data()
{
    QTest::addColumn<int>("delta");
    QTest::newRow("wider") << 1440;
    QTest::newRow("a little") << 15;
    QTest::newRow("narrower") << -2000;
}

// Widening by some amount widens the tab, both frames, the tree, the value
// box and the XML box by it, and moves the buttons of both tabs by it.
void TestLayout::widening()
{
    QFETCH(int, delta);
    const MainLayout a = laidOut(kOuterWidth, kOuterHeight);
    const MainLayout b = laidOut(kOuterWidth + delta, kOuterHeight);
    for (auto member : {&MainLayout::tabMain, &MainLayout::fraList, &MainLayout::fraXML, &MainLayout::treXml,
                        &MainLayout::txtValue, &MainLayout::txtXML, &MainLayout::sbarMain})
        QCOMPARE((b.*member).width, (a.*member).width + delta);
    for (auto member : {&MainLayout::cmdAdd, &MainLayout::cmdDelete, &MainLayout::cmdGetData, &MainLayout::cmdPutData,
                        &MainLayout::cmdRead, &MainLayout::cmdWrite})
        QCOMPARE((b.*member).left, (a.*member).left + delta);
    QCOMPARE(b.txtTag, a.txtTag);
    QCOMPARE(b.cmdGetData.top, a.cmdGetData.top);
}

void TestLayout::heightening_data()
{
    widening_data();
}

// Growing taller moves GetData and PutData down with the tree's bottom, and
// Read and Write with the XML box; Add and Delete stay at the top.
void TestLayout::heightening()
{
    QFETCH(int, delta);
    const MainLayout a = laidOut(kOuterWidth, kOuterHeight);
    const MainLayout b = laidOut(kOuterWidth, kOuterHeight + delta);
    for (auto member : {&MainLayout::tabMain, &MainLayout::fraList, &MainLayout::fraXML, &MainLayout::treXml,
                        &MainLayout::txtXML})
        QCOMPARE((b.*member).height, (a.*member).height + delta);
    for (auto member : {&MainLayout::cmdGetData, &MainLayout::cmdPutData, &MainLayout::cmdRead, &MainLayout::cmdWrite,
                        &MainLayout::sbarMain})
        QCOMPARE((b.*member).top, (a.*member).top + delta);
    QCOMPARE(b.cmdAdd, a.cmdAdd);
    QCOMPARE(b.cmdDelete, a.cmdDelete);
    QCOMPARE(b.txtValue, a.txtValue);
}

void TestLayout::fixedControlsNeverMove()
{
    const MainLayout design;
    const MainLayout l = laidOut(12000, 9000);
    for (auto member : {&MainLayout::tabMain, &MainLayout::fraList, &MainLayout::fraXML, &MainLayout::treXml,
                        &MainLayout::txtTag, &MainLayout::txtValue, &MainLayout::lblTagName, &MainLayout::lblValue,
                        &MainLayout::txtXML}) {
        QCOMPARE((l.*member).left, (design.*member).left);
        QCOMPARE((l.*member).top, (design.*member).top);
    }
    QCOMPARE(l.txtTag.width, design.txtTag.width);
    for (auto member : {&MainLayout::cmdAdd, &MainLayout::cmdDelete, &MainLayout::cmdGetData, &MainLayout::cmdPutData,
                        &MainLayout::cmdRead, &MainLayout::cmdWrite}) {
        QCOMPARE((l.*member).width, 1395);
        QCOMPARE((l.*member).height, 375);
    }
    QCOMPARE(l.cmdDelete.top, l.cmdAdd.top + l.cmdDelete.height + 60);
}

void TestLayout::snapToMinimum_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("snappedWidth");
    QTest::addColumn<int>("snappedHeight");
    QTest::newRow("both fine") << 6000 << 7000 << 6000 << 7000;
    QTest::newRow("too narrow") << 3000 << 7000 << 4500 << 7000;
    QTest::newRow("too low") << 6000 << 100 << 6000 << 4500;
    QTest::newRow("both") << 0 << -5 << 4500 << 4500;
    QTest::newRow("exactly minimum") << 4500 << 4500 << 4500 << 4500;
}

void TestLayout::snapToMinimum()
{
    QFETCH(int, width);
    QFETCH(int, height);
    MainLayout::snapToMinimum(width, height);
    QTEST(width, "snappedWidth");
    QTEST(height, "snappedHeight");
}

void TestLayout::twipsAndPixels_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");
    QTest::newRow("inch at 96") << 1440 << 96.0 << 96;
    QTest::newRow("inch at 192") << 1440 << 192.0 << 192;
    QTest::newRow("window width at 96") << 7740 << 96.0 << 516;
    QTest::newRow("rounding") << 7 << 96.0 << 0;
    QTest::newRow("rounding up") << 8 << 96.0 << 1;
    QTest::newRow("zero") << 0 << 120.0 << 0;
}

void TestLayout::twipsAndPixels()
{
    QFETCH(int, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(twipsToPixels(twips, dpi), pixels);
    QCOMPARE(pixelsToTwips(twipsToPixels(1440, dpi), dpi), 1440);
}

QTEST_APPLESS_MAIN(TestLayout)
#include "tst_layout.moc"
