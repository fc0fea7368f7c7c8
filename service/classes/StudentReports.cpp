// What the students' computers tell the service: their reports and their
// departures.
#include <QJsonDocument>
#include <cmath>
#include <variant>

#include "classes/ClassRegister.h"
#include "classes/StudentProtocol.h"
#include "http/FormDecoding.h"

namespace kt::service {
namespace {

constexpr double maxCount = 1'000'000;

ApiReply malformed(const QString& what) {
    return failure(400, QStringLiteral("Ongeldige melding: %1").arg(what));
}

// A whole number of names or rules in force; nothing for anything else.
std::optional<int> countOf(const QJsonValue& value) {
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > maxCount || number != std::floor(number))
        return std::nullopt;
    return static_cast<int>(number);
}

struct Report {
    QString token;
    bool quit = false;
    StudentReport said;
};

// The report as the application sends it, or why it is refused.
std::variant<Report, ApiReply> readReport(const QByteArray& jsonBody) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(jsonBody, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return malformed(QStringLiteral("verwacht een JSON-object"));
    const QJsonObject body = document.object();
    Report report;
    report.token = body.value("token").toString();
    if (report.token.isEmpty() || report.token.size() > limits::reportTokenLength)
        return malformed(QStringLiteral("token ontbreekt of is geen geldige tekst"));
    const QString state = body.value("state").toString();
    report.quit = state == "quit";
    const auto known = stateFromName(state);
    if (!report.quit && (!known || *known == ReportedState::None))
        return malformed(QStringLiteral("state moet blocked, free, failed of quit zijn"));
    report.said.state = known.value_or(ReportedState::None);
    const auto hosts = countOf(body.value("hosts"));
    const auto rules = countOf(body.value("rules"));
    if (!hosts || !rules)
        return malformed(
            QStringLiteral("hosts en rules moeten gehele getallen van 0 tot 1000000 "
                           "zijn"));
    report.said.hosts = *hosts;
    report.said.rules = *rules;
    const QJsonValue error = body.value("error");
    if (!error.isUndefined() && !error.isString())
        return malformed(QStringLiteral("error moet een tekst zijn"));
    if (report.said.state == ReportedState::Failed) {
        if (!error.isString())
            return malformed(QStringLiteral("een mislukte blokkering heeft een error"));
        // Shown on the teacher's page and written into the lesson log, as a name is.
        report.said.error = cleanedName(error.toString());
        if (report.said.error.toUcs4().size() > limits::reportErrorLength)
            return malformed(QStringLiteral("error is te lang (hoogstens %1 tekens)")
                                 .arg(limits::reportErrorLength));
        if (report.said.error.isEmpty())
            report.said.error = QStringLiteral("(geen reden gegeven)");
    }
    return report;
}

}  // namespace

ApiReply StudentProtocol::report(const QByteArray& jsonBody, const QString& peer) {
    const auto read = readReport(jsonBody);
    if (const auto* refusal = std::get_if<ApiReply>(&read))
        return *refusal;
    const Report& report = std::get<Report>(read);
    const QString key = tokenHash(report.token);
    if (auto refused =
            unservable(key, peer, failure(401, QStringLiteral("Sessie niet gevonden")), false))
        return *refused;
    const qint64 now = classes_.now();
    if (!reports_.allows(key, now))
        return failure(429, QStringLiteral("Te veel meldingen van deze computer: probeer het over "
                                           "enkele minuten opnieuw"));
    reports_.record(key, now);
    if (report.quit ? !classes_.leave(key, maxStudents_) : !classes_.recordReport(key, report.said))
        return failure(503, QStringLiteral("De klasdienst kan de melding nu niet bewaren"));
    return {200, QJsonObject{{"success", true}}};
}

bool ClassRegister::recordReport(const QString& tokenHash, const StudentReport& said) {
    const auto session = sessions_.find(tokenHash);
    if (session == sessions_.end())
        return false;
    const StudentReport& before = session->report;
    const bool changed = before.state != said.state || before.error != said.error;
    StudentSession updated = *session;
    updated.report = said;
    if (!changed)  // the same state again: it still holds since it began
        updated.report.atMs = before.atMs;
    else
        updated.report.atMs = now_();
    if (changed || before.hosts != said.hosts || before.rules != said.rules) {
        if (!store_.saveSession(updated))
            return false;
        *session = updated;
        announceClass(updated.classCode);
    }
    if (changed) {
        LessonEvent reported;
        reported.classCode = updated.classCode;
        reported.atMs = updated.report.atMs;
        reported.kind = LessonEvent::Kind::Reported;
        reported.student = updated.studentName;
        reported.detail = said.error;
        reported.state = said.state;
        reported.hosts = said.hosts;
        reported.rules = said.rules;
        appendEvent(reported);
    }
    return true;
}

bool ClassRegister::leave(const QString& tokenHash, int departuresKept) {
    const auto found = sessions_.constFind(tokenHash);
    if (found == sessions_.cend())
        return false;
    StudentSession session = *found;
    const auto record = find(session.classCode);
    const bool duringBlock = record && record->isBlocked;
    if (!duringBlock) {
        if (!endSessions({tokenHash}))
            return false;
    } else {
        session.departedAtMs = now_();
        if (!store_.saveSession(session))
            return false;
        forget(tokenHash);
        addSession(session);
        announceClass(session.classCode);
        QList<StudentSession> left;
        for (const StudentSession& other : std::as_const(departed_))
            if (other.classCode == session.classCode)
                left << other;
        std::sort(left.begin(), left.end(),
                  [](const auto& a, const auto& b) { return a.departedAtMs > b.departedAtMs; });
        QStringList oldest;
        for (qsizetype i = departuresKept; i < left.size(); ++i) oldest << left.at(i).tokenHash;
        endSessions(oldest);
    }
    logEvent(session.classCode, LessonEvent::Kind::Departed, session.studentName, {}, duringBlock);
    return true;
}

}  // namespace kt::service
