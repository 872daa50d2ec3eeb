// The main window's layout rules, in twips.
#include "MainLayout.h"

#include <QRect>
#include <QTest>

#include <algorithm>

using namespace tarnwell;

namespace {

// The window's outer size when it opens (the client area of 7740 x 6270 and
// the frame of 120 x 810), and the one it is resized to.
constexpr int kOuterWidth = 7860;
constexpr int kOuterHeight = 7080;
constexpr int kResizedWidth = 9300;
constexpr int kResizedHeight = 8100;

struct Control
{
    const char *name;
    TwipsRect MainLayout::*rect;
};

constexpr Control kControls[] = {
    {"tabMain", &MainLayout::tabMain},     {"fraList", &MainLayout::fraList},       {"fraXML", &MainLayout::fraXML},
    {"treXml", &MainLayout::treXml},       {"txtValue", &MainLayout::txtValue},     {"txtTag", &MainLayout::txtTag},
    {"cmdAdd", &MainLayout::cmdAdd},       {"cmdDelete", &MainLayout::cmdDelete},   {"cmdGetData", &MainLayout::cmdGetData},
    {"cmdPutData", &MainLayout::cmdPutData}, {"lblTagName", &MainLayout::lblTagName}, {"lblValue", &MainLayout::lblValue},
    {"txtXML", &MainLayout::txtXML},       {"cmdRead", &MainLayout::cmdRead},       {"cmdWrite", &MainLayout::cmdWrite},
    {"sbarMain", &MainLayout::sbarMain},
};

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void places_data();
    void places();
    void snapToMinimum_data();
    void snapToMinimum();
    void twipsAndPixels_data();
    void twipsAndPixels();
};

// Every control's place (left, top, width, height) at the size the window
// opens with (outer 7860 x 7080) and after it is resized to 9300 x 8100.
void TestLayout::places_data()
{
    QTest::addColumn<bool>("resized");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("place");

    auto row = [](bool resized, const char *control, QRect place) {
        QTest::addRow("%s %s", resized ? "resized" : "initial", control) << resized << QString::fromLatin1(control) << place;
    };
    row(false, "tabMain", {0, 0, 7740, 5895});
    row(false, "fraList", {60, 60, 7620, 5475});
    row(false, "fraXML", {60, 60, 7620, 5475});
    row(false, "treXml", {60, 720, 5985, 4635});
    row(false, "txtValue", {1920, 360, 4110, 315});
    row(false, "txtTag", {60, 360, 1755, 315});
    row(false, "cmdAdd", {6165, 360, 1395, 375});
    row(false, "cmdDelete", {6165, 795, 1395, 375});
    row(false, "cmdGetData", {6165, 4545, 1395, 375});
    row(false, "cmdPutData", {6165, 4980, 1395, 375});
    row(false, "lblTagName", {60, 120, 1035, 195});
    row(false, "lblValue", {1920, 120, 1035, 195});
    row(false, "txtXML", {60, 60, 7500, 4800});
    row(false, "cmdRead", {4710, 4980, 1395, 375});
    row(false, "cmdWrite", {6165, 4980, 1395, 375});
    row(false, "sbarMain", {0, 5895, 7740, 375});

    row(true, "tabMain", {0, 0, 9180, 6915});
    row(true, "fraList", {60, 60, 9060, 6495});
    row(true, "fraXML", {60, 60, 9060, 6495});
    row(true, "treXml", {60, 720, 7425, 5655});
    row(true, "txtValue", {1920, 360, 5550, 315});
    row(true, "txtTag", {60, 360, 1755, 315});
    row(true, "cmdAdd", {7605, 360, 1395, 375});
    row(true, "cmdDelete", {7605, 795, 1395, 375});
    row(true, "cmdGetData", {7605, 5565, 1395, 375});
    row(true, "cmdPutData", {7605, 6000, 1395, 375});
    row(true, "lblTagName", {60, 120, 1035, 195});
    row(true, "lblValue", {1920, 120, 1035, 195});
    row(true, "txtXML", {60, 60, 8940, 5820});
    row(true, "cmdRead", {6150, 6000, 1395, 375});
    row(true, "cmdWrite", {7605, 6000, 1395, 375});
    row(true, "sbarMain", {0, 6915, 9180, 375});
}

void TestLayout::places()
{
    QFETCH(bool, resized);
    QFETCH(QString, control);
    QFETCH(QRect, place);
    MainLayout layout;
    layout.resize(kOuterWidth, kOuterHeight);
    if (resized)
        layout.resize(kResizedWidth, kResizedHeight);
    const auto found = std::find_if(std::begin(kControls), std::end(kControls),
                                    [&](const Control &c) { return control == QLatin1String(c.name); });
    QVERIFY2(found != std::end(kControls), qPrintable(control));
    const TwipsRect &r = layout.*(found->rect);
    QCOMPARE(QRect(r.left, r.top, r.width, r.height), place);
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
