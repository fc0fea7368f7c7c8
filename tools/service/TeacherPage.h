#pragma once

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonObject>

#include "ClassService.h"
#include "TeacherAccounts.h"

namespace kt::service {

// The teacher's page under /leerkracht/: its files (built into the service)
// and its JSON interface. Every change needs the session cookie and the
// session's CSRF token in the X-CSRF-Token header; a teacher reaches only
// their own classes.
class TeacherPage {
  public:
    TeacherPage(ClassService& classes, TeacherAccounts& teachers);

    static bool isPagePath(const QString& path);
    QHttpServerResponse handle(const QHttpServerRequest& request);

    static constexpr const char* cookieName = "kt_leerkracht";

  private:
    QHttpServerResponse api(const QHttpServerRequest& request, const QStringList& path);
    QHttpServerResponse login(const QHttpServerRequest& request);
    QHttpServerResponse classApi(const QHttpServerRequest& request, const TeacherSession& teacher,
                                 const QStringList& path, const QJsonObject& body);
    QJsonObject classDetails(const ClassRecord& record) const;

    ClassService& classes_;
    TeacherAccounts& teachers_;
};

}  // namespace kt::service
