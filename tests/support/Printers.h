#pragma once

// How a failed check shows the values it compared: Qt's strings, byte arrays
// and JSON as text, and enums as their type and number, instead of googletest's
// byte dumps. Every test file starts with this header (tests/CMakeLists.txt,
// cmake/PrecompiledHeaders.cmake).
#include <gtest/gtest.h>

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <type_traits>
#include <typeinfo>

#if __has_include(<QString>)
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    *out << ::testing::PrintToString(bytes.toStdString());
}
inline void PrintTo(const QString& text, std::ostream* out) {
    PrintTo(text.toUtf8(), out);
}
inline void PrintTo(const QJsonValue& value, std::ostream* out) {
    if (value.isUndefined()) {
        *out << "undefined";
        return;
    }
    const QByteArray inArray = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    *out << inArray.mid(1, inArray.size() - 2).toStdString();  // without the array's brackets
}
inline void PrintTo(const QJsonArray& array, std::ostream* out) {
    PrintTo(QJsonValue(array), out);
}
inline void PrintTo(const QJsonObject& object, std::ostream* out) {
    PrintTo(QJsonValue(object), out);
}
#endif

namespace kt::testing::printers {
// "kt::service::RequestFraming::Verdict(2)"
template <typename Enum>
void printEnum(const Enum& value, std::ostream* out) {
    int status = 0;
    const std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(typeid(Enum).name(), nullptr, nullptr, &status), &std::free);
    *out << (status == 0 ? name.get() : typeid(Enum).name()) << '(' << static_cast<long long>(value)
         << ')';
}
}  // namespace kt::testing::printers

// Found by argument-dependent lookup, so one for each namespace whose enums
// the tests compare.
#define KT_ENUM_PRINTER                                  \
    template <typename Enum>                             \
    requires std::is_enum_v<Enum>                        \
    void PrintTo(const Enum& value, std::ostream* out) { \
        ::kt::testing::printers::printEnum(value, out);  \
    }
KT_ENUM_PRINTER
namespace kt {
KT_ENUM_PRINTER
}
namespace kt::service {
KT_ENUM_PRINTER
}
namespace QSsl {
KT_ENUM_PRINTER
}
#undef KT_ENUM_PRINTER
