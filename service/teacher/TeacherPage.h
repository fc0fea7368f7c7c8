#pragma once

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <functional>
#include <optional>
#include <variant>

#include "classes/ClassRegister.h"
#include "classes/LessonLog.h"
#include "classes/TeacherClasses.h"
#include "teacher/TeacherAccounts.h"

namespace kt::service {

// The teacher's page under /leerkracht/: its files (built into the service)
// and its JSON interface, one function per endpoint. Every change (POST)
// needs the session cookie and the session's CSRF token in the X-CSRF-Token
// header; a teacher reaches only their own classes.
class TeacherPage {
  public:
    TeacherPage(ClassRegister& classes, TeacherAccounts& teachers);

    using Reply = std::function<void(QHttpServerResponse&&)>;
    // An answer now, or nothing when the call's `reply` answers later.
    using Answer = std::optional<QHttpServerResponse>;

    // Who may call an endpoint. The checks run in this order: the session
    // (401), for a POST the CSRF token (403) and a JSON object body (400),
    // then the teacher's own password (403).
    enum class Access {
        Anyone,       // no session needed: the login
        LoggedIn,     // any session, also one whose one-time password is not yet changed
        OwnPassword,  // a session with a password of the teacher's own
    };

    // What an endpoint gets once its access is checked.
    struct Call {
        const QHttpServerRequest& request;
        TeacherSession teacher;  // none for Access::Anyone
        QJsonObject body;        // a change's JSON object; empty for a GET
        Reply reply;             // for an answer that comes after a password check
    };
    using Endpoint = std::function<Answer(const Call&)>;

    // Checks `access`, then runs `endpoint`; answers through `reply`.
    void call(const QHttpServerRequest& request, Access access, const Reply& reply,
              const Endpoint& endpoint);
    // What a path under /leerkracht that has no endpoint gets: 404, and
    // under api/ first 405 for another method than GET and POST and the
    // checks of Access::OwnPassword.
    void answerUnrouted(const QHttpServerRequest& request, const Reply& reply);
    static bool isPagePath(const QString& path);

    // The page's files.
    static QHttpServerResponse file(const QString& name, const QByteArray& type);
    static QHttpServerResponse toPage();  // "/leerkracht" moved to "/leerkracht/"

    // The endpoints of the interface; ServiceServer::addRoutes gives each its path.
    Answer login(const Call& call);
    Answer session(const Call& call);
    Answer logout(const Call& call);
    Answer changePassword(const Call& call);
    Answer setDisplayName(const Call& call);
    Answer listClasses(const Call& call);
    Answer createClass(const Call& call);
    // With ?day=YYYY-MM-DD&tz=ZONE also that day's lesson log, the newest events first.
    Answer showClass(const Call& call, const QString& code);
    // That day's whole lesson log as a CSV file.
    Answer lessonLogFile(const Call& call, const QString& code);
    Answer switchBlocking(const Call& call, const QString& code);
    Answer changeDomains(const Call& call, const QString& code);
    Answer removeStudent(const Call& call, const QString& code, const QString& studentId);
    Answer endLesson(const Call& call, const QString& code);

    static constexpr const char* cookieName = "kt_leerkracht";
    // The browser's device cookie (see DeviceCookie.h).
    static constexpr const char* deviceCookieName = "kt_toestel";

  private:
    Answer admitted(const QHttpServerRequest& request, Access access, const Reply& reply,
                    const Endpoint& endpoint);
    QJsonObject classDetails(const ClassRecord& record) const;
    // The lesson log of the day the call names, or why there is none.
    std::variant<QList<LessonEvent>, QHttpServerResponse> dayLog(const Call& call,
                                                                 const ClassRecord& record,
                                                                 int limit, LogDay& day) const;
    // The answer after a change of the class `code`: the class as it now is, or 503.
    QHttpServerResponse changed(const Call& call, const QString& code, bool saved) const;
    // The answer after `entry`: the class as it came in, its refusal, or `notStored` (503).
    QHttpServerResponse entered(const Call& call, const ClassEntry& entry,
                                const QString& notStored) const;

    ClassRegister& classes_;
    TeacherClasses teacherClasses_;
    TeacherAccounts& teachers_;
};

}  // namespace kt::service
