#include "session/JsonReply.h"

namespace kt {

ParsedReply parseReply(std::string_view body) {
    ParsedReply reply;
    // The parser takes a NUL byte for the end of the text and would leave
    // whatever follows it unread.
    if (body.find('\0') != std::string_view::npos) {
        reply.parseError = "syntax error: a NUL byte in the reply";
        return reply;
    }
    try {
        nlohmann::json value = nlohmann::json::parse(body.begin(), body.end());
        if (value.is_object())
            reply.object = std::move(value);
    } catch (const nlohmann::json::exception& error) {
        reply.parseError = error.what();
    }
    return reply;
}

namespace json_member {
namespace {

const nlohmann::json* member(const nlohmann::json& object, const char* key) {
    if (!object.is_object())
        return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

}  // namespace

std::optional<bool> boolean(const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = member(object, key);
    if (!value)
        return std::nullopt;
    if (value->is_boolean())
        return value->get<bool>();
    if (value->is_number()) {
        const double number = value->get<double>();
        if (number == 1.0)
            return true;
        if (number == 0.0)
            return false;
    }
    return std::nullopt;
}

std::optional<std::string> string(const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = member(object, key);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

const nlohmann::json* object(const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = member(object, key);
    return value && value->is_object() ? value : nullptr;
}

std::optional<std::vector<std::string>> stringArray(const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = member(object, key);
    if (!value || !value->is_array())
        return std::nullopt;
    std::vector<std::string> items;
    items.reserve(value->size());
    for (const auto& element : *value) {
        if (!element.is_string())
            return std::nullopt;
        items.push_back(element.get<std::string>());
    }
    return items;
}

std::optional<std::vector<std::pair<std::string, std::string>>> rangeArray(
    const nlohmann::json& object, const char* key) {
    const nlohmann::json* value = member(object, key);
    if (!value || !value->is_array())
        return std::nullopt;
    std::vector<std::pair<std::string, std::string>> ranges;
    for (const auto& element : *value) {
        if (!element.is_object())
            return std::nullopt;
        for (const auto& [name, field] : element.items())
            if (!field.is_string())
                return std::nullopt;
        const auto start = element.find("start");
        const auto end = element.find("end");
        if (start == element.end() || end == element.end())
            continue;
        ranges.emplace_back(start->get<std::string>(), end->get<std::string>());
    }
    return ranges;
}

}  // namespace json_member
}  // namespace kt
