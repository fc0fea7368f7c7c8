#include "ui/LoginRules.h"

#include "session/LoginForm.h"
#include "session/Utf8.h"

namespace kt {

QString LoginRules::correctedClassCode(const QString& text) {
    const std::string kept = utf8::prefixCharacters(text.toStdString(), classCodeLength);
    return QString::fromStdString(kept).toUpper();
}

bool LoginRules::canLogin(bool isLoading, const QString& studentName, const QString& classCode) {
    return kt::canLogin(isLoading, studentName.toStdString(), classCode.toStdString());
}

}  // namespace kt
