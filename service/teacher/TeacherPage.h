#pragma once

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <functional>
#include <optional>

#include "classes/ClassService.h"
#include "teacher/TeacherAccounts.h"

namespace kt::service {

// The teacher's page under /leerkracht/: its files (built into the service)
// and its JSON interface. Every change needs the session cookie and the
// session's CSRF token in the X-CSRF-Token header; a teacher reaches only
// their own classes.
class TeacherPage {
  public:
    TeacherPage(ClassService& classes, TeacherAccounts& teachers);

    using Reply = std::function<void(QHttpServerResponse&&)>;

    static bool isPagePath(const QString& path);
    // Answers through `reply`: at once, or for a password check once it is done.
    void handle(const QHttpServerRequest& request, const Reply& reply);

    static constexpr const char* cookieName = "kt_leerkracht";
    // The browser's device cookie (see DeviceCookie.h).
    static constexpr const char* deviceCookieName = "kt_toestel";

  private:
    QHttpServerResponse page(const QHttpServerRequest& request);
    // Nothing when `reply` answers later.
    std::optional<QHttpServerResponse> api(const QHttpServerRequest& request,
                                           const QStringList& path, const Reply& reply);
    std::optional<QHttpServerResponse> login(const QHttpServerRequest& request, const Reply& reply);
    QHttpServerResponse classApi(const QHttpServerRequest& request, const TeacherSession& teacher,
                                 const QStringList& path, const QJsonObject& body);
    QJsonObject classDetails(const ClassRecord& record) const;
    QHttpServerResponse lessonLog(const QHttpServerRequest& request, const TeacherSession& teacher,
                                  const ClassRecord& record, bool onPage);
    // A refusal, or nothing once `record` holds the change.
    static std::optional<QHttpServerResponse> changeDomains(const QHttpServerRequest& request,
                                                            const QJsonObject& body,
                                                            ClassRecord& record);

    ClassService& classes_;
    TeacherAccounts& teachers_;
};

}  // namespace kt::service
