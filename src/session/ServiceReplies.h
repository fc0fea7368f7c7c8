#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kt {

// The members of a login reply that the application reads; every member that
// is missing or of another type is absent here.
struct LoginReply {
    bool success = false;  // only a true (or 1) `success` counts
    std::optional<std::string> sessionToken;
    std::optional<std::string> studentInfoName;  // student_info.name
    struct ClassInfo {
        std::optional<std::string> className;
        std::optional<std::string> teacherName;
        std::optional<std::string> schoolName;
    };
    std::optional<ClassInfo> classInfo;  // absent when `class_info` is no object
    std::optional<std::string> error;
};

LoginReply readLoginReply(const nlohmann::json& object);

// The members of a status reply that the application reads.
struct StatusReply {
    bool sessionEnded = false;  // `success` is false (or 0)
    bool isBlocked = false;     // missing or of another type counts as false
    std::optional<std::vector<std::string>> domains;
    std::optional<std::vector<std::string>> ips;
    std::optional<std::vector<std::pair<std::string, std::string>>> ipRanges;
    std::optional<std::string> className;    // class_info.class_name
    std::optional<std::string> teacherName;  // class_info.teacher_name
};

StatusReply readStatusReply(const nlohmann::json& object);

}  // namespace kt
