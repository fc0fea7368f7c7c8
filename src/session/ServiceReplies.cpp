#include "session/ServiceReplies.h"

#include "session/JsonReply.h"

namespace kt {

LoginReply readLoginReply(const nlohmann::json& object) {
    LoginReply reply;
    reply.success = json_member::boolean(object, "success") == true;
    reply.sessionToken = json_member::string(object, "session_token");
    if (const auto* studentInfo = json_member::object(object, "student_info"))
        reply.studentInfoName = json_member::string(*studentInfo, "name");
    if (const auto* classInfo = json_member::object(object, "class_info")) {
        reply.classInfo = LoginReply::ClassInfo{
            json_member::string(*classInfo, "class_name"),
            json_member::string(*classInfo, "teacher_name"),
            json_member::string(*classInfo, "school_name"),
        };
    }
    reply.error = json_member::string(object, "error");
    return reply;
}

StatusReply readStatusReply(const nlohmann::json& object) {
    StatusReply reply;
    reply.sessionEnded = json_member::boolean(object, "success") == false;
    reply.isBlocked = json_member::boolean(object, "is_blocked").value_or(false);
    reply.domains = json_member::stringArray(object, "domains");
    reply.ips = json_member::stringArray(object, "ips");
    reply.ipRanges = json_member::rangeArray(object, "ip_ranges");
    if (const auto* classInfo = json_member::object(object, "class_info")) {
        reply.className = json_member::string(*classInfo, "class_name");
        reply.teacherName = json_member::string(*classInfo, "teacher_name");
    }
    return reply;
}

}  // namespace kt
