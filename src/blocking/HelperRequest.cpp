#include "blocking/HelperRequest.h"

#include <nlohmann/json.hpp>
#include <utility>

namespace kt {
namespace {

struct Member {
    const char* key;
    std::vector<std::string> HelperRequest::*list;
};

constexpr Member members[] = {
    {"names", &HelperRequest::names},
    {"addresses", &HelperRequest::addresses},
    {"looked_up", &HelperRequest::lookedUp},
    {"protected_addresses", &HelperRequest::protectedAddresses},
    {"protected_names", &HelperRequest::protectedNames},
};

const Member* memberNamed(const std::string& key) {
    for (const Member& m : members)
        if (key == m.key)
            return &m;
    return nullptr;
}

}  // namespace

std::string encodeHelperRequest(const HelperRequest& request) {
    nlohmann::json object = nlohmann::json::object();
    for (const Member& m : members) object[m.key] = request.*m.list;
    return object.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

DecodedHelperRequest decodeHelperRequest(std::string_view text) {
    if (text.size() > maxHelperRequestBytes)
        return {std::nullopt, "Verzoek te groot"};
    // The parser takes a NUL byte for the end of the text and would leave
    // whatever follows it unread.
    const bool cutShort = text.find('\0') != std::string_view::npos;
    nlohmann::json object = nlohmann::json::parse(text, nullptr, false);
    if (cutShort || !object.is_object())
        return {std::nullopt, "Verzoek is geen JSON-object"};
    HelperRequest request;
    for (const auto& [key, value] : object.items()) {
        const Member* member = memberNamed(key);
        if (!member)
            return {std::nullopt, "Onbekend veld in verzoek"};
        if (!value.is_array())
            return {std::nullopt, "Veld is geen lijst: " + key};
        if (value.size() > maxHelperRequestItems)
            return {std::nullopt, "Te veel items in " + key};
        for (const auto& item : value) {
            if (!item.is_string())
                return {std::nullopt, "Item is geen tekst in " + key};
            (request.*member->list).push_back(item.get<std::string>());
        }
    }
    return {std::move(request), {}};
}

}  // namespace kt
