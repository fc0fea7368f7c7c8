#include "classes/StudentProtocol.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QRandomGenerator>

#include "http/FormDecoding.h"

namespace kt::service {
namespace {

ApiReply malformed(const QString& what) {
    return failure(400, QStringLiteral("Ongeldig verzoek: %1").arg(what));
}

// Made once: every poll passes it on in case its session is not held.
const ApiReply& sessionNotFound() {
    static const ApiReply reply = failure(401, QStringLiteral("Sessie niet gevonden"));
    return reply;
}

}  // namespace

StudentProtocol::StudentProtocol(ClassRegister& classes, int maxStudents)
    : classes_(classes),
      maxStudents_(maxStudents),
      wrongCodes_(limits::wrongCodesPerAddress, limits::loginWindowMs),
      logins_(limits::loginsPerAddress, limits::loginWindowMs),
      reports_(limits::reportsPerSession, limits::reportWindowMs),
      unknownTokens_(limits::unknownTokensPerAddress, limits::loginWindowMs) {}

QString StudentProtocol::tokenHash(const QString& token) {
    return QString::fromLatin1(
        QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString StudentProtocol::randomToken() {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / sizeof(quint32));
    return QString::fromLatin1(bytes.toHex());
}

ApiReply StudentProtocol::login(const QByteArray& formBody, const QString& peer) {
    const qint64 now = classes_.now();
    if (!wrongCodes_.allows(peer, now))
        return failure(429, QStringLiteral("Te veel verkeerde klascodes: probeer het over enkele "
                                           "minuten opnieuw"));
    if (!logins_.allows(peer, now))
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
    if (name.size() > limits::studentNameLength ||
        form->value("device_info").size() > limits::deviceInfoLength ||
        form->value("device_id").size() > limits::deviceIdLength)
        return malformed(QStringLiteral("een veld is te lang"));

    const auto record = classes_.find(code);
    if (!record) {
        wrongCodes_.record(peer, now);
        return failure(404, QStringLiteral("Onbekende klascode: controleer de code"));
    }

    if (classes_.classSize(record->code) >= maxStudents_)
        return failure(403, QStringLiteral("Deze klas is vol: er kunnen geen leerlingen meer bij "
                                           "(hoogstens %1). Vraag je leerkracht om hulp.")
                                .arg(maxStudents_));

    const QString token = randomToken();
    const StudentSession session{tokenHash(token),
                                 record->code,
                                 name,
                                 form->value("device_id"),
                                 cleanedName(form->value("device_info")),
                                 now,
                                 now,
                                 {},
                                 0};
    if (!classes_.join(session))
        return failure(503, QStringLiteral("De klasdienst kan de sessie nu niet bewaren"));
    logins_.record(peer, now);
    return {200, QJsonObject{
                     {"success", true},
                     {"session_token", token},
                     {"student_info", QJsonObject{{"name", name}}},
                     {"class_info", classes_.classInfo(*record)},
                 }};
}

std::optional<ApiReply> StudentProtocol::unservable(const QString& key, const QString& peer,
                                                    const ApiReply& notHeld, bool forPoll) {
    // A session held here (nearly every poll's) is served without the address's count.
    if (classes_.holds(key, false) == ClassRegister::Holding::Yes)
        return std::nullopt;
    const qint64 now = classes_.now();
    const auto answer = [forPoll](int status, const QString& text) {
        return forPoll ? plainFailure(status, text) : failure(status, text);
    };
    switch (classes_.holds(key, unknownTokens_.allows(peer, now))) {
        case ClassRegister::Holding::Yes:
            return std::nullopt;
        case ClassRegister::Holding::No:
            if (classes_.sharedStore())
                unknownTokens_.record(peer, now);
            return notHeld;
        case ClassRegister::Holding::NotLookedUp:
            return answer(429, QStringLiteral("Te veel onbekende sessies vanaf dit adres: probeer "
                                              "het zo opnieuw"));
        case ClassRegister::Holding::Unsure:
            break;
    }
    return answer(503,
                  QStringLiteral("De database is even niet bereikbaar: probeer het zo opnieuw"));
}

ApiReply StudentProtocol::status(const QString& token, const QString& peer) {
    if (token.isEmpty())
        return malformed(QStringLiteral("token ontbreekt"));
    return statusOf(tokenHash(token), peer);
}

ApiReply StudentProtocol::statusOf(const QString& key, const QString& peer) {
    if (auto refused = unservable(key, peer, sessionNotFound(), true))
        return *refused;
    const auto session = classes_.poll(key);
    if (!session)
        return sessionNotFound();
    auto cached = statusReplies_.constFind(session->classCode);
    if (cached == statusReplies_.cend() || cached->revision != classes_.revision()) {
        const auto record = classes_.find(session->classCode);
        if (!record)
            return failure(401, QStringLiteral("Klas bestaat niet meer"));
        cached = statusReplies_.insert(record->code, rendered(*record));
    }
    ApiReply reply(200, cached->body, cached->rendered);
    reply.wire = cached->wire;
    return reply;
}

StudentProtocol::RenderedStatus StudentProtocol::rendered(const ClassRecord& record) const {
    const QJsonObject classJson = record.toJson();
    const QJsonObject body{
        {"success", true},
        {"is_blocked", record.isBlocked},
        {"domains", classJson.value("domains")},
        {"ips", classJson.value("ips")},
        {"ip_ranges", classJson.value("ip_ranges")},
        {"class_info", classes_.classInfo(record)},
    };
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return {classes_.revision(), body, json, httpReplyBytes(200, "application/json", json)};
}

ApiReply StudentProtocol::logout(const QByteArray& jsonBody, const QString& peer) {
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody);
    const QJsonValue token = document.object().value("token");
    if (!document.isObject() || !token.isString() || token.toString().isEmpty())
        return malformed(QStringLiteral("verwacht {\"token\": \"...\"}"));
    const QString key = tokenHash(token.toString());
    if (auto refused =
            unservable(key, peer, failure(404, QStringLiteral("Sessie niet gevonden")), false))
        return *refused;
    if (!classes_.leave(key, maxStudents_))
        return failure(503, QStringLiteral("De klasdienst kan de sessie nu niet beëindigen"));
    return {200, QJsonObject{{"success", true}}};
}

}  // namespace kt::service
