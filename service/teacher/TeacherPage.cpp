#include "teacher/TeacherPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include "classes/ComputerStates.h"
#include "classes/HttpReplies.h"
#include "http/HeadCookie.h"
#include "http/JsonBody.h"
#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

using Method = QHttpServerRequest::Method;

QHttpServerResponse json(int status, const QJsonObject& body) {
    QHttpServerResponse response(body, static_cast<QHttpServerResponse::StatusCode>(status));
    response.setHeader("Cache-Control", "no-store");
    return response;
}

QHttpServerResponse error(int status, const QString& text) {
    return json(status, failure(status, text).body);
}

// A change that did not reach the database is not held in memory either.
QString notSaved() {
    return QStringLiteral(
        "De database is even niet bereikbaar: je wijziging is niet bewaard. Probeer het zo "
        "opnieuw.");
}

QHttpServerResponse notFound() {
    return error(404, QStringLiteral("Niet gevonden"));
}

QHttpServerResponse classNotFound() {
    // Someone else's class looks exactly like one that does not exist.
    return error(404, QStringLiteral("Klas niet gevonden"));
}

QHttpServerResponse ok(QJsonObject body = {}) {
    body.insert("success", true);
    return json(200, body);
}

QByteArray cookieOf(const QHttpServerRequest& request, const char* name) {
    return cookieValue(request.value("Cookie"), name);
}

QString sessionCookieOf(const QHttpServerRequest& request) {
    return QString::fromLatin1(cookieOf(request, TeacherPage::cookieName));
}

QByteArray cookieHeader(const char* name, const QByteArray& value, qint64 maxAgeMs) {
    return QByteArray(name) + '=' + value +
           "; Path=/leerkracht/; Max-Age=" + QByteArray::number(maxAgeMs / 1000) +
           "; HttpOnly; Secure; SameSite=Strict";
}

QByteArray sessionCookieHeader(const QString& value, qint64 maxAgeMs) {
    return cookieHeader(TeacherPage::cookieName, value.toLatin1(), maxAgeMs);
}

// The body of a change: a JSON object, or nothing.
std::optional<QJsonObject> jsonBody(const QHttpServerRequest& request) {
    return jsonObjectBody(request.value("Content-Type"), request.body());
}

QJsonObject sessionJson(const TeacherSession& session) {
    return {{"name", session.name},
            {"display_name", session.displayName},
            {"csrf", session.csrf},
            {"must_change_password", session.mustChangePassword}};
}

QString trimmedField(const QJsonObject& body, const char* name) {
    return body.value(QLatin1String(name)).toString().simplified();
}

}  // namespace

TeacherPage::TeacherPage(ClassRegister& classes, TeacherAccounts& teachers)
    : classes_(classes), teacherClasses_(classes), teachers_(teachers) {}

bool TeacherPage::isPagePath(const QString& path) {
    return path == "/leerkracht" || path.startsWith("/leerkracht/");
}

void TeacherPage::call(const QHttpServerRequest& request, Access access, const Reply& reply,
                       const Endpoint& endpoint) {
    if (auto answer = admitted(request, access, reply, endpoint))
        reply(std::move(*answer));
}

TeacherPage::Answer TeacherPage::admitted(const QHttpServerRequest& request, Access access,
                                          const Reply& reply, const Endpoint& endpoint) {
    Call call{request, {}, {}, reply};
    if (access == Access::Anyone)
        return endpoint(call);
    const auto teacher =
        teachers_.session(sessionCookieOf(request), request.remoteAddress().toString());
    if (!teacher)
        return error(401, QStringLiteral("Niet aangemeld of sessie verlopen: meld je opnieuw aan"));
    call.teacher = *teacher;
    if (request.method() == Method::Post) {
        if (request.value("X-CSRF-Token") != teacher->csrf.toLatin1())
            return error(403, QStringLiteral("Het CSRF-token ontbreekt of klopt niet: herlaad de "
                                             "pagina"));
        const auto body = jsonBody(request);
        if (!body)
            return error(400, QStringLiteral("Verwacht een JSON-object"));
        call.body = *body;
    }
    if (access == Access::OwnPassword && teacher->mustChangePassword)
        return error(403, QStringLiteral("Kies eerst een nieuw wachtwoord"));
    return endpoint(call);
}

