#include "ClassService.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include "FormDecoding.h"

namespace kt::service {
namespace {

ApiReply failure(int status, const QString& error) {
    return {status, QJsonObject{{"success", false}, {"error", error}}};
}

ApiReply malformed(const QString& what) {
    return failure(400, QStringLiteral("Ongeldig verzoek: %1").arg(what));
}

}  // namespace

ClassService::ClassService(ClassStore classes, TokenSource newToken)
    : classes_(std::move(classes)), newToken_(std::move(newToken)) {}

QString ClassService::randomToken() {
    QByteArray bytes(32, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                          bytes.size() / sizeof(quint32));
    return QString::fromLatin1(bytes.toHex());
}

ApiReply ClassService::login(const QByteArray& formBody) {
    const auto form = decodeForm(formBody);
    if (!form)
        return malformed(QStringLiteral("het formulier is geen geldige UTF-8"));
    const QString name = form->value("student_name").trimmed();
    const QString code = form->value("class_code").trimmed();
    if (name.isEmpty() || code.isEmpty())
        return malformed(QStringLiteral("student_name en class_code zijn verplicht"));

    const auto record = classes_.find(code);
    if (!record)
        return failure(404, QStringLiteral("Onbekende klascode: controleer de code"));

    const QString token = newToken_();
    sessions_.insert(token, Session{record->code, form->value("student_name"),
                                    form->value("device_id"), form->value("device_info")});
    return {200, QJsonObject{
                     {"success", true},
                     {"session_token", token},
                     {"student_info", QJsonObject{{"name", form->value("student_name")}}},
                     {"class_info", QJsonObject{{"class_name", record->className},
                                                {"teacher_name", record->teacherName},
                                                {"school_name", record->schoolName}}},
                 }};
}

ApiReply ClassService::status(const QString& token) const {
    if (token.isEmpty())
        return malformed(QStringLiteral("token ontbreekt"));
    const auto session = sessions_.constFind(token);
    if (session == sessions_.constEnd())
        return failure(401, QStringLiteral("Sessie niet gevonden"));
    const auto record = classes_.find(session->classCode);
    if (!record)
        return failure(401, QStringLiteral("Klas bestaat niet meer"));
    const QJsonObject classJson = record->toJson();
    return {200, QJsonObject{
                     {"success", true},
                     {"is_blocked", record->isBlocked},
                     {"domains", classJson.value("domains")},
                     {"ips", classJson.value("ips")},
                     {"ip_ranges", classJson.value("ip_ranges")},
                     {"class_info", QJsonObject{{"class_name", record->className},
                                                {"teacher_name", record->teacherName},
                                                {"school_name", record->schoolName}}},
                 }};
}

ApiReply ClassService::logout(const QByteArray& jsonBody) {
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody);
    const QJsonValue token = document.object().value("token");
    if (!document.isObject() || !token.isString() || token.toString().isEmpty())
        return malformed(QStringLiteral("verwacht {\"token\": \"...\"}"));
    if (sessions_.remove(token.toString()) == 0)
        return failure(404, QStringLiteral("Sessie niet gevonden"));
    return {200, QJsonObject{{"success", true}}};
}

ApiReply ClassService::updateClass(const QString& code, const QByteArray& jsonBody) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return malformed(QStringLiteral("verwacht een JSON-object met klasvelden"));
    const QString error = classes_.update(code, document.object());
    if (!error.isEmpty())
        return malformed(error);
    return {200, QJsonObject{{"success", true}, {"class", classes_.find(code)->toJson()}}};
}

}  // namespace kt::service
