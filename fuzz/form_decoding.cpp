// The class service's form and query decoding: a login or logout body, and
// the token of a status query. Besides not crashing: a decoded form encoded
// again decodes to the same fields; a valid UTF-8 text that the application
// encodes (as a form value, and as the status query's token) arrives at the
// service unchanged, and the whole login body the application sends decodes
// to its fields.
#include <QUrl>
#include <QUrlQuery>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "http/FormDecoding.h"
#include "session/PercentEncoding.h"
#include "session/ServiceRequests.h"
#include "session/Utf8.h"

namespace {

using namespace kt;
using fuzz::shown;

std::string utf8(const QString& text) {
    return text.toStdString();
}

void checkRoundTrip(const QByteArray& body) {
    const auto fields = service::decodeForm(body);
    if (!fields)
        return;
    std::string encoded;
    for (auto field = fields->begin(); field != fields->end(); ++field)
        encoded += (encoded.empty() ? "" : "&") + formValueEncoded(utf8(field.key())) + "=" +
                   formValueEncoded(utf8(field.value()));
    const auto again = service::decodeForm(QByteArray::fromStdString(encoded));
    FUZZ_CHECK(again == fields, "encoded again as " + shown(encoded));
}

bool hasNoncharacter(const QString& text) {
    for (const char32_t c : text.toUcs4())
        if ((c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE)
            return true;
    return false;
}

void checkApplicationText(const std::string& text) {
    const QString expected = QString::fromStdString(text);
    const std::string body = loginRequestBody(text, text, "Linux", "0a1b2c3d4e5f");
    const auto fields = service::decodeForm(QByteArray::fromStdString(body));
    FUZZ_CHECK(fields.has_value(), "the login body " + shown(body));
    FUZZ_CHECK(fields->value("student_name") == expected, "student_name in " + shown(body));
    FUZZ_CHECK(fields->value("class_code") == QString::fromStdString(utf8::upperCased(text)),
               "class_code in " + shown(body));
    FUZZ_CHECK(fields->value("device_info") == "Linux" &&
                   fields->value("device_id") == "0a1b2c3d4e5f" && fields->size() == 4,
               "the fields after the name and code in " + shown(body));

    // The status query as the service reads it from the request's URL. Qt's
    // URL decoding does not keep Unicode noncharacters, which no token holds
    // (the service makes them of hexadecimal digits).
    if (hasNoncharacter(expected))
        return;
    const std::string url =
        "https://klas.example/Vexlo/api/class-status.php?token=" + formValueEncoded(text);
    const QUrlQuery query(QUrl(QString::fromStdString(url)));
    FUZZ_CHECK(query.queryItemValue("token", QUrl::FullyDecoded) == expected, shown(url));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkRoundTrip(QByteArray::fromStdString(input));
    if (utf8::isValid(input))
        checkApplicationText(input);
    return 0;
}
