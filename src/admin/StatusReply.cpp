#include "admin/StatusReply.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace kt::admin {

std::optional<StatusReply> readStatusReplyFile(const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in)
        text << in.rdbuf();
    if (!in || in.bad()) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    nlohmann::json reply = nlohmann::json::parse(text.str(), nullptr, false);
    if (reply.is_discarded()) {
        error = path + " is not valid JSON";
        return std::nullopt;
    }
    if (!reply.is_object()) {
        error = path + " does not hold a JSON object";
        return std::nullopt;
    }
    return readStatusReply(reply);
}

}  // namespace kt::admin
