#include "store/ServiceStore.h"

#include <array>

namespace kt::service {
namespace {

const std::array<std::pair<ReportedState, const char*>, 4> stateNames = {{
    {ReportedState::None, ""},
    {ReportedState::Blocked, "blocked"},
    {ReportedState::Free, "free"},
    {ReportedState::Failed, "failed"},
}};

const std::array<std::pair<LessonEvent::Kind, const char*>, 8> kindNames = {{
    {LessonEvent::Kind::Joined, "joined"},
    {LessonEvent::Kind::Switched, "switched"},
    {LessonEvent::Kind::Reported, "reported"},
    {LessonEvent::Kind::ContactLost, "contact_lost"},
    {LessonEvent::Kind::ContactBack, "contact_back"},
    {LessonEvent::Kind::Departed, "departed"},
    {LessonEvent::Kind::Removed, "removed"},
    {LessonEvent::Kind::LessonEnded, "lesson_ended"},
}};

template <typename Value, std::size_t size>
QString nameOf(const std::array<std::pair<Value, const char*>, size>& names, Value value) {
    for (const auto& [known, name] : names)
        if (known == value)
            return QString::fromLatin1(name);
    return {};
}

template <typename Value, std::size_t size>
std::optional<Value> valueOf(const std::array<std::pair<Value, const char*>, size>& names,
                             const QString& name) {
    for (const auto& [value, known] : names)
        if (name == QLatin1String(known))
            return value;
    return std::nullopt;
}

}  // namespace

QString stateName(ReportedState state) {
    return nameOf(stateNames, state);
}

std::optional<ReportedState> stateFromName(const QString& name) {
    return valueOf(stateNames, name);
}

QString kindName(LessonEvent::Kind kind) {
    return nameOf(kindNames, kind);
}

std::optional<LessonEvent::Kind> kindFromName(const QString& name) {
    return valueOf(kindNames, name);
}

}  // namespace kt::service
