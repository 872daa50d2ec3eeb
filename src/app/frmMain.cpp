#include "frmMain.h"

#include "ColoredTreeModel.h"
#include "Configuration.h"
#include "LocalSources.h"
#include "Error.h"
#include "MainLayout.h"
#include "NodePath.h"
#include "PairList.h"
#include "Prompts.h"
#include "SchemaValidator.h"
#include "StatusLabel.h"
#include "TarnwellProvider.h"
#include "ValueHelp.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QCompleter>
#include <QKeyEvent>
#include <QStringListModel>
#include <QDir>
#include <QToolButton>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScopeGuard>
#include <QStatusBar>
#include <QStyleOptionTabWidgetFrame>
#include <QTabWidget>
#include <QTreeView>

#ifndef TARNWELL_VERSION_MAJOR
#error "the build passes the project's version numbers"
#endif

namespace tarnwell {

namespace {

// The text of a plain text box exactly as it holds it: toPlainText() would
// turn no-break spaces into spaces and line separators into line feeds.
QString rawText(const QPlainTextEdit *box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

SchemaPanelState::Judged judgedBy(SchemaCheck::Subject subject)
{
    switch (subject) {
    case SchemaCheck::Subject::UnsavedChanges: return SchemaPanelState::Judged::UnsavedChanges;
    case SchemaCheck::Subject::TypedText: return SchemaPanelState::Judged::BoxText;
    case SchemaCheck::Subject::StoredFile: break;
    }
    return SchemaPanelState::Judged::StoredFile;
}

// Runs one step whose failure is ignored (the File menu goes on step by step).
template<typename Step>
void ignoringFailure(Step step)
{
    try {
        step();
    } catch (...) {
    }
}

// Runs one step; the description of its failure, or an empty string.
template<typename Step>
QString failureOf(Step step)
{
    try {
        step();
    } catch (const Error &e) {
        return e.description();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("An unexpected failure occurred.");
    }
    return QString();
}

} // namespace

// The tab control, which can tell the size of its pages for any size of its
// own, shown or not.
class TabControl : public QTabWidget
{
public:
    using QTabWidget::QTabWidget;
    QSize pageSizeFor(const QSize &size) const
    {
        QStyleOptionTabWidgetFrame option;
        initStyleOption(&option);
        option.rect = QRect(QPoint(), size);
        return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).size();
    }
};

frmMain::frmMain(Prompts *prompts, QString configurationPath, QWidget *parent)
    : QMainWindow(parent), m_prompts(prompts), m_configurationPath(std::move(configurationPath)),
      m_model(new ColoredTreeModel(this))
{
    if (!m_prompts) {
        m_ownPrompts = std::make_unique<WidgetPrompts>();
        m_prompts = m_ownPrompts.get();
    }
    if (m_configurationPath.isEmpty())
        m_configurationPath = ConfigurationFilePath();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kTitle.toString());
    m_check = new SchemaCheck(this);
    connect(m_check, &SchemaCheck::started, this,
            [this](SchemaCheck::Subject subject) { guarded([&] { schemaCheckStarted(subject); }); });
    connect(m_check, &SchemaCheck::finished, this, [this](SchemaCheck::Subject subject, const ValidationResult &result) {
        guarded([&] { schemaCheckFinished(subject, result); });
    });
    buildWidgets();
    buildMenus();

    const double dx = logicalDpiX(), dy = logicalDpiY();
    const int menuHeight = menuBar()->sizeHint().height();
    resize(twipsToPixels(MainLayout::kInitialClientWidth, dx),
           menuHeight + twipsToPixels(MainLayout::kInitialClientHeight, dy));
    setMinimumSize(twipsToPixels(MainLayout::kMinimumOuterSize - MainLayout::kFrameWidth, dx),
                   menuHeight + twipsToPixels(MainLayout::kMinimumOuterSize - MainLayout::kFrameHeight, dy));
}

frmMain::~frmMain() = default;

