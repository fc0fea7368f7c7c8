#include "classes/ClassService.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include "classes/ComputerStates.h"
#include "classes/HttpReplies.h"
#include "http/FormDecoding.h"
#include "store/SqliteStore.h"

namespace kt::service {
namespace {

// Guessing a class code by trying: a few wrong codes per address, then a pause.
constexpr int failedLoginsPerAddress = 20;
constexpr qint64 failedLoginWindowMs = 10 * 60 * 1000;
constexpr qint64 reportWindowMs = 10 * 60 * 1000;

ApiReply malformed(const QString& what) {
    return failure(400, QStringLiteral("Ongeldig verzoek: %1").arg(what));
}

std::unique_ptr<ServiceStore> memoryStore() {
    auto store = std::make_unique<SqliteStore>(QStringLiteral(":memory:"));
    if (const QString error = store->open(); !error.isEmpty())
        qFatal("ka-tesmar-service: %s", qPrintable(error));
    return store;
}

}  // namespace

ClassService::ClassService(ServiceStore& store, TokenSource newToken, Clock now)
    : store_(store),
      newToken_(std::move(newToken)),
      now_(std::move(now)),
      watchContactFromMs_(now_() + contactWithinMs),
      failedStudentLogins_(failedLoginsPerAddress, failedLoginWindowMs),
      studentLogins_(loginsPerAddress, failedLoginWindowMs),
      reports_(reportsPerSession, reportWindowMs) {
    for (const ClassRecord& record : store_.loadClasses()) {
        classes_.put(record);
        if (!displayNames_.contains(record.teacherId))
            refreshDisplayName(record.teacherId);
    }
    for (const StudentSession& session : store_.loadSessions()) addSession(session);
}

ClassService::ClassService(const ClassStore& classes, TokenSource newToken)
    : ownStore_(memoryStore()),
      store_(*ownStore_),
      newToken_(std::move(newToken)),
      now_(systemNow),
      failedStudentLogins_(failedLoginsPerAddress, failedLoginWindowMs),
      studentLogins_(loginsPerAddress, failedLoginWindowMs),
      reports_(reportsPerSession, reportWindowMs) {
    importClasses(classes, store_);
}

ClassService::~ClassService() {
    flushLastSeen();
    writeLessonEvents();
}

QString ClassService::tokenHash(const QString& token) {
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

qint64 ClassService::systemNow() {
    return QDateTime::currentMSecsSinceEpoch();
}

QString ClassService::randomToken() {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / sizeof(quint32));
    return QString::fromLatin1(bytes.toHex());
}

QString ClassService::newClassCode() {
    // No 0/O, 1/I/L, 2/Z, 5/S or 8/B: the code is read from the board.
    static const QString alphabet = QStringLiteral("ACDEFGHJKMNPQRTUVWXY34679");
    QString code;
    for (int i = 0; i < 6; ++i)
        code += alphabet.at(QRandomGenerator::system()->bounded(alphabet.size()));
    return code;
}

QStringList ClassService::defaultDomains() {
    return {"chatgpt.com",   "openai.com",        "chat.openai.com", "claude.ai",
            "anthropic.com", "gemini.google.com", "bard.google.com", "copilot.microsoft.com",
            "perplexity.ai", "chat.mistral.ai",   "poe.com",         "character.ai",
            "you.com",       "chat.deepseek.com", "deepseek.com",    "grok.com",
            "meta.ai",       "huggingface.co"};
}

QString ClassService::importClasses(const ClassStore& classes, ServiceStore& teachers) {
    for (ClassRecord record : classes.all()) {
        if (classes_.find(record.code))
            continue;
        if (!record.teacherAccount.isEmpty()) {
            const auto owner = teachers.teacherByName(record.teacherAccount);
            if (!owner)
                return QStringLiteral("class %1: no teacher account '%2'")
                    .arg(record.code, record.teacherAccount);
            record.teacherId = owner->id;
        }
        record.createdAtMs = now_();
        if (!store_.saveClass(record))
            return QStringLiteral("class %1 could not be stored").arg(record.code);
        classes_.put(record);
        refreshDisplayName(record.teacherId);
    }
    return {};
}

void ClassService::refreshDisplayName(qint64 teacherId) {
    if (teacherId == 0)
        return;
    if (const auto teacher = store_.teacherById(teacherId))
        displayNames_.insert(teacherId, teacher->displayName);
}

void ClassService::setDisplayName(qint64 teacherId, const QString& displayName) {
    displayNames_.insert(teacherId, displayName);
}

// A class its teacher made on the page has no teacher name of its own: the
// students see the owner's display name, and without one an empty text,
// never the login name.
QJsonObject ClassService::classInfo(const ClassRecord& record) const {
    const QString shown = displayNames_.value(record.teacherId);
    return QJsonObject{{"class_name", record.className},
                       {"teacher_name", shown.isEmpty() ? record.teacherName : shown},
                       {"school_name", record.schoolName}};
}

void ClassService::addSession(const StudentSession& session) {
    if (session.departedAtMs != 0) {
        departed_.insert(session.tokenHash, session);
        return;
    }
    if (!sessions_.contains(session.tokenHash))
        ++classSizes_[session.classCode];
    sessions_.insert(session.tokenHash, session);
}

ApiReply ClassService::login(const QByteArray& formBody, const QString& peer) {
    const qint64 now = now_();
    if (!failedStudentLogins_.allows(peer, now))
        return failure(429, QStringLiteral("Te veel verkeerde klascodes: probeer het over enkele "
                                           "minuten opnieuw"));
    if (!studentLogins_.allows(peer, now))
        return failure(429, QStringLiteral("Te veel aanmeldingen vanaf dit adres: probeer het over "
                                           "enkele minuten opnieuw"));
    const auto form = decodeForm(formBody);
    if (!form)
        return malformed(QStringLiteral("het formulier is geen geldige UTF-8"));
    // The name as it is kept and shown: what a padded or disguised one cleans up to.
    const QString name = cleanedName(form->value("student_name"));
    const QString code = form->value("class_code").trimmed();
    if (name.isEmpty() || code.isEmpty())
        return malformed(QStringLiteral("student_name en class_code zijn verplicht"));
    if (name.size() > maxNameLength || form->value("device_info").size() > 500 ||
        form->value("device_id").size() > 200)
        return malformed(QStringLiteral("een veld is te lang"));

    const auto record = classes_.find(code);
    if (!record) {
        failedStudentLogins_.record(peer, now);
        return failure(404, QStringLiteral("Onbekende klascode: controleer de code"));
    }

    if (classSizes_.value(record->code) >= maxStudents_)
        return failure(403, QStringLiteral("Deze klas is vol: er kunnen geen leerlingen meer bij "
                                           "(hoogstens %1). Vraag je leerkracht om hulp.")
                                .arg(maxStudents_));

    const QString token = newToken_();
    const StudentSession session{tokenHash(token),
                                 record->code,
                                 name,
                                 form->value("device_id"),
                                 cleanedName(form->value("device_info")),
                                 now,
                                 now,
                                 {},
                                 0};
    if (!store_.saveSession(session))
        return failure(503, QStringLiteral("De klasdienst kan de sessie nu niet bewaren"));
    studentLogins_.record(peer, now);
    addSession(session);
    logEvent(eventNow(session.classCode, LessonEvent::Kind::Joined, name));
    // The computer is back: its new row replaces the one of its departure.
    QStringList returned;
    for (const StudentSession& left : std::as_const(departed_))
        if (!session.deviceId.isEmpty() && left.deviceId == session.deviceId &&
            left.classCode == session.classCode)
            returned << left.tokenHash;
    endSessions(returned);
    refreshDisplayName(record->teacherId);
    return {200, QJsonObject{
                     {"success", true},
                     {"session_token", token},
                     {"student_info", QJsonObject{{"name", name}}},
                     {"class_info", classInfo(*record)},
                 }};
}

ApiReply ClassService::expired() {
    return failure(401, QStringLiteral("Sessie niet gevonden"));
}

ApiReply ClassService::status(const QString& token) {
    if (token.isEmpty())
        return malformed(QStringLiteral("token ontbreekt"));
    const auto session = sessions_.find(tokenHash(token));
    if (session == sessions_.end())
        return expired();
    const qint64 now = now_();
    if (now - session->lastSeenMs > sessionLifetimeMs) {
        endSessions({session.key()});
        return expired();
    }
    const auto record = classes_.find(session->classCode);
    if (!record)
        return failure(401, QStringLiteral("Klas bestaat niet meer"));
    session->lastSeenMs = now;
    polledSinceFlush_.insert(session.key());
    if (!lostContact_.isEmpty() && lostContact_.remove(session.key()))
        logEvent(
            eventNow(session->classCode, LessonEvent::Kind::ContactBack, session->studentName));
    const QJsonObject classJson = record->toJson();
    return {200, QJsonObject{
                     {"success", true},
                     {"is_blocked", record->isBlocked},
                     {"domains", classJson.value("domains")},
                     {"ips", classJson.value("ips")},
                     {"ip_ranges", classJson.value("ip_ranges")},
                     {"class_info", classInfo(*record)},
                 }};
}

ApiReply ClassService::logout(const QByteArray& jsonBody) {
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody);
    const QJsonValue token = document.object().value("token");
    if (!document.isObject() || !token.isString() || token.toString().isEmpty())
        return malformed(QStringLiteral("verwacht {\"token\": \"...\"}"));
    const QString key = tokenHash(token.toString());
    if (!sessions_.contains(key))
        return failure(404, QStringLiteral("Sessie niet gevonden"));
    if (!leave(key))
        return failure(503, QStringLiteral("De klasdienst kan de sessie nu niet beëindigen"));
    return {200, QJsonObject{{"success", true}}};
}

