// The JSON bodies of the teacher's page (the first line of the input is the
// Content-Type, the rest the body). Besides not crashing: only a JSON object
// sent as application/json is taken; what the service writes back from it
// (the teacher's texts end up in the replies students read) is UTF-8 that
// parses to the same object, and the application's strict reader finds
// every text member as the service holds it.
#include <QJsonDocument>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "http/JsonBody.h"
#include "session/JsonReply.h"
#include "session/Utf8.h"

using kt::fuzz::shown;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype lineEnd = input.indexOf('\n');
    const QByteArray contentType = lineEnd < 0 ? input : input.left(lineEnd);
    const QByteArray body = lineEnd < 0 ? QByteArray() : input.mid(lineEnd + 1);

    const auto object = kt::service::jsonObjectBody(contentType, body);
    if (!object)
        return 0;
    FUZZ_CHECK(contentType.startsWith("application/json"), shown(contentType.toStdString()));

    const QByteArray written = QJsonDocument(*object).toJson(QJsonDocument::Compact);
    const std::string text = written.toStdString();
    FUZZ_CHECK(kt::utf8::isValid(text), "written back as " + shown(text));
    FUZZ_CHECK(kt::service::jsonObjectBody("application/json", written) == object,
               "written back as " + shown(text));
    const kt::ParsedReply read = kt::parseReply(text);
    FUZZ_CHECK(read.isObject(), "the application cannot read " + shown(text));
    for (auto member = object->begin(); member != object->end(); ++member) {
        if (!member.value().isString())
            continue;
        const std::string key = member.key().toStdString();
        const auto found = read.object->find(key);
        FUZZ_CHECK(found != read.object->end() && found->is_string() &&
                       found->get<std::string>() == member.value().toString().toStdString(),
                   "member " + shown(key) + " of " + shown(text));
    }
    return 0;
}