void frmMain::buildWidgets()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    // The controls are laid out whenever the client area changes size.
    central->installEventFilter(this);

    tabMain = new TabControl(central);
    tabMain->setObjectName(QStringLiteral("tabMain"));
    auto *listPage = new QWidget;
    auto *xmlPage = new QWidget;
    tabMain->addTab(listPage, QStringLiteral("List View"));
    tabMain->addTab(xmlPage, QStringLiteral("XML View"));
    tabMain->setAccessibleName(QStringLiteral("Views"));
    listPage->setAccessibleName(QStringLiteral("List View"));
    xmlPage->setAccessibleName(QStringLiteral("XML View"));

    fraList = new QFrame(listPage);
    fraList->setObjectName(QStringLiteral("fraList"));
    fraXML = new QFrame(xmlPage);
    fraXML->setObjectName(QStringLiteral("fraXML"));

    treXml = new QTreeView(fraList);
    treXml->setObjectName(QStringLiteral("treXml"));
    treXml->setAccessibleName(QStringLiteral("Document"));
    treXml->setModel(m_model);
    treXml->setHeaderHidden(true);
    treXml->setUniformRowHeights(true);
    treXml->header()->setSectionResizeMode(QHeaderView::Interactive);
    treXml->header()->setStretchLastSection(true);
    treXml->setSelectionMode(QAbstractItemView::SingleSelection);
    treXml->setEditTriggers(QAbstractItemView::NoEditTriggers);

    txtValue = new QLineEdit(fraList);
    txtValue->setObjectName(QStringLiteral("txtValue"));
    txtValue->setAccessibleName(QStringLiteral("Value"));
    // Values of any length stay whole: the default limit is 32,767 characters.
    txtValue->setMaxLength(std::numeric_limits<int>::max());
    // The values the schema allows, offered as the user types (or presses
    // Down); a choice sets the value as typing it would.
    m_valueChoices = new QStringListModel(this);
    cmpValue = new QCompleter(m_valueChoices, this);
    cmpValue->setObjectName(QStringLiteral("cmpValue"));
    cmpValue->setCaseSensitivity(Qt::CaseInsensitive);
    cmpValue->setFilterMode(Qt::MatchContains);
    cmpValue->setCompletionMode(QCompleter::PopupCompletion);
    cmpValue->popup()->setObjectName(QStringLiteral("lstValueChoices"));
    cmpValue->popup()->setAccessibleName(QStringLiteral("Allowed values"));
    txtValue->installEventFilter(this);

    txtTag = new QLineEdit(fraList);
    txtTag->setObjectName(QStringLiteral("txtTag"));
    txtTag->setAccessibleName(QStringLiteral("Tag Name"));
    txtTag->setReadOnly(true);
    txtTag->setMaxLength(std::numeric_limits<int>::max());
    QPalette tagPalette = txtTag->palette();
    tagPalette.setColor(QPalette::Base, tagPalette.color(QPalette::Button));
    txtTag->setPalette(tagPalette);

    auto button = [](QWidget *parent, const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, parent);
        b->setObjectName(QLatin1String(name));
        b->setAccessibleName(caption);
        return b;
    };
    cmdPutData = button(fraList, "cmdPutData", QStringLiteral("PutData"));
    cmdGetData = button(fraList, "cmdGetData", QStringLiteral("GetData"));
    cmdAdd = button(fraList, "cmdAdd", QStringLiteral("Add"));
    cmdDelete = button(fraList, "cmdDelete", QStringLiteral("Delete"));
    lblList[0] = new QLabel(QStringLiteral("Tag Name : "), fraList);
    lblList[0]->setObjectName(QStringLiteral("lblList0"));
    lblList[0]->setBuddy(txtTag);
    lblList[1] = new QLabel(QStringLiteral("Value : "), fraList);
    lblList[1]->setObjectName(QStringLiteral("lblList1"));
    lblList[1]->setBuddy(txtValue);

    txtXML = new QPlainTextEdit(fraXML);
    txtXML->setObjectName(QStringLiteral("txtXML"));
    txtXML->setAccessibleName(QStringLiteral("XML"));
    txtXML->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtXML->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtXML->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cmdWrite = button(fraXML, "cmdWrite", QStringLiteral("Write"));
    cmdRead = button(fraXML, "cmdRead", QStringLiteral("Read"));

    // Keyboard order: the tree, the boxes, then the buttons; on the second
    // tab the text, Read, Write. Tab leaves the text box instead of typing a
    // tab character, so the buttons stay reachable without a mouse.
    setTabOrder(treXml, txtTag);
    setTabOrder(txtTag, txtValue);
    setTabOrder(txtValue, cmdAdd);
    setTabOrder(cmdAdd, cmdDelete);
    setTabOrder(cmdDelete, cmdGetData);
    setTabOrder(cmdGetData, cmdPutData);
    txtXML->setTabChangesFocus(true);
    setTabOrder(txtXML, cmdRead);
    setTabOrder(cmdRead, cmdWrite);

    sbarMain = new QStatusBar(this);
    sbarMain->setObjectName(QStringLiteral("sbarMain"));
    sbarMain->setSizeGripEnabled(true);
    sbarPanel1 = new QLabel(sbarMain);
    sbarPanel1->setObjectName(QStringLiteral("sbarPanel1"));
    sbarMain->addWidget(sbarPanel1, 1);
    // A refusal is long: while it shows it takes nearly all the free room
    // (the first panel's text still fits whole). The file and the
    // configuration stand at the right.
    sbarPanel3 = new StatusLabel("sbarPanel3", QStringLiteral("Why the file was not opened"), sbarMain);
    sbarMain->addWidget(sbarPanel3, 100);
    sbarPanel2 = new StatusLabel("sbarPanel2", QStringLiteral("Open file"), sbarMain);
    sbarMain->addPermanentWidget(sbarPanel2);
    sbarPanel4 = new StatusLabel("sbarPanel4", QStringLiteral("Configuration"), sbarMain);
    sbarMain->addPermanentWidget(sbarPanel4);
    // A flat button rather than a label: it takes the keyboard focus and
    // offers a press action to assistive technology, whose name is the text.
    sbarPanel5 = new QToolButton(sbarMain);
    sbarPanel5->setObjectName(QStringLiteral("sbarPanel5"));
    sbarPanel5->setAutoRaise(true);
    sbarPanel5->setFocusPolicy(Qt::TabFocus);
    sbarPanel5->setVisible(false);
    sbarMain->addPermanentWidget(sbarPanel5);
    // The list opens once the click has returned: a screen reader that
    // pressed the panel through its accessible action waits for the press
    // to end, and a modal list would hold it until the list closes.
    connect(sbarPanel5, &QToolButton::clicked, this, [this] { guarded([this] { sbarPanel5_Click(); }); },
            Qt::QueuedConnection);
    setStatusBar(sbarMain);
    sbarMain->setFixedHeight(twipsToPixels(375, logicalDpiY()));

    connect(cmdGetData, &QPushButton::clicked, this, [this] { cmdGetData_Click(); });
    connect(cmdPutData, &QPushButton::clicked, this, [this] { cmdPutData_Click(); });
    connect(cmdAdd, &QPushButton::clicked, this, [this] { guarded([this] { cmdAdd_Click(); }); });
    connect(cmdDelete, &QPushButton::clicked, this, [this] { guarded([this] { cmdDelete_Click(); }); });
    connect(cmdRead, &QPushButton::clicked, this, [this] { cmdRead_Click(); });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { cmdWrite_Click(); });
    // A change of the current node by mouse or keyboard refreshes the boxes.
    connect(treXml->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { guarded([this] { treXml_NodeClick(); }); });
    connect(txtValue, &QLineEdit::textChanged, this, [this] { guarded([this] { txtValue_Change(); }); });
    connect(txtXML, &QPlainTextEdit::textChanged, this, [this] { guarded([this] { txtXML_Change(); }); });
    // The view follows the nodes' expansion.
    connect(m_model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &, const QList<int> &roles) {
                if (roles.contains(TreeModel::ExpandedRole) && topLeft.data(TreeModel::ExpandedRole).toBool())
                    treXml->expand(topLeft);
            });
}

