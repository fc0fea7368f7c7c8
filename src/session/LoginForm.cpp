#include "session/LoginForm.h"

#include "session/Utf8.h"

namespace kt {

bool canLogin(bool isLoading, std::string_view studentName, std::string_view classCode) {
    return !isLoading && utf8::characterCount(classCode) == classCodeLength &&
           utf8::characterCount(studentName) >= 2;
}

}  // namespace kt
