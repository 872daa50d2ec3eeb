// The window on the 32,767-entry document, offscreen: GetData from the click
// to the tree shown with the root selected, PutData of one edited value with
// the store, and selecting a node and typing one character.
#include "BenchData.h"
#include "ColoredTreeModel.h"
#include "frmMain.h"
#include "Prompts.h"

#include "SchemaCheck.h"

#include <QAction>
#include <QElapsedTimer>
#include <QToolButton>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <benchmark/benchmark.h>
#include <malloc.h>

using namespace tarnwell;

namespace {

class SilentPrompts : public Prompts
{
public:
    QString file;
    void warning(QWidget *, const QString &text) override { qFatal("unexpected warning: %s", qPrintable(text)); }
    void information(QWidget *, const QString &) override {}
    bool question(QWidget *, const QString &) override { return false; }
    std::optional<QString> fileName(QWidget *, const QString &) override { return file; }
    std::optional<QString> addItem(QWidget *, const QStringList &) override { return std::nullopt; }
    std::optional<int> schemaProblem(QWidget *, const QStringList &) override { return std::nullopt; }
};

// The large document, with a configuration that lists its paths.
struct Fixture
{
    QTemporaryDir dir;
    QString config;

    Fixture()
    {
        config = dir.filePath(QStringLiteral("TarnwellEditor.cfg"));
        QFile c(config);
        if (!c.open(QIODevice::WriteOnly) ||
            c.write("E,Doc\nE,Doc/Item\nE,Doc/Group\nE,Doc/Group/Item\nE,Doc/Group/Item/@id\n"
                    "E,Doc/Group/Item/@state\n") < 0)
            qFatal("cannot write the configuration");
    }
    const QString &path() const { return bench::largeDocument().path; }
    void reset() const { bench::largeDocument().reset(); }
};

const Fixture &fixture()
{
    static const Fixture f;
    return f;
}

// The editor window with the large document opened. A benchmark checks
// exposed first: a window that was never shown measures nothing real.
struct Window
{
    SilentPrompts prompts;
    frmMain window{&prompts, fixture().config};
    bool exposed = false;

    explicit Window(const QString &path = fixture().path())
    {
        window.Form_Load();
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
        if (!exposed)
            return;
        prompts.file = path;
        window.findChild<QAction *>(QStringLiteral("mnuFileItem2"))->trigger();
    }
    void click(const char *name) { QTest::mouseClick(window.findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton); }
};

constexpr const char *notExposed = "the editor window was not exposed";

// The heap in use: small blocks and mapped large ones.
double heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

// GetData on an opened document. The counter heap_growth_MB is what the
// first GetData leaves on the heap (the tree, the model and the view's rows;
// the document was parsed when it was opened).
void windowGetData(benchmark::State &state, const bench::GeneratedDocument &document)
{
    document.reset();
    Window w(document.path);
    if (!w.exposed) {
        state.SkipWithError(notExposed);
        return;
    }
    const double before = heapInUse();
    w.click("cmdGetData");
    QCoreApplication::processEvents();
    const double growth = heapInUse() - before;
    for (auto _ : state) {
        w.click("cmdGetData");
        QCoreApplication::processEvents();
        if (w.window.selectedNode() != w.window.treeModel()->rootNode())
            state.SkipWithError("the root is not selected");
    }
    state.counters["heap_growth_MB"] = growth / 1e6;
}

} // namespace

static void WindowGetData(benchmark::State &state)
{
    windowGetData(state, bench::largeDocument());
}
BENCHMARK(WindowGetData)->Arg(32767)->Unit(benchmark::kMillisecond);

// The same on the document of three levels with attributes.
static void WindowGetDataNested(benchmark::State &state)
{
    windowGetData(state, bench::nestedDocument());
}
BENCHMARK(WindowGetDataNested)->Arg(bench::kNestedEntries)->Unit(benchmark::kMillisecond);

// One window, as a user keeps it: each round opens the document afresh,
// loads it and changes one value with the clock stopped; the clock runs for
// the click on PutData and the events it leaves.
static void WindowPutData(benchmark::State &state)
{
    fixture().reset();
    Window w;
    if (!w.exposed) {
        state.SkipWithError(notExposed);
        return;
    }
    auto *open = w.window.findChild<QAction *>(QStringLiteral("mnuFileItem2"));
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fixture().reset();
        open->trigger();
        w.click("cmdGetData");
        TreeNode *item = w.window.treeModel()->rootNode()->child(16000);
        w.window.treeModel()->setTag(item, QStringLiteral("edited %1").arg(++round));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        w.click("cmdPutData");
        QCoreApplication::processEvents();
    }
}
BENCHMARK(WindowPutData)->Arg(32767)->Unit(benchmark::kMillisecond);

static void WindowSelectAndType(benchmark::State &state)
{
    fixture().reset();
    Window w;
    if (!w.exposed) {
        state.SkipWithError(notExposed);
        return;
    }
    w.click("cmdGetData");
    auto *tree = w.window.findChild<QTreeView *>(QStringLiteral("treXml"));
    auto *box = w.window.findChild<QLineEdit *>(QStringLiteral("txtValue"));
    TreeModel *model = w.window.treeModel();
    int row = 0;
    for (auto _ : state) {
        row = (row + 7919) % 32766;
        tree->setCurrentIndex(model->indexFromNode(model->rootNode()->child(row)));
        QTest::keyClick(box, Qt::Key_A);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(WindowSelectAndType)->Unit(benchmark::kMicrosecond);

// The same on a document that names its schema, with checks running beside
// the window: the selection asks what the schema allows at the node, and a
// check of the stored file is started (clock stopped) whenever none runs.
static void WindowSelectAndTypeWithSchema(benchmark::State &state)
{
    const bench::GeneratedDocument &document = bench::schemaDocument();
    document.reset();
    Window w(document.path);
    if (!w.exposed) {
        state.SkipWithError(notExposed);
        return;
    }
    w.click("cmdGetData");
    auto *panel = w.window.findChild<QToolButton *>(QStringLiteral("sbarPanel5"));
    auto *check = w.window.findChild<SchemaCheck *>();
    QElapsedTimer waited;
    waited.start();
    while (!panel->text().startsWith(QStringLiteral("Schema: valid")) && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!check || !panel->text().startsWith(QStringLiteral("Schema: valid"))) {
        state.SkipWithError("the first check did not end valid");
        return;
    }
    auto *tree = w.window.findChild<QTreeView *>(QStringLiteral("treXml"));
    auto *box = w.window.findChild<QLineEdit *>(QStringLiteral("txtValue"));
    TreeModel *model = w.window.treeModel();
    int row = 0;
    for (auto _ : state) {
        if (!check->isRunning()) {
            state.PauseTiming();
            check->checkStored(document.path);
            state.ResumeTiming();
        }
        row = 1 + (row + 7919) % 32765;
        tree->setCurrentIndex(model->indexFromNode(model->rootNode()->child(row)));
        QTest::keyClick(box, Qt::Key_A);
        QCoreApplication::processEvents();
    }
    if (box->toolTip().isEmpty())
        state.SkipWithError("the value box says nothing of the schema");
}
BENCHMARK(WindowSelectAndTypeWithSchema)->Unit(benchmark::kMicrosecond);