void frmMain::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    auto fileItem = [&](int index, const QString &caption) {
        QAction *a = file->addAction(caption);
        a->setObjectName(QStringLiteral("mnuFileItem%1").arg(index));
        connect(a, &QAction::triggered, this, [this, index] { guarded([this, index] { mnuFileItem_Click(index); }); });
        return a;
    };
    fileItem(1, QStringLiteral("&New..."));
    fileItem(2, QStringLiteral("&Open..."));
    file->addSeparator()->setObjectName(QStringLiteral("mnuFileItem3"));
    fileItem(4, QStringLiteral("E&xit"));

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    QAction *version = help->addAction(QStringLiteral("&Version..."));
    version->setObjectName(QStringLiteral("mnuHelpItem1"));
    connect(version, &QAction::triggered, this, [this] { guarded([this] { mnuHelpItem_Click(1); }); });
}

bool frmMain::Form_Load()
{
    tabMain->setCurrentIndex(0);
    try {
        m_quenEng = CreateQuenEngine();
        if (!m_quenEng)
            throw Error(QStringLiteral("The Quen engine could not be started."));
        const QList<std::shared_ptr<QuenWorkspace>> workspaces = m_quenEng->WorkspaceList();
        if (workspaces.isEmpty() || !workspaces.at(0))
            throw Error(QStringLiteral("The Quen engine has no workspace."));
        m_quenWs = workspaces.at(0);
        m_quenCtrl = m_quenWs->CreateController(QString(), kTarnwellProgId.toString(), QString(), QString());
        RefreshControls();
    } catch (const std::exception &e) {
        const auto *error = dynamic_cast<const Error *>(&e);
        m_prompts->warning(this, error ? error->description() : QString::fromLocal8Bit(e.what()));
        close();
        return false;
    }
    m_lists = ReadConfiguration(m_configurationPath);
    m_panels.configurationRead(m_configurationPath, QFileInfo(m_configurationPath).isFile(), m_lists.listE().size());
    showStatusPanels();
    return true;
}