ApiReply ClassService::updateClass(const QString& code, const QByteArray& jsonBody) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return malformed(QStringLiteral("verwacht een JSON-object met klasvelden"));
    ClassStore changed = classes_;
    const QString error = changed.update(code, document.object());
    if (!error.isEmpty())
        return malformed(error);
    ClassRecord record = *changed.find(code);
    if (!record.teacherAccount.isEmpty()) {
        const auto owner = store_.teacherByName(record.teacherAccount);
        if (!owner)
            return malformed(QStringLiteral("no teacher account '%1'").arg(record.teacherAccount));
        record.teacherId = owner->id;
    }
    if (record.createdAtMs == 0)
        record.createdAtMs = now_();
    if (!store_.saveClass(record))
        return failure(503, QStringLiteral("the class could not be stored"));
    const auto before = classes_.find(record.code);
    if (record.isBlocked != (before && before->isBlocked))
        logSwitch(record.code, record.isBlocked, {});  // by the administrator
    classes_.put(record);
    refreshDisplayName(record.teacherId);
    return {200, QJsonObject{{"success", true}, {"class", record.toJson()}}};
}

bool ClassService::endSessions(const QStringList& tokenHashes) {
    if (tokenHashes.isEmpty())
        return true;
    if (!store_.deleteSessions(tokenHashes))
        return false;
    for (const QString& hash : tokenHashes) forget(hash);
    return true;
}

