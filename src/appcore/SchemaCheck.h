#pragma once

#include "SchemaGuide.h"
#include "SchemaValidator.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwell {

// The schema checks the window runs beside itself, off the GUI thread: of
// the stored file, or of a text not stored yet (what PutData would write, or
// what the XML box holds). At most one check runs at a time, and a newer
// request supersedes every older one: a check still waiting is dropped, and
// the result of one that was running is never reported.
class SchemaCheck : public QObject
{
    Q_OBJECT

public:
    // What a check judges.
    enum class Subject { StoredFile, UnsavedChanges, TypedText };
    // The pause after the last change before a text is checked, so that
    // typing never waits on a check.
    static constexpr int kDelayMs = 250;

    explicit SchemaCheck(QObject *parent = nullptr);
    ~SchemaCheck() override;

    // A text to check, and (when set) what reads it back as a store would,
    // giving the store's refusal or nothing; the two run side by side, and
    // a refusal makes the check "not checked", with it as the reason.
    struct TextToCheck
    {
        TextToCheck(QByteArray bytes, std::function<QString()> refusal = {})
            : text(std::move(bytes)), storeRefusal(std::move(refusal))
        {
        }
        QByteArray text;
        std::function<QString()> storeRefusal;
    };

    // Checks the stored file at path, at once.
    void checkStored(const QString &path);
    // Checks, kDelayMs after the last such request, the text makeText gives
    // then (on this thread) as if it were the file at path. makeText may
    // throw an Error: the check is then "not checked", with its description.
    void checkTextLater(Subject subject, const QString &path, std::function<TextToCheck()> makeText, int delayMs = kDelayMs);
    // Forgets every request and result (another file is bound, or none).
    void clear();
    // Whether a check is running now.
    bool isRunning() const { return m_running; }
    // What the schema of the latest result allows, node by node; null when
    // no schema was read. Made beside the window with the check, and asked
    // on this thread only.
    std::shared_ptr<SchemaGuide> guide() const { return m_guide; }

Q_SIGNALS:
    // A check of subject began (the panel says "checking").
    void started(tarnwell::SchemaCheck::Subject subject);
    // The latest request's result.
    void finished(tarnwell::SchemaCheck::Subject subject, const tarnwell::ValidationResult &result);

private:
    struct Request
    {
        Subject subject = Subject::StoredFile;
        QString path;
        std::optional<QByteArray> text; // none: the stored file
        std::function<QString()> storeRefusal;
        QString failure;                // why there is no text to check
    };
    void run(Request request);
    void takeText();

    struct GuideCache;
    std::shared_ptr<SchemaValidator> m_validator;
    std::shared_ptr<GuideCache> m_guides;
    std::shared_ptr<SchemaGuide> m_guide;
    QTimer m_delay;
    quint64 m_generation = 0; // of the latest request
    bool m_running = false;
    std::optional<Request> m_waiting; // to run once the running one ends
    Subject m_laterSubject = Subject::UnsavedChanges;
    QString m_laterPath;
    std::function<TextToCheck()> m_makeText;
};

} // namespace tarnwell