void frmMain::guarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const Error &e) {
        m_prompts->warning(this, e.description());
    } catch (const std::exception &e) {
        m_prompts->warning(this, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        m_prompts->warning(this, QStringLiteral("An unexpected failure occurred."));
    }
}

TreeNode *frmMain::selectedNode() const
{
    return m_model->nodeFromIndex(treXml->currentIndex());
}

void frmMain::selectNode(const TreeNode *node)
{
    const QModelIndex index = m_model->indexFromNode(node);
    treXml->setCurrentIndex(index);
    treXml->scrollTo(index);
}

void frmMain::StartSchemaCheck()
{
    m_schemaResult.reset();
    m_check->checkStored(m_strFileName);
}

// What PutData would store is checked after a pause in the changes; the
// panel says that it judges the changes not stored.
void frmMain::ScheduleUnsavedCheck()
{
    if (!m_quenFile)
        return;
    m_check->checkTextLater(SchemaCheck::Subject::UnsavedChanges, m_strFileName, [this]() -> SchemaCheck::TextToCheck {
        const QVariant made = m_quenFile->RunCommand(QStringLiteral("PutDataDraft"), m_model->buildPairList());
        if (!made.canConvert<StoreDraft>())
            throw Error(QStringLiteral("The provider made no draft of the changes."));
        const StoreDraft draft = made.value<StoreDraft>();
        // Read back beside the window, as a store would, while it is checked.
        return {draft.bytes, [draft] { return TarnwellProvider::DraftRefusal(draft); }};
    });
}

// Text typed into the XML box is checked too: well-formedness first (with
// its line and column), then the schema. It is given to the check as UTF-8,
// whatever encoding it declares, since that is the text it holds.
void frmMain::ScheduleBoxCheck()
{
    if (!m_quenFile)
        return;
    m_check->checkTextLater(SchemaCheck::Subject::TypedText, m_strFileName, [this] {
        QByteArray utf8 = rawText(txtXML).toUtf8();
        static const QRegularExpression declared(QStringLiteral(R"(^(\s*<\?xml\s[^>]*?encoding\s*=\s*["'])([^"']*)(["']))"));
        const QRegularExpressionMatch m = declared.match(QString::fromUtf8(utf8.left(512)));
        if (m.hasMatch())
            utf8 = (m.captured(1) + QStringLiteral("UTF-8") + m.captured(3)).toUtf8() + utf8.mid(m.captured(0).toUtf8().size());
        return SchemaCheck::TextToCheck(utf8);
    });
}

void frmMain::schemaCheckStarted(SchemaCheck::Subject subject)
{
    m_schemaResult.reset();
    m_schemaState = {};
    m_schemaState.kind = SchemaPanelState::Kind::Checking;
    m_schemaState.judged = judgedBy(subject);
    showSchemaPanel();
}

void frmMain::schemaCheckFinished(SchemaCheck::Subject subject, const ValidationResult &result)
{
    using Kind = SchemaPanelState::Kind;
    const Kind kind = result.status == ValidationResult::Status::Valid     ? Kind::Valid
                      : result.status == ValidationResult::Status::Invalid ? Kind::Invalid
                                                                           : Kind::NotChecked;
    m_schemaState = {};
    m_schemaState.kind = kind;
    m_schemaState.schemaName = result.schemaName;
    m_schemaState.problems = result.problems.size();
    m_schemaState.moreProblems = result.moreProblems;
    m_schemaState.reason = result.reason;
    m_schemaState.judged = judgedBy(subject);
    // A schema URL no catalog maps: the same way forward that validate gives.
    if (!result.unmappedUrl.isEmpty())
        m_schemaState.advice = CatalogAdvice(result.unmappedUrl);
    m_schemaResult = std::make_shared<const ValidationResult>(result);
    // The XML box's text is not the tree's: its problems stay in the panel.
    if (subject != SchemaCheck::Subject::TypedText) {
        m_lastResult = m_schemaResult;
        m_model->setProblems(ProblemsByPath(result));
    }
    showSchemaPanel();
    RefreshValueHelp();
}

// After Add or Delete the last result's paths name other nodes: its
// problems leave the tree and the value box until the next check ends.
void frmMain::ForgetProblemPlaces()
{
    m_model->setProblems({});
    if (m_lastResult && !m_lastResult->problems.isEmpty()) {
        auto kept = std::make_shared<ValidationResult>(*m_lastResult);
        kept->problems.clear();
        m_lastResult = std::move(kept);
    }
}

