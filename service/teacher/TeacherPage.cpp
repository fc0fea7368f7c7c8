#include "teacher/TeacherPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include "blocking/RefusedTargets.h"
#include "blocking/Validation.h"
#include "classes/ComputerStates.h"
#include "classes/HttpReplies.h"
#include "classes/LessonLog.h"
#include "http/JsonBody.h"

namespace kt::service {
namespace {

using Method = QHttpServerRequest::Method;
// The page shows the newest events of the day; the CSV file holds the whole day.
constexpr int eventsOnPage = 200;
constexpr int eventsInFile = 100000;

QHttpServerResponse json(int status, const QJsonObject& body) {
    QHttpServerResponse response(body, static_cast<QHttpServerResponse::StatusCode>(status));
    response.setHeader("Cache-Control", "no-store");
    return response;
}

QHttpServerResponse error(int status, const QString& text) {
    return json(status, failure(status, text).body);
}

QHttpServerResponse ok(QJsonObject body = {}) {
    body.insert("success", true);
    return json(200, body);
}

QHttpServerResponse staticFile(const QString& name, const QByteArray& type) {
    QFile file(QStringLiteral(":/leerkracht/") + name);
    if (!file.open(QIODevice::ReadOnly))
        return error(404, QStringLiteral("Niet gevonden"));
    QHttpServerResponse response(type, file.readAll());
    response.setHeader("Content-Security-Policy",
                       "default-src 'self'; frame-ancestors 'none'; form-action 'self'");
    response.setHeader("X-Content-Type-Options", "nosniff");
    response.setHeader("Referrer-Policy", "no-referrer");
    response.setHeader("Cache-Control", "no-cache");
    return response;
}

QByteArray cookieOf(const QHttpServerRequest& request, const char* name) {
    const QByteArray prefix = QByteArray(name) + '=';
    for (const QByteArray& part : request.value("Cookie").split(';')) {
        const QByteArray trimmed = part.trimmed();
        if (trimmed.startsWith(prefix))
            return trimmed.mid(prefix.size());
    }
    return {};
}

QString cookieOf(const QHttpServerRequest& request) {
    return QString::fromLatin1(cookieOf(request, TeacherPage::cookieName));
}

QByteArray cookieHeader(const char* name, const QByteArray& value, qint64 maxAgeMs) {
    return QByteArray(name) + '=' + value +
           "; Path=/leerkracht/; Max-Age=" + QByteArray::number(maxAgeMs / 1000) +
           "; HttpOnly; Secure; SameSite=Strict";
}

QByteArray sessionCookie(const QString& value, qint64 maxAgeMs) {
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

TeacherPage::TeacherPage(ClassService& classes, TeacherAccounts& teachers)
    : classes_(classes), teachers_(teachers) {}

bool TeacherPage::isPagePath(const QString& path) {
    return path == "/leerkracht" || path.startsWith("/leerkracht/");
}

void TeacherPage::handle(const QHttpServerRequest& request, const Reply& reply) {
    const QString path = request.url().path();
    if (!path.startsWith("/leerkracht/api/"))
        return reply(page(request));
    auto response = api(request, path.mid(int(sizeof("/leerkracht/api/")) - 1).split('/'), reply);
    if (response)
        reply(std::move(*response));
}

QHttpServerResponse TeacherPage::page(const QHttpServerRequest& request) {
    const QString path = request.url().path();
    if (request.method() == Method::Get) {
        if (path == "/leerkracht") {
            QHttpServerResponse moved(QHttpServerResponse::StatusCode::MovedPermanently);
            moved.setHeader("Location", "/leerkracht/");
            return moved;
        }
        if (path == "/leerkracht/")
            return staticFile("index.html", "text/html; charset=utf-8");
        if (path == "/leerkracht/app.js")
            return staticFile("app.js", "text/javascript; charset=utf-8");
        if (path == "/leerkracht/style.css")
            return staticFile("style.css", "text/css; charset=utf-8");
    }
    return error(404, QStringLiteral("Niet gevonden"));
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
            response.setHeader("Set-Cookie", sessionCookie(result.session.cookie,
                                                           TeacherAccounts::sessionLifetimeMs));
            if (!result.deviceCookie.isEmpty())
                response.addHeader("Set-Cookie",
                                   cookieHeader(TeacherPage::deviceCookieName, result.deviceCookie,
                                                TeacherAccounts::deviceCookieLifetimeMs));
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

std::optional<QHttpServerResponse> TeacherPage::login(const QHttpServerRequest& request,
                                                      const Reply& reply) {
    const auto body = jsonBody(request);
    if (!body || !body->value("name").isString() || !body->value("password").isString())
        return error(400, QStringLiteral("Verwacht een naam en een wachtwoord"));
    teachers_.login(body->value("name").toString(), body->value("password").toString(),
                    request.remoteAddress().toString(),
                    cookieOf(request, TeacherPage::deviceCookieName),
                    [reply](const TeacherLogin& result) { reply(loginReply(result)); });
    return std::nullopt;
}

std::optional<QHttpServerResponse> TeacherPage::api(const QHttpServerRequest& request,
                                                    const QStringList& path, const Reply& reply) {
    const bool isGet = request.method() == Method::Get;
    if (!isGet && request.method() != Method::Post)
        return error(405, QStringLiteral("Methode niet toegestaan"));
    if (path == QStringList{"login"} && !isGet)
        return login(request, reply);

    const QString cookie = cookieOf(request);
    const auto teacher = teachers_.session(cookie);
    if (!teacher)
        return error(401, QStringLiteral("Niet aangemeld of sessie verlopen: meld je opnieuw aan"));
    if (isGet && path == QStringList{"session"})
        return ok(sessionJson(*teacher));

    std::optional<QJsonObject> body = QJsonObject();
    if (!isGet) {
        if (request.value("X-CSRF-Token") != teacher->csrf.toLatin1())
            return error(403, QStringLiteral("Het CSRF-token ontbreekt of klopt niet: herlaad de "
                                             "pagina"));
        body = jsonBody(request);
        if (!body)
            return error(400, QStringLiteral("Verwacht een JSON-object"));
    }
    if (!isGet && path == QStringList{"logout"}) {
        teachers_.logout(cookie);
        QHttpServerResponse response = ok();
        response.setHeader("Set-Cookie", sessionCookie(QString(), 0));  // the device's stays
        return response;
    }
    if (!isGet && path == QStringList{"password"}) {
        teachers_.changePassword(cookie, body->value("password").toString(), [reply](bool changed) {
            reply(changed
                      ? ok()
                      : error(400, QStringLiteral("Kies een wachtwoord van minstens 10 tekens")));
        });
        return std::nullopt;
    }
    if (teacher->mustChangePassword)
        return error(403, QStringLiteral("Kies eerst een nieuw wachtwoord"));
    if (!isGet && path == QStringList{"display-name"}) {
        const auto shown = TeacherAccounts::displayNameFrom(body->value("display_name").toString());
        if (!shown)
            return error(400, QStringLiteral("Geef de naam die leerlingen zien (hoogstens 100 "
                                             "tekens)"));
        if (!teachers_.setDisplayName(teacher->teacherId, *shown))
            return error(503, QStringLiteral("De naam kon niet bewaard worden"));
        classes_.setDisplayName(teacher->teacherId, *shown);
        return ok({{"display_name", *shown}});
    }
    if (path.value(0) == "classes")
        return classApi(request, *teacher, path.mid(1), *body);
    return error(404, QStringLiteral("Niet gevonden"));
}

QJsonObject TeacherPage::classDetails(const ClassRecord& record) const {
    const qint64 now = classes_.now();
    QJsonArray students;
    int blocked = 0;
    for (const ComputerView& view :
         computerViews(classes_.studentsOf(record.code), record.isBlocked, now)) {
        const StudentSession& session = view.session;
        blocked += view.state == ComputerState::Blocked;
        students.append(QJsonObject{{"id", ClassService::studentId(session)},
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

QHttpServerResponse TeacherPage::classApi(const QHttpServerRequest& request,
                                          const TeacherSession& teacher, const QStringList& path,
                                          const QJsonObject& body) {
    const bool isGet = request.method() == Method::Get;
    if (path.isEmpty() && isGet) {
        QJsonArray list;
        for (const ClassRecord& record : classes_.classesOf(teacher.teacherId))
            list.append(QJsonObject{{"code", record.code},
                                    {"class_name", record.className},
                                    {"school_name", record.schoolName},
                                    {"is_blocked", record.isBlocked}});
        return ok({{"classes", list}});
    }
    if (path.isEmpty()) {
        const QString name = trimmedField(body, "class_name");
        const QString school = trimmedField(body, "school_name");
        if (name.isEmpty() || name.size() > 100 || school.size() > 100)
            return error(400, QStringLiteral("Geef de klas een naam (hoogstens 100 tekens)"));
        const auto made = classes_.createClass(teacher.teacherId, name, school);
        if (!made)
            return error(503, QStringLiteral("De klas kon niet bewaard worden"));
        return ok({{"class", classDetails(*made)}});
    }

    auto record = classes_.classOf(teacher.teacherId, path.first());
    if (!record)  // someone else's class looks exactly like one that does not exist
        return error(404, QStringLiteral("Klas niet gevonden"));
    const QStringList action = path.mid(1);
    if (isGet && (action.isEmpty() || action == QStringList{"log.csv"}))
        return lessonLog(request, teacher, *record, action.isEmpty());
    if (isGet)
        return error(404, QStringLiteral("Niet gevonden"));

    bool saved = false;
    if (action == QStringList{"blocked"}) {
        if (!body.value("is_blocked").isBool())
            return error(400, QStringLiteral("is_blocked moet true of false zijn"));
        saved = classes_.switchBlocking(teacher.teacherId, record->code,
                                        body.value("is_blocked").toBool(), teacher.name);
    } else if (action == QStringList{"domains"}) {
        if (auto refused = changeDomains(request, body, *record))
            return std::move(*refused);
        saved = classes_.saveClassOf(teacher.teacherId, *record);
    } else if (action.size() == 3 && action.at(0) == "students" && action.at(2) == "remove") {
        if (!classes_.removeStudent(teacher.teacherId, record->code, action.at(1), teacher.name))
            return error(404, QStringLiteral("Leerling niet gevonden"));
        saved = true;
    } else if (action == QStringList{"end"}) {
        saved = classes_.endLesson(teacher.teacherId, record->code, teacher.name);
    } else {
        return error(404, QStringLiteral("Niet gevonden"));
    }
    if (!saved)
        return error(503, QStringLiteral("De wijziging kon niet bewaard worden"));
    return ok({{"class", classDetails(*classes_.classOf(teacher.teacherId, record->code))}});
}

// The class with the day's lesson log (the newest events first), or the whole
// day as a CSV file. Without a day the class alone.
QHttpServerResponse TeacherPage::lessonLog(const QHttpServerRequest& request,
                                           const TeacherSession& teacher, const ClassRecord& record,
                                           bool onPage) {
    QJsonObject details = classDetails(record);
    const QUrlQuery query = request.query();
    if (onPage && !query.hasQueryItem("day"))
        return ok({{"class", details}});
    const auto day = logDay(query.queryItemValue("day"), query.queryItemValue("tz"));
    if (!day)
        return error(400, QStringLiteral("Geef de dag als JJJJ-MM-DD"));
    const auto events = classes_.lessonLog(teacher.teacherId, record.code, day->fromMs, day->toMs,
                                           onPage ? eventsOnPage : eventsInFile);
    if (!events)
        return error(404, QStringLiteral("Klas niet gevonden"));
    if (!onPage) {
        QHttpServerResponse file("text/csv; charset=utf-8", lessonLogCsv(*events, day->zone));
        file.setHeader("Content-Disposition",
                       "attachment; filename=\"logboek-" + record.code.toLatin1() + '-' +
                           day->date.toString(Qt::ISODate).toLatin1() + ".csv\"");
        file.setHeader("Cache-Control", "no-store");
        file.setHeader("X-Content-Type-Options", "nosniff");
        return file;
    }
    QJsonArray log;
    for (auto event = events->crbegin(); event != events->crend(); ++event)
        log.append(QJsonObject{
            {"at", event->atMs}, {"student", event->student}, {"text", eventText(*event)}});
    details.insert("log", log);
    return ok({{"class", details}});
}

namespace {

// Why a name is not blocked, as the application would refuse it.
QString refusalText(const QString& name, NameRefusal refusal) {
    switch (refusal) {
        case NameRefusal::None:
            break;
        case NameRefusal::NotAHostName:
            return QStringLiteral("'%1' is geen geldige hostnaam").arg(name);
        case NameRefusal::Address:
            return QStringLiteral(
                       "'%1' is een adres, geen naam: geef de naam van de dienst, "
                       "bijvoorbeeld chatgpt.com")
                .arg(name);
        case NameRefusal::ThisComputer:
            return QStringLiteral(
                       "'%1' is de computer van de leerling zelf: die blokkeren zou de "
                       "computer ontregelen")
                .arg(name);
        case NameRefusal::SingleLabel:
            return QStringLiteral(
                       "'%1' is geen volledige naam: geef een naam met een punt, "
                       "bijvoorbeeld chatgpt.com")
                .arg(name);
        case NameRefusal::LocalName:
            return QStringLiteral(
                       "'%1' is een naam van het lokale netwerk, geen dienst op het "
                       "internet")
                .arg(name);
        case NameRefusal::Protected:
            return QStringLiteral(
                       "'%1' is de klasdienst zelf: dan kon je de blokkering niet meer "
                       "uitzetten")
                .arg(name);
    }
    return {};
}

}  // namespace

std::optional<QHttpServerResponse> TeacherPage::changeDomains(const QHttpServerRequest& request,
                                                              const QJsonObject& body,
                                                              ClassRecord& record) {
    const QString add = body.value("add").toString().trimmed().toLower();
    const QString remove = body.value("remove").toString().trimmed().toLower();
    if (!add.isEmpty()) {
        // The students reach the service by the name the teacher uses for it.
        const ProtectedTargets service{{}, {request.url().host().toStdString()}};
        if (const NameRefusal refusal = nameRefusal(add.toStdString(), service);
            refusal != NameRefusal::None)
            return error(400, refusalText(add, refusal));
        if (record.domains.contains(add))
            return error(409, QStringLiteral("%1 staat al in de lijst").arg(add));
        if (record.domains.size() >= 500)
            return error(400, QStringLiteral("De lijst is vol (500 namen)"));
        record.domains << add;
    } else if (!remove.isEmpty()) {
        if (record.domains.removeAll(remove) == 0)
            return error(404, QStringLiteral("%1 staat niet in de lijst").arg(remove));
    } else {
        return error(400, QStringLiteral("Verwacht add of remove"));
    }
    return std::nullopt;
}

}  // namespace kt::service
