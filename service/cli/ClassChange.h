#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

namespace kt::service {

// What the administrator's class command changes in one class.
struct ClassChange {
    QString code;
    std::optional<bool> blocked;
    std::optional<QStringList> domains;
    std::optional<QStringList> ips;
    std::optional<QString> teacherAccount;  // the owner, by login name

    QJsonObject toJson() const;
};

// "on" / "off" (also true/false, 1/0); nothing for anything else.
std::optional<bool> parseSwitch(const QString& text);
// "a.com, b.com" → ["a.com", "b.com"]; empty items are dropped.
QStringList parseList(const QString& text);

struct ChangeResult {
    bool ok = false;
    QString message;  // the service's reply, or what went wrong
};

// Sends PUT <service>/admin/classes/<code> with the administrator secret and
// waits for the answer. `caFile` is trusted besides the system's CAs.
ChangeResult sendClassChange(const QString& serviceUrl, const QString& caFile,
                             const ClassChange& change, const QByteArray& adminSecret = {});

}  // namespace kt::service