void frmMain::RefreshValueHelp()
{
    const TreeNode *node = selectedNode();
    const std::shared_ptr<SchemaGuide> guide = m_check->guide();
    NodeRule rule;
    QStringList problems;
    if (node && guide && m_lastResult) {
        rule = guide->ruleFor(NodeNamePath(*node));
        problems = ProblemsAt(*m_lastResult, IndexedNodePath(*node));
    }
    const QString lockedBy = node ? node->lockedBy() : QString();
    const QString help = node && (m_lastResult || !lockedBy.isEmpty())
                             ? ValueBoxHelp(m_lastResult ? m_lastResult->schemaName : QString(), rule, problems, lockedBy)
                             : QString();
    txtValue->setToolTip(help);
    txtValue->setAccessibleDescription(help);
    if (m_valueChoices->stringList() != rule.choices)
        m_valueChoices->setStringList(rule.choices);
    txtValue->setCompleter(rule.choices.isEmpty() || !txtValue->isEnabled() || txtValue->isReadOnly() ? nullptr : cmpValue);
}

void frmMain::ClearSchemaCheck()
{
    m_check->clear();
    m_schemaResult.reset();
    m_lastResult.reset();
    m_model->setProblems({});
    m_schemaState = {};
    showSchemaPanel();
}

void frmMain::showSchemaPanel()
{
    const QString text = SchemaPanelText(m_schemaState);
    const QString details = SchemaPanelDetails(m_schemaState);
    sbarPanel5->setText(text);
    sbarPanel5->setToolTip(details);
    sbarPanel5->setAccessibleName(text);
    sbarPanel5->setAccessibleDescription(details);
    sbarPanel5->setVisible(!text.isEmpty());
}

// Lists the problems; the chosen one's element is selected in the List
// View. Without problems the panel's whole text is shown, as it may be cut.
void frmMain::sbarPanel5_Click()
{
    if (!m_schemaResult || m_schemaResult->problems.isEmpty()) {
        if (m_schemaState.kind != SchemaPanelState::Kind::None)
            m_prompts->information(this, SchemaPanelDetails(m_schemaState));
        return;
    }
    const std::shared_ptr<const ValidationResult> result = m_schemaResult;
    QStringList lines;
    for (const ValidationProblem &p : result->problems)
        lines.append(QStringLiteral("line %1: %2: %3").arg(p.line).arg(p.path.isEmpty() ? QStringLiteral("-") : p.path, p.message));
    const std::optional<int> chosen = m_prompts->schemaProblem(this, lines);
    if (!chosen || *chosen < 0 || *chosen >= result->problems.size())
        return;
    const QString path = result->problems.at(*chosen).path;
    const TreeNode *node = m_model->rootNode();
    const QStringList segments = path.split(u'/');
    for (qsizetype i = 1; node && i < segments.size(); ++i)
        node = FindChildNode(*node, segments[i]);
    if (!node || path.isEmpty()) {
        m_prompts->information(this, QStringLiteral("The element %1 is not in the tree; GetData reads the stored "
                                                    "file again.")
                                         .arg(quoteForMessage(path, 200)));
        return;
    }
    tabMain->setCurrentIndex(0);
    selectNode(node);
    treXml->setFocus();
    RefreshControls();
}

void frmMain::showStatusPanels()
{
    sbarPanel2->setPanel(m_panels.fileText(), m_panels.fileDetails(), m_panels.fileSpoken());
    sbarPanel3->setPanel(m_panels.refusalText(), m_panels.refusalText());
    sbarPanel4->setPanel(m_panels.configurationText(), m_panels.configurationDetails());
}

void frmMain::expandAsModel(const QModelIndex &parent)
{
    std::vector<QModelIndex> pending{parent};
    while (!pending.empty()) {
        const QModelIndex index = pending.back();
        pending.pop_back();
        if (index.isValid() && index.data(TreeModel::ExpandedRole).toBool())
            treXml->expand(index);
        const int rows = m_model->rowCount(index);
        for (int r = 0; r < rows; ++r) {
            const QModelIndex child = m_model->index(r, 0, index);
            if (m_model->rowCount(child) > 0)
                pending.push_back(child);
        }
    }
}

