#include "SchemaCheck.h"

#include "Error.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

namespace tarnwell {

SchemaCheck::SchemaCheck(QObject *parent) : QObject(parent)
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

void SchemaCheck::checkTextLater(Subject subject, const QString &path, std::function<QByteArray()> makeText, int delayMs)
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
}

void SchemaCheck::takeText()
{
    if (!m_makeText)
        return;
    Request r;
    r.subject = m_laterSubject;
    r.path = m_laterPath;
    try {
        r.text = m_makeText();
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
    auto *watcher = new QFutureWatcher<ValidationResult>(this);
    const Subject subject = request.subject;
    connect(watcher, &QFutureWatcher<ValidationResult>::finished, this, [this, watcher, generation, subject] {
        watcher->deleteLater();
        m_running = false;
        const ValidationResult result = watcher->result();
        if (generation == m_generation)
            Q_EMIT finished(subject, result);
        if (m_waiting) {
            Request next = *std::move(m_waiting);
            m_waiting.reset();
            run(std::move(next));
        }
    });
    // The validator is shared with the task, so a window closed meanwhile
    // leaves it alive until the check ends.
    watcher->setFuture(QtConcurrent::run([validator = m_validator, r = std::move(request)] {
        return r.text ? validator->validateText(*r.text, r.path) : validator->validate(r.path);
    }));
}

} // namespace tarnwell
