#pragma once

#include <QString>
#include <optional>

namespace kt::service {

// What one instance tells the others on a shared database that it changed:
// a class with its students ("class:CODE"), or a teacher's page session
// ("teacher:HASH" of its cookie). The others read just that again.
struct ChangeNotice {
    enum class Kind { Class, TeacherSession };
    Kind kind = Kind::Class;
    QString key;

    QString text() const { return (kind == Kind::Class ? "class:" : "teacher:") + key; }
    static std::optional<ChangeNotice> read(const QString& text) {
        for (const Kind kind : {Kind::Class, Kind::TeacherSession}) {
            const QString prefix = ChangeNotice{kind, {}}.text();
            if (text.startsWith(prefix) && text.size() > prefix.size())
                return ChangeNotice{kind, text.mid(prefix.size())};
        }
        return std::nullopt;
    }
};

}  // namespace kt::service