void frmMain::RefreshControls()
{
    // The flag is reset on every way out, so a failure here cannot leave
    // value edits cut off from the tree.
    m_updating = true;
    const auto reset = qScopeGuard([this] { m_updating = false; });

    const bool open = m_quenFile != nullptr;
    cmdGetData->setEnabled(open);
    cmdRead->setEnabled(open && !m_isNewFile);
    cmdPutData->setEnabled(!m_model->isEmpty());
    cmdWrite->setEnabled(open && !txtXML->document()->isEmpty());

    cmdAdd->setEnabled(false);
    cmdDelete->setEnabled(false);
    txtValue->setText(QString());
    txtTag->setText(QString());
    txtValue->setEnabled(false);

    if (const TreeNode *node = selectedNode()) {
        const bool locked = !node->lockedBy().isEmpty();
        cmdAdd->setEnabled(!locked && !CollectAddableItems(*node, m_lists).isEmpty());
        cmdDelete->setEnabled(!locked && !node->isTopLevel());
        const bool listed = !locked && IsListedInE(*node, m_lists);
        // A node an entity gives stays reachable, read-only, so that its
        // description (which says why) can be heard.
        txtValue->setEnabled(listed || locked);
        txtValue->setReadOnly(locked);
        // Both colours come from the application: the box's own palette
        // holds whatever the previous node gave it.
        const QColor background =
            QApplication::palette().color(QPalette::Active, listed ? QPalette::Base : QPalette::Button);
        QPalette palette = txtValue->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            palette.setColor(group, QPalette::Base, background);
        txtValue->setPalette(palette);
        txtValue->setText(node->tag());
        txtValue->setCursorPosition(0);
        txtTag->setText(node->text());
        txtTag->setCursorPosition(0);
    }
    RefreshValueHelp();
}

void frmMain::mnuFileItem_Click(int index)
{
    if (index == 4) {
        close(); // closeEvent asks about unsaved changes
        return;
    }
    if (index != 1 && index != 2)
        return;
    if (!MayDiscardChanges())
        return;
    const std::optional<QString> chosen = m_prompts->fileName(this, kFileFilter.toString());
    if (!chosen || chosen->trimmed().isEmpty())
        return;
    BindChosenFile(*chosen, index == 1);
}

bool frmMain::MayDiscardChanges()
{
    // Text typed into the XML box and not written is as much the user's work
    // as a tree edit not stored.
    const bool unsaved = m_panels.hasUnsavedChanges() || txtXML->document()->isModified();
    return !unsaved || m_prompts->question(this, kDiscardQuestion.toString() + u'\n' + kDiscardQuestionEnglish.toString());
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (MayDiscardChanges())
        event->accept();
    else
        event->ignore();
}

void frmMain::OpenAtStart(const QString &path)
{
    // A file that is not there is not made: File > New makes new files.
    if (!QFileInfo::exists(path)) {
        m_panels.fileRefused(QStringLiteral("%1 does not exist; File > New makes a new file.")
                                 .arg(quoteForMessage(QDir::toNativeSeparators(path), 200)));
        showStatusPanels();
        return;
    }
    BindChosenFile(QFileInfo(path).absoluteFilePath(), false);
    if (m_quenFile)
        cmdGetData_Click();
}

void frmMain::BindChosenFile(const QString &chosen, bool isNew)
{
    const int index = isNew ? 1 : 2;
    // Each step goes on whatever the one before it did; a file that cannot
    // be bound shows as GetData, Read and Write staying disabled, and the
    // provider's reason in the status bar (no message box).
    m_strFileName = chosen;
    ignoringFailure([this] { m_quenFile.reset(); });
    ignoringFailure([this] { m_quenCtrl->FileList()->RemoveAll(); });
    const QString refusal = failureOf([this, index] {
        m_quenFile = m_quenCtrl->BindFile(m_strFileName, index == 1 ? QStringLiteral("@Create") : QString());
    });
    m_isNewFile = index == 1;
    // A completion reported for the file before is not this file's.
    ignoringFailure([this] { sbarPanel1->clear(); });
    if (m_quenFile)
        m_revisions.fileBound(FileRevision());
    else
        m_revisions.fileReleased();
    if (m_quenFile)
        m_panels.fileBound(m_strFileName, m_isNewFile);
    else
        m_panels.fileRefused(refusal.isEmpty() ? QStringLiteral("The provider did not open \"%1\".").arg(m_strFileName)
                                               : refusal);
    ignoringFailure([this] { showStatusPanels(); });
    ignoringFailure([this] { ClearSchemaCheck(); });
    ignoringFailure([this] { m_model->clear(); });
    ignoringFailure([this] { txtXML->setPlainText(QString()); });
    ignoringFailure([this] { RefreshControls(); });
}

void frmMain::mnuHelpItem_Click(int index)
{
    if (index != 1)
        return;
    m_prompts->information(this, QStringLiteral("Tarnwell XML Editor : Version %1.%2.%3")
                                     .arg(TARNWELL_VERSION_MAJOR)
                                     .arg(TARNWELL_VERSION_MINOR)
                                     .arg(TARNWELL_VERSION_PATCH));
}

