#include "store/PostgresAddress.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

namespace kt::service {
namespace {

const QRegularExpression keywordStart(R"(^\s*[a-z_]+\s*=)");

QString decoded(const QString& text) {
    return QUrl::fromPercentEncoding(text.toUtf8());
}

// "postgresql://..." as libpq reads it, into `address`.
void readUrl(const QString& text, PostgresAddress& address) {
    QString rest = text.mid(text.indexOf("://") + 3);
    const qsizetype question = rest.indexOf('?');
    const QString query = question < 0 ? QString() : rest.mid(question + 1);
    rest = rest.left(question < 0 ? rest.size() : question);
    const qsizetype slash = rest.indexOf('/');
    const QString dbname = slash < 0 ? QString() : decoded(rest.mid(slash + 1));
    QString hostList = rest.left(slash < 0 ? rest.size() : slash);
    if (const qsizetype at = hostList.lastIndexOf('@'); at >= 0) {
        const QStringList user = hostList.left(at).split(':');
        if (!user.first().isEmpty())
            address.keywords.append({"user", decoded(user.first())});
        if (user.size() > 1)
            address.keywords.append({"password", QString()});
        hostList = hostList.mid(at + 1);
    }
    QStringList hosts, ports;
    for (const QString& entry : hostList.split(',')) {
        // "[::1]:5432", "db.school.be:5432", "%2Frun%2Fpostgresql"
        const qsizetype bracket = entry.startsWith('[') ? entry.indexOf(']') : 0;
        const qsizetype colon = entry.indexOf(':', qMax<qsizetype>(bracket, 0));
        QString host = entry.left(colon < 0 ? entry.size() : colon);
        if (bracket > 0)
            host = host.mid(1, bracket - 1);
        hosts << decoded(host);
        ports << (colon < 0 ? QString() : entry.mid(colon + 1));
    }
    if (!hosts.join("").isEmpty())
        address.keywords.append({"host", hosts.join(',')});
    if (!ports.join("").isEmpty())
        address.keywords.append({"port", ports.join(',')});
    if (!dbname.isEmpty())
        address.keywords.append({"dbname", dbname});
    for (const QString& pair : query.split('&', Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf('=');
        if (equals <= 0) {
            address.error = QStringLiteral("\"%1\" is no keyword=value").arg(pair);
            return;
        }
        address.keywords.append({decoded(pair.left(equals)), decoded(pair.mid(equals + 1))});
    }
}

// libpq's "keyword = value" pairs, a value in single quotes when it holds
// spaces; a backslash takes the next character as it is.
void readKeywords(const QString& text, PostgresAddress& address) {
    qsizetype at = 0;
    const auto skipSpaces = [&] {
        while (at < text.size() && text.at(at).isSpace()) ++at;
    };
    for (skipSpaces(); at < text.size(); skipSpaces()) {
        const auto start = keywordStart.match(text.mid(at));
        if (!start.hasMatch()) {
            address.error = QStringLiteral("expected keyword=value at \"%1\"").arg(text.mid(at));
            return;
        }
        const QString keyword = start.captured(0).chopped(1).trimmed();
        at += start.capturedLength();
        skipSpaces();
        const bool quoted = at < text.size() && text.at(at) == '\'';
        at += quoted ? 1 : 0;
        QString value;
        for (; at < text.size(); ++at) {
            const QChar c = text.at(at);
            if (quoted ? c == '\'' : c.isSpace())
                break;
            if (c == '\\' && at + 1 < text.size())
                ++at;
            value += text.at(at);
        }
        if (quoted && at++ >= text.size()) {
            address.error = QStringLiteral("the value of %1 has no closing quote").arg(keyword);
            return;
        }
        address.keywords.append({keyword, value});
    }
}

}  // namespace

bool isPostgresAddress(const QString& text) {
    return text.startsWith("postgresql://") || text.startsWith("postgres://") ||
           keywordStart.match(text).hasMatch();
}

PostgresAddress parsePostgresAddress(const QString& text) {
    PostgresAddress address;
    if (text.startsWith("postgresql://") || text.startsWith("postgres://"))
        readUrl(text, address);
    else
        readKeywords(text, address);
    if (address.has("password"))
        address.error = QStringLiteral(
            "the database address holds a password: put it in a file named by "
            "--database-password-file, or in PGPASSFILE, never on the command line");
    for (const auto& [keyword, value] : address.keywords)
        if (value.contains(';'))  // Qt SQL turns it into a space
            address.error = QStringLiteral("the value of %1 cannot hold a ';'").arg(keyword);
    if (!address.error.isEmpty()) {
        address.keywords.clear();
        return address;
    }
    // The service waits for each statement on its one thread, polls included.
    // A database behind a network that drops packets must not hold it for
    // libpq's defaults (no connect timeout, the kernel's minutes of
    // retransmission): a connect, an unanswered send and a silent idle
    // connection each give up within seconds, and the service answers from
    // memory until the database is back. Each wait stays far below the 10 s
    // in which a front's health check expects an answer (HAProxy's example),
    // or every instance would be taken out at once: 2 s is libpq's shortest
    // connect timeout; a send is unanswered when the database's kernel does
    // not acknowledge it, which a slow query does not delay.
    const std::pair<const char*, const char*> bounds[] = {{"connect_timeout", "2"},
                                                          {"tcp_user_timeout", "2500"},
                                                          {"keepalives_idle", "10"},
                                                          {"keepalives_interval", "5"},
                                                          {"keepalives_count", "2"}};
    for (const auto& [keyword, value] : bounds)
        if (!address.has(QLatin1String(keyword)))
            address.keywords.append({QLatin1String(keyword), QLatin1String(value)});
    return address;
}

bool PostgresAddress::has(const QString& keyword) const {
    return std::any_of(keywords.begin(), keywords.end(),
                       [&](const auto& pair) { return pair.first == keyword; });
}

QString PostgresAddress::connectOptions() const {
    QStringList options;
    for (auto [keyword, value] : keywords)
        options << keyword + "='" + value.replace('\\', "\\\\").replace('\'', "\\'") + "'";
    return options.join(' ');
}

}  // namespace kt::service
