#include "classes/ClassCheck.h"

#include <algorithm>
#include <functional>
#include <tuple>

#include "blocking/RefusedTargets.h"
#include "blocking/Validation.h"
#include "limits/ServiceLimits.h"

namespace kt::service {
namespace {

// Why a name is not blocked, as the application would refuse it.
QString nameRefusalText(const QString& name, NameRefusal refusal) {
    switch (refusal) {
        case NameRefusal::None:
            break;
        case NameRefusal::NotAHostName:
            return QStringLiteral("'%1' is geen geldige hostnaam").arg(name);
        case NameRefusal::Address:
            return QStringLiteral(
                       "'%1' is een adres, geen naam: geef de naam van de dienst, "
                       "bijvoorbeeld chatgpt.com")
                .arg(name);
        case NameRefusal::ThisComputer:
            return QStringLiteral(
                       "'%1' is de computer van de leerling zelf: die blokkeren zou de "
                       "computer ontregelen")
                .arg(name);
        case NameRefusal::SingleLabel:
            return QStringLiteral(
                       "'%1' is geen volledige naam: geef een naam met een punt, "
                       "bijvoorbeeld chatgpt.com")
                .arg(name);
        case NameRefusal::LocalName:
            return QStringLiteral(
                       "'%1' is een naam van het lokale netwerk, geen dienst op het "
                       "internet")
                .arg(name);
        case NameRefusal::Protected:
            return QStringLiteral(
                       "'%1' is de klasdienst zelf: dan kon je de blokkering niet meer "
                       "uitzetten")
                .arg(name);
    }
    return {};
}

std::optional<QString> addressRefusal(const QString& text) {
    const std::string address = text.toStdString();
    if (!isValidAddress(address))
        return QStringLiteral("'%1' is geen geldig adres").arg(text);
    if (isRefusedAddress(address, {}))
        return QStringLiteral(
                   "'%1' is een adres van de computer zelf of van het lokale netwerk, geen "
                   "dienst op het internet")
            .arg(text);
    if (!isBlockableAddress(address))
        return QStringLiteral(
                   "'%1' is een te groot netwerk: het zou alles afsluiten, de klasdienst "
                   "ook (hoogstens /8, bij IPv6 /16)")
            .arg(text);
    return std::nullopt;
}

// A lone surrogate would make every reply that carries it unreadable for the
// application; the text itself is not repeated in the refusal.
const QString notUnicode = QStringLiteral("De klas bevat tekst die geen geldige Unicode is");

// The items of `list` that `before` did not hold, each valid Unicode and
// checked by `refusalOf`; then no item more often than before, and no list
// grown past `limit`.
std::optional<ClassRefusal> checkList(
    const QStringList& list, const QStringList& before, qsizetype limit, const QString& full,
    const std::function<std::optional<QString>(const QString&)>& refusalOf) {
    for (const QString& item : list) {
        if (before.contains(item))
            continue;
        if (!item.isValidUtf16())
            return ClassRefusal{notUnicode};
        if (const auto refusal = refusalOf(item))
            return ClassRefusal{*refusal};
    }
    for (const QString& item : list)
        if (list.count(item) > std::max<qsizetype>(1, before.count(item)))
            return ClassRefusal{QStringLiteral("%1 staat al in de lijst").arg(item), true};
    if (list.size() > limit && list.size() > before.size())
        return ClassRefusal{full};
    return std::nullopt;
}

// A name the students see, when it changed: valid Unicode and not too long.
std::optional<ClassRefusal> checkName(const QString& name, const QString& before,
                                      const QString& tooLong) {
    if (name == before)
        return std::nullopt;
    if (!name.isValidUtf16())
        return ClassRefusal{notUnicode};
    if (name.size() > limits::classNameLength)
        return ClassRefusal{
            QStringLiteral("%1 (hoogstens %2 tekens)").arg(tooLong).arg(limits::classNameLength)};
    return std::nullopt;
}

}  // namespace

QString normalisedClassCode(const QString& code) {
    if (code.isEmpty() || code.size() > limits::classCodeLength)
        return {};
    for (const QChar c : code)
        if (c.unicode() > 0x7F || !c.isLetterOrNumber())
            return {};
    return code.toUpper();
}

std::optional<ClassRefusal> checkClass(const ClassRecord& record, const ClassRecord& before,
                                       const QString& serviceHost) {
    if (normalisedClassCode(record.code) != record.code || record.code.isEmpty())
        return ClassRefusal{QStringLiteral("Een klascode is 1 tot %1 letters en cijfers")
                                .arg(limits::classCodeLength)};
    for (const auto& [name, was, tooLong] :
         {std::tuple{record.className, before.className, QStringLiteral("Geef de klas een naam")},
          std::tuple{record.schoolName, before.schoolName,
                     QStringLiteral("De naam van de school is te lang")},
          std::tuple{record.teacherName, before.teacherName,
                     QStringLiteral("De naam van de leerkracht is te lang")}})
        if (auto refusal = checkName(name, was, tooLong))
            return refusal;

    // The students reach the service by the name the sender used for it.
    ProtectedTargets service;
    if (!serviceHost.isEmpty())
        service.hostNames.push_back(serviceHost.toStdString());
    const auto nameRefused = [&](const QString& name) -> std::optional<QString> {
        const NameRefusal refusal = nameRefusal(name.toStdString(), service);
        if (refusal == NameRefusal::None)
            return std::nullopt;
        return nameRefusalText(name, refusal);
    };
    if (auto refusal = checkList(
            record.domains, before.domains, limits::namesPerClass,
            QStringLiteral("De lijst is vol (%1 namen)").arg(limits::namesPerClass), nameRefused))
        return refusal;
    if (auto refusal = checkList(
            record.ips, before.ips, limits::addressesPerClass,
            QStringLiteral("De lijst is vol (%1 adressen)").arg(limits::addressesPerClass),
            addressRefusal))
        return refusal;
    for (const auto& range : record.ipRanges) {
        if (before.ipRanges.contains(range))
            continue;
        for (const QString& end : {range.first, range.second}) {
            if (!end.isValidUtf16())
                return ClassRefusal{notUnicode};
            if (!isSingleAddress(end.toStdString()))
                return ClassRefusal{QStringLiteral("'%1' is geen geldig adres").arg(end)};
        }
    }
    if (record.ipRanges.size() > limits::addressesPerClass &&
        record.ipRanges.size() > before.ipRanges.size())
        return ClassRefusal{
            QStringLiteral("Te veel adresbereiken (hoogstens %1)").arg(limits::addressesPerClass)};
    return std::nullopt;
}

}  // namespace kt::service