void TeacherPage::answerUnrouted(const QHttpServerRequest& request, const Reply& reply) {
    if (!request.url().path().startsWith("/leerkracht/api/"))
        return reply(notFound());
    if (request.method() != Method::Get && request.method() != Method::Post)
        return reply(error(405, QStringLiteral("Methode niet toegestaan")));
    call(request, Access::OwnPassword, reply, [this](const Call& call) -> Answer {
        // Every path under classes/CODE/ of a class not the teacher's says so first.
        const QStringList path = call.request.url().path().split('/').mid(3);
        if (path.size() > 1 && path.first() == "classes" &&
            !teacherClasses_.classOf(call.teacher.teacherId, path.at(1)))
            return classNotFound();
        return notFound();
    });
}

QHttpServerResponse TeacherPage::file(const QString& name, const QByteArray& type) {
    QFile file(QStringLiteral(":/leerkracht/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return notFound();
    QHttpServerResponse response(type, file.readAll());
    response.setHeader("Content-Security-Policy",
                       "default-src 'self'; frame-ancestors 'none'; form-action 'self'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-cache");
    return response;
}

QHttpServerResponse TeacherPage::toPage() {
    QHttpServerResponse moved(QHttpServerResponse::StatusCode::MovedPermanently);
    moved.setHeader("Location", "/leerkracht/");
    return moved;
}

namespace {

QHttpServerResponse tooEarly(qint64 waitMs) {
    const qint64 seconds = (waitMs + 999) / 1000;
    QHttpServerResponse response =
        error(429, QStringLiteral("Te veel mislukte pogingen: probeer het over %1 opnieuw")
                       .arg(seconds == 1 ? QStringLiteral("1 seconde")
                                         : QStringLiteral("%1 seconden").arg(seconds)));
    response.setHeader("Retry-After", QByteArray::number(seconds));
    return response;
}

QHttpServerResponse loginReply(const TeacherLogin& result) {
    switch (result.outcome) {
        case TeacherLogin::Outcome::LoggedIn: {
            QHttpServerResponse response = ok(sessionJson(result.session));
            response.setHeader(
                "Set-Cookie", sessionCookieHeader(result.session.cookie, limits::teacherSessionMs));
            if (!result.deviceCookie.isEmpty())
                response.addHeader("Set-Cookie",
                                   cookieHeader(TeacherPage::deviceCookieName, result.deviceCookie,
                                                limits::deviceCookieMs));
            return response;
        }
        case TeacherLogin::Outcome::WrongPassword:
            return error(401, QStringLiteral("Naam of wachtwoord klopt niet"));
        case TeacherLogin::Outcome::TooEarly:
            return tooEarly(result.retryAfterMs);
        case TeacherLogin::Outcome::Failed:
            break;
    }
    return error(500, QStringLiteral("Aanmelden lukt nu niet"));
}

}  // namespace

TeacherPage::Answer TeacherPage::login(const Call& call) {
    const auto body = jsonBody(call.request);
    if (!body || !body->value("name").isString() || !body->value("password").isString())
        return error(400, QStringLiteral("Verwacht een naam en een wachtwoord"));
    teachers_.login(
        body->value("name").toString(), body->value("password").toString(),
        call.request.remoteAddress().toString(),
        cookieOf(call.request, TeacherPage::deviceCookieName),
        [reply = call.reply](const TeacherLogin& result) { reply(loginReply(result)); });
    return std::nullopt;
}

TeacherPage::Answer TeacherPage::session(const Call& call) {
    return ok(sessionJson(call.teacher));
}

TeacherPage::Answer TeacherPage::logout(const Call& call) {
    teachers_.logout(call.teacher.cookie);
    QHttpServerResponse response = ok();
    response.setHeader("Set-Cookie", sessionCookieHeader(QString(), 0));  // the device's stays
    return response;
}

TeacherPage::Answer TeacherPage::changePassword(const Call& call) {
    teachers_.changePassword(
        call.teacher.teacherId, call.body.value("password").toString(),
        [reply = call.reply](bool changed) {
            reply(changed ? ok()
                          : error(400, QStringLiteral("Kies een wachtwoord van minstens %1 tekens")
                                           .arg(limits::minPasswordLength)));
        });
    return std::nullopt;
}

TeacherPage::Answer TeacherPage::setDisplayName(const Call& call) {
    const auto shown = TeacherAccounts::displayNameFrom(call.body.value("display_name").toString());
    if (!shown)
        return error(400, QStringLiteral("Geef de naam die leerlingen zien (hoogstens %1 tekens)")
                              .arg(limits::displayNameLength));
    if (!teachers_.setDisplayName(call.teacher.teacherId, *shown))
        return error(503, QStringLiteral("De naam kon niet bewaard worden"));
    classes_.setDisplayName(call.teacher.teacherId, *shown);
    return ok({{"display_name", *shown}});
}

QJsonObject TeacherPage::classDetails(const ClassRecord& record) const {
    const qint64 now = classes_.now();
    QJsonArray students;
    int blocked = 0;
    for (const ComputerView& view :
         computerViews(classes_.studentsOf(record.code), record.isBlocked, now)) {
        const StudentSession& session = view.session;
        blocked += view.state == ComputerState::Blocked;
        students.append(QJsonObject{{"id", TeacherClasses::studentId(session)},
                                    {"name", session.studentName},
                                    {"device", session.deviceInfo},
                                    {"joined_at", session.joinedAtMs},
                                    {"last_seen", session.lastSeenMs},
                                    {"state", computerStateName(view.state)},
                                    {"since", view.sinceMs},
                                    {"error", session.report.error},
                                    {"hosts", session.report.hosts},
                                    {"rules", session.report.rules},
                                    {"attention", view.needsAttention}});
    }
    return {{"code", record.code},
            {"class_name", record.className},
            {"school_name", record.schoolName},
            {"is_blocked", record.isBlocked},
            {"domains", QJsonArray::fromStringList(record.domains)},
            {"students", students},
            {"blocked_count", blocked},
            {"now", now}};
}

TeacherPage::Answer TeacherPage::listClasses(const Call& call) {
    QJsonArray list;
    for (const ClassRecord& record : teacherClasses_.classesOf(call.teacher.teacherId))
        list.append(QJsonObject{{"code", record.code},
                                {"class_name", record.className},
                                {"school_name", record.schoolName},
                                {"is_blocked", record.isBlocked}});
    return ok({{"classes", list}});
}

TeacherPage::Answer TeacherPage::createClass(const Call& call) {
    const QString name = trimmedField(call.body, "class_name");
    if (name.isEmpty())
        return error(400, QStringLiteral("Geef de klas een naam (hoogstens %1 tekens)")
                              .arg(limits::classNameLength));
    return entered(call,
                   teacherClasses_.createClass(call.teacher.teacherId, name,
                                               trimmedField(call.body, "school_name"),
                                               call.request.url().host()),
                   QStringLiteral("De klas kon niet bewaard worden"));
}

TeacherPage::Answer TeacherPage::showClass(const Call& call, const QString& code) {
    const auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    QJsonObject details = classDetails(*record);
    if (!call.request.query().hasQueryItem("day"))
        return ok({{"class", details}});
    LogDay day;
    auto events = dayLog(call, *record, limits::eventsOnPage, day);
    if (auto* refused = std::get_if<QHttpServerResponse>(&events))
        return std::move(*refused);
    QJsonArray log;
    const auto& shown = std::get<QList<LessonEvent>>(events);
    for (auto event = shown.crbegin(); event != shown.crend(); ++event)
        log.append(QJsonObject{
            {"at", event->atMs}, {"student", event->student}, {"text", eventText(*event)}});
    details.insert("log", log);
    return ok({{"class", details}});
}

TeacherPage::Answer TeacherPage::lessonLogFile(const Call& call, const QString& code) {
    const auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    LogDay day;
    auto events = dayLog(call, *record, limits::eventsInFile, day);
    if (auto* refused = std::get_if<QHttpServerResponse>(&events))
        return std::move(*refused);
    QHttpServerResponse file("text/csv; charset=utf-8",
                             lessonLogCsv(std::get<QList<LessonEvent>>(events), day.zone));
    file.setHeader("Content-Disposition", "attachment; filename=\"logboek-" +
                                              record->code.toLatin1() + '-' +
                                              day.date.toString(Qt::ISODate).toLatin1() + ".csv\"");
    file.setHeader("Cache-Control", "no-store");
    file.setHeader("X-Content-Type-Options", "nosniff");
    return file;
}

std::variant<QList<LessonEvent>, QHttpServerResponse> TeacherPage::dayLog(const Call& call,
                                                                          const ClassRecord& record,
                                                                          int limit,
                                                                          LogDay& day) const {
    const QUrlQuery query = call.request.query();
    const auto asked = logDay(query.queryItemValue("day"), query.queryItemValue("tz"));
    if (!asked)
        return error(400, QStringLiteral("Geef de dag als JJJJ-MM-DD"));
    day = *asked;
    return teacherClasses_
        .lessonLog(call.teacher.teacherId, record.code, day.fromMs, day.toMs, limit)
        .value_or(QList<LessonEvent>());
}

QHttpServerResponse TeacherPage::changed(const Call& call, const QString& code, bool saved) const {
    if (!saved)
        return error(503, notSaved());
    return ok({{"class", classDetails(*teacherClasses_.classOf(call.teacher.teacherId, code))}});
}

QHttpServerResponse TeacherPage::entered(const Call& call, const ClassEntry& entry,
                                         const QString& notStored) const {
    switch (entry.outcome) {
        case ClassEntry::Outcome::Entered:
            return changed(call, entry.record.code, true);
        case ClassEntry::Outcome::Refused:
            return error(entry.refusal.duplicate ? 409 : 400, entry.refusal.text);
        case ClassEntry::Outcome::NotStored:
            break;
    }
    return error(503, notStored);
}

TeacherPage::Answer TeacherPage::switchBlocking(const Call& call, const QString& code) {
    auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    if (!call.body.value("is_blocked").isBool())
        return error(400, QStringLiteral("is_blocked moet true of false zijn"));
    return entered(call,
                   teacherClasses_.switchBlocking(call.teacher.teacherId, record->code,
                                                  call.body.value("is_blocked").toBool(),
                                                  call.teacher.name, call.request.url().host()),
                   notSaved());
}

TeacherPage::Answer TeacherPage::changeDomains(const Call& call, const QString& code) {
    auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    const QString add = call.body.value("add").toString().trimmed().toLower();
    const QString remove = call.body.value("remove").toString().trimmed().toLower();
    if (!add.isEmpty())
        record->domains << add;  // checked on its way in, with the rest of the class
    else if (remove.isEmpty())
        return error(400, QStringLiteral("Verwacht add of remove"));
    else if (record->domains.removeAll(remove) == 0)
        return error(404, QStringLiteral("%1 staat niet in de lijst").arg(remove));
    return entered(
        call,
        teacherClasses_.saveClassOf(call.teacher.teacherId, *record, call.request.url().host()),
        notSaved());
}

TeacherPage::Answer TeacherPage::removeStudent(const Call& call, const QString& code,
                                               const QString& studentId) {
    const auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    const quint64 failedBefore = failedStatements;
    if (!teacherClasses_.removeStudent(call.teacher.teacherId, record->code, studentId,
                                       call.teacher.name))
        return failedStatements != failedBefore
                   ? error(503, notSaved())
                   : error(404, QStringLiteral("Leerling niet gevonden"));
    return changed(call, record->code, true);
}

TeacherPage::Answer TeacherPage::endLesson(const Call& call, const QString& code) {
    const auto record = teacherClasses_.classOf(call.teacher.teacherId, code);
    if (!record)
        return classNotFound();
    return changed(
        call, record->code,
        teacherClasses_.endLesson(call.teacher.teacherId, record->code, call.teacher.name));
}

}  // namespace kt::service