void ClassService::forget(const QString& key) {
    if (const auto session = sessions_.constFind(key); session != sessions_.cend()) {
        if (--classSizes_[session->classCode] <= 0)
            classSizes_.remove(session->classCode);
        sessions_.erase(session);
    }
    departed_.remove(key);
    polledSinceFlush_.remove(key);
    lostContact_.remove(key);
}

int ClassService::flushLastSeen() {
    const qint64 now = now_();
    QStringList stale;
    for (auto it = sessions_.cbegin(); it != sessions_.cend(); ++it)
        if (now - it->lastSeenMs > sessionLifetimeMs)
            stale << it.key();
    for (auto it = departed_.cbegin(); it != departed_.cend(); ++it)
        if (now - it->departedAtMs > sessionLifetimeMs)
            stale << it.key();
    endSessions(stale);

    QList<QPair<QString, qint64>> lastSeen;
    for (const QString& hash : std::as_const(polledSinceFlush_))
        if (const auto it = sessions_.constFind(hash); it != sessions_.cend())
            lastSeen.append({hash, it->lastSeenMs});
    if (lastSeen.isEmpty() || !store_.saveLastSeen(lastSeen))
        return 0;
    polledSinceFlush_.clear();
    return static_cast<int>(lastSeen.size());
}

}  // namespace kt::service
