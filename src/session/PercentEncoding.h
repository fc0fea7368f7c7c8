#pragma once

#include <string>
#include <string_view>

namespace kt {

// Percent encoding of the values the class service receives. Every byte of the
// UTF-8 text outside the kept set becomes "%" and two upper-case hex digits.

// Form value (student_name, and the token in the status query): keeps ASCII
// letters and digits and - . _ ~ ! $ ' ( ) * , ; : @ / ?  — so the space, %, &,
// = and + are encoded.
std::string formValueEncoded(std::string_view text);

// Query value (device_info, device_id): the query component of RFC 3986, the
// form set plus & = + left as they are.
std::string queryValueEncoded(std::string_view text);

}  // namespace kt