quint64 frmMain::FileRevision() const
{
    try {
        return m_quenFile ? m_quenFile->RunCommand(QStringLiteral("Revision")).toULongLong() : 0;
    } catch (const Error &) {
        return 0;
    }
}

void frmMain::cmdGetData_Click()
{
    if (!m_quenFile)
        return;
    bool loaded = false;
    guarded([this, &loaded] {
        // The provider reads the file again when it changed on disk.
        const QStringList pairs = PairListFromVariant(m_quenFile->RunCommand(QStringLiteral("GetData")));
        const quint64 revision = FileRevision();
        m_model->loadPairList(pairs, m_lists);
        // Nodes an entity's text gives are read-only; a provider that has
        // no such nodes may not know the command.
        try {
            m_model->lockNodes(m_quenFile->RunCommand(QStringLiteral("EntityNodes")).toStringList());
        } catch (const Error &) {
        }
        m_revisions.treeRead(revision);
        expandAsModel(QModelIndex());
        if (TreeNode *root = m_model->rootNode())
            selectNode(root);
        loaded = true;
        m_panels.treeLoaded();
        showStatusPanels();
        RefreshControls();
    });
    if (loaded)
        StartSchemaCheck();
    // After a failed load the tree is as it was; the controls follow it.
    if (!loaded)
        guarded([this] { RefreshControls(); });
}

void frmMain::cmdPutData_Click()
{
    if (!m_quenFile)
        return;
    guarded([this] {
        // A failed or refused store must not leave an earlier completion
        // showing.
        auto cleared = qScopeGuard([this] { sbarPanel1->clear(); });
        // The tree stores only over the text it was read from: a Write or
        // another program's change since then would be undone.
        if (const QString refusal = m_revisions.treeStoreRefusal(FileRevision(), m_strFileName); !refusal.isEmpty())
            throw Error(refusal);
        const QStringList pairs = m_model->buildPairList();
        const QVariant result = m_quenFile->RunCommand(QStringLiteral("PutData"), pairs);
        m_revisions.treeRead(FileRevision());
        sbarPanel1->setText(kSaved.toString());
        if (result.metaType().id() == QMetaType::QStringList || result.metaType().id() == QMetaType::QVariantList) {
            const QVariantList list = result.toList();
            if (list.isEmpty())
                throw Error(QStringLiteral("The provider answered with an empty message list."));
            m_prompts->warning(this, list.first().toString());
        }
        cleared.dismiss();
        m_isNewFile = false;
        m_panels.treeStored();
        showStatusPanels();
        RefreshControls();
        StartSchemaCheck();
    });
}

void frmMain::cmdAdd_Click()
{
    TreeNode *parent = selectedNode();
    if (!parent || !parent->lockedBy().isEmpty())
        return;
    const QStringList names = CollectAddableItems(*parent, m_lists);
    if (const std::optional<QString> chosen = m_prompts->addItem(this, names); chosen && names.contains(*chosen)) {
        TreeNode *node = m_model->addTreeNode(parent, *chosen, m_lists);
        m_model->setTag(node, QString());
        ForgetProblemPlaces();
        m_panels.treeChanged();
        showStatusPanels();
        ScheduleUnsavedCheck();
        selectNode(node);
    }
    RefreshControls();
}

void frmMain::cmdDelete_Click()
{
    if (m_prompts->question(this, kDeleteQuestion.toString())) {
        TreeNode *node = selectedNode();
        if (node && !node->isTopLevel() && node->lockedBy().isEmpty()) {
            m_model->removeNode(node);
            ForgetProblemPlaces();
            m_panels.treeChanged();
            showStatusPanels();
            ScheduleUnsavedCheck();
        }
    }
    RefreshControls();
}

void frmMain::cmdRead_Click()
{
    if (!m_quenFile)
        return;
    guarded([this] {
        // The provider reads the file again when it changed on disk.
        const QString text = m_quenFile->Content().toString();
        const quint64 revision = FileRevision();
        txtXML->setPlainText(text);
        m_revisions.textRead(revision);
    });
}

void frmMain::cmdWrite_Click()
{
    if (!m_quenFile)
        return;
    guarded([this] {
        auto cleared = qScopeGuard([this] { sbarPanel1->clear(); });
        // The box stores only over the text Read fetched into it: a PutData or
        // another program's change since then would be undone.
        if (const QString refusal = m_revisions.textStoreRefusal(FileRevision(), m_strFileName); !refusal.isEmpty())
            throw Error(refusal);
        try {
            m_quenFile->SetContent(rawText(txtXML));
        } catch (const Error &e) {
            // The provider speaks of "the text to write": here it is the box's.
            static const QString given = QStringLiteral("The text to write ");
            if (!e.description().startsWith(given))
                throw;
            throw Error(QStringLiteral("The text in the XML box ") + e.description().mid(given.size()), e.kind());
        }
        m_revisions.textRead(FileRevision());
        txtXML->document()->setModified(false);
        sbarPanel1->setText(kSaved.toString());
        cleared.dismiss();
        StartSchemaCheck();
    });
}

