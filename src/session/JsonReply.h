#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kt {

// A reply body read as JSON. Exactly one of the three holds: it is not JSON
// (`parseError` says why), it is JSON but not an object (neither is set), or
// it is an object.
struct ParsedReply {
    std::optional<nlohmann::json> object;
    std::optional<std::string> parseError;

    bool isObject() const { return object.has_value(); }
};

// Parses a reply body strictly: no comments, no trailing text; invalid UTF-8
// inside strings is a parse error.
ParsedReply parseReply(std::string_view body);

// Readers of one member of a JSON object. A member of another type than the
// one asked for counts as missing.
namespace json_member {

// true and false, and the numbers 1 and 0 as true and false.
std::optional<bool> boolean(const nlohmann::json& object, const char* key);
std::optional<std::string> string(const nlohmann::json& object, const char* key);
// The member when it is an object.
const nlohmann::json* object(const nlohmann::json& object, const char* key);
// Counts only when every element is a string.
std::optional<std::vector<std::string>> stringArray(const nlohmann::json& object, const char* key);
// An array of objects whose members are all strings (otherwise missing);
// each element with both `start` and `end` gives one pair, others are skipped.
std::optional<std::vector<std::pair<std::string, std::string>>> rangeArray(
    const nlohmann::json& object, const char* key);

}  // namespace json_member
}  // namespace kt
