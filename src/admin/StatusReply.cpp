#include "admin/StatusReply.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace kt::admin {
namespace {

using nlohmann::json;

// An array counts only when every element is a string.
std::vector<std::string> stringArray(const json& reply, const char* member) {
    auto it = reply.find(member);
    if (it == reply.end() || !it->is_array())
        return {};
    std::vector<std::string> out;
    for (const auto& element : *it) {
        if (!element.is_string())
            return {};
        out.push_back(element.get<std::string>());
    }
    return out;
}

// Every element must be an object of strings; those with start and end count.
std::vector<std::pair<std::string, std::string>> ranges(const json& reply) {
    auto it = reply.find("ip_ranges");
    if (it == reply.end() || !it->is_array())
        return {};
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& element : *it) {
        if (!element.is_object())
            return {};
        for (const auto& [key, value] : element.items())
            if (!value.is_string())
                return {};
        if (element.contains("start") && element.contains("end"))
            out.emplace_back(element["start"].get<std::string>(),
                             element["end"].get<std::string>());
    }
    return out;
}

}  // namespace

std::optional<StatusReply> readStatusReply(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    json reply = json::parse(text.str(), nullptr, false);
    if (reply.is_discarded()) {
        error = path + " is not valid JSON";
        return std::nullopt;
    }
    if (!reply.is_object()) {
        error = path + " does not hold a JSON object";
        return std::nullopt;
    }
    return StatusReply{stringArray(reply, "domains"), stringArray(reply, "ips"), ranges(reply)};
}

}  // namespace kt::admin
