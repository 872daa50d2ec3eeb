#include "SchemaCheck.h"

#include "Error.h"

#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QXmlStreamReader>
#include <QtConcurrent/QtConcurrentRun>

#include <mutex>

namespace tarnwell {

namespace {

// The namespace declarations of the document's root: (prefix, name).
QList<std::pair<QString, QString>> rootPrefixes(QXmlStreamReader &reader)
{
    QList<std::pair<QString, QString>> out;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        for (const QXmlStreamNamespaceDeclaration &d : reader.namespaceDeclarations())
            out.append({d.prefix().toString(), d.namespaceUri().toString()});
        break;
    }
    return out;
}

struct CheckOutcome
{
    ValidationResult result;
    std::shared_ptr<SchemaGuide> guide;
};

} // namespace

// The guide last made, kept while the schema's file and the document's
// prefixes stay as they were: a check of each keystroke must not read the
// schema again. Shared by the checks, one at a time.
struct SchemaCheck::GuideCache
{
    std::mutex mutex;
    QList<std::pair<QString, QString>> prefixes;
    std::shared_ptr<SchemaGuide> guide;

    std::shared_ptr<SchemaGuide> guideFor(const QString &schemaFile, const QList<std::pair<QString, QString>> &docPrefixes)
    {
        const std::lock_guard lock(mutex);
        if (guide && guide->file() == schemaFile && prefixes == docPrefixes && guide->current())
            return guide;
        guide.reset();
        try {
            guide = std::make_shared<SchemaGuide>(schemaFile, docPrefixes);
        } catch (const std::exception &) {
            return nullptr; // the check itself says why the schema cannot be read
        }
        prefixes = docPrefixes;
        return guide;
    }
};

SchemaCheck::SchemaCheck(QObject *parent) : QObject(parent), m_guides(std::make_shared<GuideCache>())
{
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &SchemaCheck::takeText);
}

SchemaCheck::~SchemaCheck() = default;

void SchemaCheck::checkStored(const QString &path)
{
    ++m_generation;
    m_delay.stop();
    m_makeText = nullptr;
    Request r;
    r.subject = Subject::StoredFile;
    r.path = path;
    run(std::move(r));
}

void SchemaCheck::checkTextLater(Subject subject, const QString &path, std::function<TextToCheck()> makeText, int delayMs)
{
    // The request is the newest from now on: nothing older is reported.
    ++m_generation;
    m_waiting.reset();
    m_laterSubject = subject;
    m_laterPath = path;
    m_makeText = std::move(makeText);
    m_delay.start(delayMs);
}

void SchemaCheck::clear()
{
    ++m_generation;
    m_delay.stop();
    m_waiting.reset();
    m_makeText = nullptr;
    m_guide.reset();
}

void SchemaCheck::takeText()
{
    if (!m_makeText)
        return;
    Request r;
    r.subject = m_laterSubject;
    r.path = m_laterPath;
    try {
        TextToCheck made = m_makeText();
        r.text = std::move(made.text);
        r.storeRefusal = std::move(made.storeRefusal);
    } catch (const Error &e) {
        r.failure = e.description();
    } catch (const std::exception &e) {
        r.failure = QString::fromLocal8Bit(e.what());
    }
    m_makeText = nullptr;
    run(std::move(r));
}

void SchemaCheck::run(Request request)
{
    const quint64 generation = m_generation;
    Q_EMIT started(request.subject);
    if (!request.failure.isEmpty()) {
        ValidationResult result;
        result.reason = request.failure;
        Q_EMIT finished(request.subject, result);
        return;
    }
    if (!request.text && !QFileInfo(request.path).isFile()) {
        ValidationResult result;
        result.reason = QStringLiteral("the file is not stored yet");
        Q_EMIT finished(request.subject, result);
        return;
    }
    // One check at a time: a request that comes while one runs waits, and
    // only the newest waits.
    if (m_running) {
        m_waiting = std::move(request);
        return;
    }
    // Made at the first check, on this thread (Xerces starts up then), not
    // at every start of the editor.
    try {
        if (!m_validator)
            m_validator = std::make_shared<SchemaValidator>();
    } catch (const Error &e) {
        ValidationResult result;
        result.reason = e.description();
        Q_EMIT finished(request.subject, result);
        return;
    }
    m_running = true;
    auto *watcher = new QFutureWatcher<CheckOutcome>(this);
    const Subject subject = request.subject;
    connect(watcher, &QFutureWatcher<CheckOutcome>::finished, this, [this, watcher, generation, subject] {
        watcher->deleteLater();
        m_running = false;
        const CheckOutcome outcome = watcher->result();
        if (generation == m_generation) {
            // A text that could not be checked against a schema it names
            // (one not well-formed, say) keeps the guide that schema gave.
            if (outcome.guide || outcome.result.status != ValidationResult::Status::NotChecked ||
                outcome.result.schemaFile.isEmpty() || (m_guide && m_guide->file() != outcome.result.schemaFile))
                m_guide = outcome.guide;
            Q_EMIT finished(subject, outcome.result);
        }
        if (m_waiting) {
            Request next = *std::move(m_waiting);
            m_waiting.reset();
            run(std::move(next));
        }
    });
    // The validator is shared with the task, so a window closed meanwhile
    // leaves it alive until the check ends.
    watcher->setFuture(QtConcurrent::run([validator = m_validator, guides = m_guides, r = std::move(request)] {
        CheckOutcome outcome;
        // The store's read-back runs beside the schema check.
        QFuture<QString> refusal;
        if (r.storeRefusal)
            refusal = QtConcurrent::run(r.storeRefusal);
        // What PutData would store comes from a document read within the
        // reader's limits and a pair list within its own; the read-back
        // beside the check applies those limits again, and its refusal
        // replaces the result.
        const auto limits = r.subject == Subject::UnsavedChanges ? SchemaValidator::ReadLimits::KnownWithin
                                                                 : SchemaValidator::ReadLimits::Check;
        outcome.result = r.text ? validator->validateText(*r.text, r.path, QString(), limits) : validator->validate(r.path);
        if (r.storeRefusal) {
            QString why;
            try {
                why = refusal.result();
            } catch (const std::exception &e) {
                why = QString::fromLocal8Bit(e.what());
            }
            if (!why.isEmpty()) {
                outcome.result = {};
                outcome.result.reason = why;
                return outcome;
            }
        }
        if (outcome.result.schemaFile.isEmpty() || outcome.result.status == ValidationResult::Status::NotChecked)
            return outcome;
        QList<std::pair<QString, QString>> prefixes;
        if (r.text) {
            QXmlStreamReader reader(*r.text);
            prefixes = rootPrefixes(reader);
        } else if (QFile file(r.path); file.open(QIODevice::ReadOnly)) {
            QXmlStreamReader reader(&file);
            prefixes = rootPrefixes(reader);
        }
        outcome.guide = guides->guideFor(outcome.result.schemaFile, prefixes);
        return outcome;
    }));
}

} // namespace tarnwell