void frmMain::treXml_NodeClick()
{
    RefreshControls();
}

void frmMain::txtValue_Change()
{
    if (m_updating)
        return;
    TreeNode *node = selectedNode();
    if (!node || !node->lockedBy().isEmpty() || node->tag() == txtValue->text())
        return;
    m_model->setTag(node, txtValue->text());
    m_panels.treeChanged();
    showStatusPanels();
    ScheduleUnsavedCheck();
}

void frmMain::txtXML_Change()
{
    RefreshControls();
    // Text typed (not what Read or binding put in) is checked after a pause.
    if (txtXML->document()->isModified())
        ScheduleBoxCheck();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    guarded([this] { Form_Resize(); });
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        guarded([this] { Form_Resize(); });
    // Down in the value box lists every allowed value.
    if (watched == txtValue && event->type() == QEvent::KeyPress && txtValue->completer() &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down && !cmpValue->popup()->isVisible()) {
        cmpValue->setCompletionPrefix(QString());
        cmpValue->complete();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

MainLayout frmMain::layoutForCurrentSize() const
{
    // The tab control fills the client area above the status bar, and each
    // frame fills its page; the controls inside follow the layout rules for
    // a window whose frames have that size.
    const double dx = logicalDpiX(), dy = logicalDpiY();
    const QSize page = tabMain->pageSizeFor(centralWidget()->size());
    MainLayout layout;
    layout.sbarMain.height = pixelsToTwips(sbarMain->height(), dy);
    layout.resize(pixelsToTwips(page.width(), dx) + 120 + MainLayout::kFrameWidth,
                  pixelsToTwips(page.height(), dy) + 420 + layout.sbarMain.height + MainLayout::kFrameHeight);
    return layout;
}

void frmMain::Form_Resize()
{
    if (isMinimized())
        return;
    // Never smaller than the minimum: the size hint normally keeps the window
    // there, but not every window manager honours it.
    const double sx = logicalDpiX(), sy = logicalDpiY();
    const int menuHeight = menuBar()->isVisible() ? menuBar()->height() : 0;
    int outerWidth = pixelsToTwips(width(), sx) + MainLayout::kFrameWidth;
    int outerHeight = pixelsToTwips(height() - menuHeight, sy) + MainLayout::kFrameHeight;
    const int wantedWidth = outerWidth, wantedHeight = outerHeight;
    MainLayout::snapToMinimum(outerWidth, outerHeight);
    if (outerWidth != wantedWidth || outerHeight != wantedHeight) {
        const QSize snapped(twipsToPixels(outerWidth - MainLayout::kFrameWidth, sx),
                            menuHeight + twipsToPixels(outerHeight - MainLayout::kFrameHeight, sy));
        // The new size lays the controls out again; an unchanged one (a
        // rounding difference) goes on here.
        if (snapped.expandedTo(size()) != size()) {
            resize(snapped.expandedTo(size()));
            return;
        }
    }
    const MainLayout layout = layoutForCurrentSize();
    const double dx = logicalDpiX(), dy = logicalDpiY();
    auto place = [&](QWidget *widget, const TwipsRect &r) {
        widget->setGeometry(twipsToPixels(r.left, dx), twipsToPixels(r.top, dy), std::max(0, twipsToPixels(r.width, dx)),
                            std::max(0, twipsToPixels(r.height, dy)));
    };
    tabMain->setGeometry(centralWidget()->rect());
    place(fraList, {0, 0, layout.fraList.width, layout.fraList.height});
    place(fraXML, {0, 0, layout.fraXML.width, layout.fraXML.height});
    place(treXml, layout.treXml);
    place(txtValue, layout.txtValue);
    place(txtTag, layout.txtTag);
    place(cmdPutData, layout.cmdPutData);
    place(cmdGetData, layout.cmdGetData);
    place(cmdAdd, layout.cmdAdd);
    place(cmdDelete, layout.cmdDelete);
    place(lblList[0], layout.lblTagName);
    place(lblList[1], layout.lblValue);
    place(txtXML, layout.txtXML);
    place(cmdWrite, layout.cmdWrite);
    place(cmdRead, layout.cmdRead);
}

} // namespace tarnwell
