#include "TeacherPage.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include "HttpReplies.h"
#include "JsonBody.h"
#include "blocking/Validation.h"

namespace kt::service {
namespace {

using Method = QHttpServerRequest::Method;
constexpr qint64 onlineWithinMs = 15000;

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

QString cookieOf(const QHttpServerRequest& request) {
    const QByteArray prefix = QByteArray(TeacherPage::cookieName) + '=';
    for (const QByteArray& part : request.value("Cookie").split(';')) {
        const QByteArray trimmed = part.trimmed();
        if (trimmed.startsWith(prefix))
            return QString::fromLatin1(trimmed.mid(prefix.size()));
    }
    return {};
}

QByteArray sessionCookie(const QString& value, qint64 maxAgeSeconds) {
    return QByteArray(TeacherPage::cookieName) + '=' + value.toLatin1() +
           "; Path=/leerkracht/; Max-Age=" + QByteArray::number(maxAgeSeconds) +
           "; HttpOnly; Secure; SameSite=Strict";
}

// The body of a change: a JSON object, or nothing.
std::optional<QJsonObject> jsonBody(const QHttpServerRequest& request) {
    return jsonObjectBody(request.value("Content-Type"), request.body());
}

QJsonObject sessionJson(const TeacherSession& session) {
    return {{"name", session.name},
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

QHttpServerResponse loginReply(const TeacherLogin& result) {
    switch (result.outcome) {
        case TeacherLogin::Outcome::LoggedIn: {
            QHttpServerResponse response = ok(sessionJson(result.session));
            response.setHeader(
                "Set-Cookie",
                sessionCookie(result.session.cookie, TeacherAccounts::sessionLifetimeMs / 1000));
            return response;
        }
        case TeacherLogin::Outcome::WrongPassword:
            return error(401, QStringLiteral("Naam of wachtwoord klopt niet"));
        case TeacherLogin::Outcome::TooManyAttempts:
            return error(429, QStringLiteral("Te veel pogingen: probeer het over een kwartier "
                                             "opnieuw"));
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
        response.setHeader("Set-Cookie", sessionCookie(QString(), 0));
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
    if (path.value(0) == "classes")
        return classApi(request, *teacher, path.mid(1), *body);
    return error(404, QStringLiteral("Niet gevonden"));
}

QJsonObject TeacherPage::classDetails(const ClassRecord& record) const {
    const qint64 now = classes_.now();
    QJsonArray students;
    for (const StudentSession& session : classes_.studentsOf(record.code))
        students.append(QJsonObject{{"id", ClassService::studentId(session)},
                                    {"name", session.studentName},
                                    {"device", session.deviceInfo},
                                    {"joined_at", session.joinedAtMs},
                                    {"last_seen", session.lastSeenMs},
                                    {"online", now - session.lastSeenMs <= onlineWithinMs}});
    return {{"code", record.code},
            {"class_name", record.className},
            {"school_name", record.schoolName},
            {"is_blocked", record.isBlocked},
            {"domains", QJsonArray::fromStringList(record.domains)},
            {"students", students},
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
        const auto made = classes_.createClass(teacher.teacherId, teacher.name, name, school);
        if (!made)
            return error(503, QStringLiteral("De klas kon niet bewaard worden"));
        return ok({{"class", classDetails(*made)}});
    }

    auto record = classes_.classOf(teacher.teacherId, path.first());
    if (!record)  // someone else's class looks exactly like one that does not exist
        return error(404, QStringLiteral("Klas niet gevonden"));
    const QStringList action = path.mid(1);
    if (isGet && action.isEmpty())
        return ok({{"class", classDetails(*record)}});
    if (isGet)
        return error(404, QStringLiteral("Niet gevonden"));

    bool saved = false;
    if (action == QStringList{"blocked"}) {
        if (!body.value("is_blocked").isBool())
            return error(400, QStringLiteral("is_blocked moet true of false zijn"));
        record->isBlocked = body.value("is_blocked").toBool();
        saved = classes_.saveClassOf(teacher.teacherId, *record);
    } else if (action == QStringList{"domains"}) {
        const QString add = body.value("add").toString().trimmed().toLower();
        const QString remove = body.value("remove").toString().trimmed().toLower();
        if (!add.isEmpty()) {
            if (!isValidHostName(add.toStdString()))
                return error(400, QStringLiteral("'%1' is geen geldige hostnaam").arg(add));
            if (record->domains.contains(add))
                return error(409, QStringLiteral("%1 staat al in de lijst").arg(add));
            if (record->domains.size() >= 500)
                return error(400, QStringLiteral("De lijst is vol (500 namen)"));
            record->domains << add;
        } else if (!remove.isEmpty()) {
            if (record->domains.removeAll(remove) == 0)
                return error(404, QStringLiteral("%1 staat niet in de lijst").arg(remove));
        } else {
            return error(400, QStringLiteral("Verwacht add of remove"));
        }
        saved = classes_.saveClassOf(teacher.teacherId, *record);
    } else if (action.size() == 3 && action.at(0) == "students" && action.at(2) == "remove") {
        if (!classes_.removeStudent(teacher.teacherId, record->code, action.at(1)))
            return error(404, QStringLiteral("Leerling niet gevonden"));
        saved = true;
    } else if (action == QStringList{"end"}) {
        saved = classes_.endLesson(teacher.teacherId, record->code);
    } else {
        return error(404, QStringLiteral("Niet gevonden"));
    }
    if (!saved)
        return error(503, QStringLiteral("De wijziging kon niet bewaard worden"));
    return ok({{"class", classDetails(*classes_.classOf(teacher.teacherId, record->code))}});
}

}  // namespace kt::service
