#include "cli/ServiceCommands.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QSysInfo>
#include <QTextStream>
#include <QTimer>
#include <optional>

#include "ServiceServer.h"
#include "classes/ClassFile.h"
#include "cli/ClassChange.h"
#include "cli/InstanceSync.h"
#include "http/ConnectionLimits.h"
#include "http/LogText.h"
#include "http/TlsFiles.h"
#include "limits/ServiceLimits.h"
#include "store/DatabaseDeadline.h"
#include "store/OpenStore.h"
#include "store/PostgresAddress.h"
#include "store/StoreCopy.h"
#include "teacher/AdminSecret.h"
#include "teacher/TeacherAccounts.h"

namespace kt::service {

QString usageText() {
    return QStringLiteral(
               "usage:\n"
               "  ka-tesmar-service serve [--listen 0.0.0.0:443] [--database FILE|URL]\n"
               "                          [--database-password-file FILE] [--tls-dir DIR]\n"
               "                          [--classes FILE] [--admin-secret FILE] [--max-students "
               "%1]\n"
               "                          [--max-connections N] [--max-connections-per-address N]\n"
               "                          [--request-timeout SECONDS] [--idle-timeout SECONDS]\n"
               "                          [--lesson-log-days %2]\n"
               "                          [--listen-plain 127.0.0.1:8081] [--trusted-front "
               "ADDR]...\n"
               "                          [--admin-listen 127.0.0.1:9081] [--instance-id NAME]\n"
               "                          [--resync-seconds %3]\n"
               "  ka-tesmar-service teacher add|reset NAME [--display \"Mevr. De Vries\"]\n"
               "                          [--database FILE|URL] [--database-password-file FILE]\n"
               "  ka-tesmar-service migrate --from FILE --to URL [--database-password-file FILE]\n"
               "                          [--replace]\n"
               "  ka-tesmar-service class CODE [--blocked on|off] [--domains a,b] [--ips x,y]\n"
               "                          [--teacher NAME] --service https://127.0.0.1:8443\n"
               "                          [--ca DIR/cert.pem] [--admin-secret FILE]\n")
        .arg(limits::studentsPerClass)
        .arg(limits::lessonLogDays)
        .arg(limits::resyncMs / 1000);
}

namespace {

const QString defaultDataDir = QStringLiteral("/var/lib/ka-tesmar-service");

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int usage() {
    err() << usageText() << Qt::flush;
    return 2;
}

QCommandLineOption passwordFileOption() {
    return {"database-password-file", "The PostgreSQL password, in a file (or PGPASSFILE).",
            "file"};
}

QList<QCommandLineOption> databaseOptions() {
    return {{"database",
             "The SQLite database (\":memory:\" keeps nothing), or a PostgreSQL address: "
             "postgresql://USER@HOST[:PORT]/NAME or a libpq connection string.",
             "file|url", defaultDataDir + "/service.db"},
            passwordFileOption()};
}

std::unique_ptr<SqlStore> openDatabase(const QString& database, const QString& passwordFile) {
    QString error;
    auto store = openStore(database, passwordFile, error);
    if (!store)
        err() << "ka-tesmar-service: " << error << Qt::endl;
    return store;
}

// Next to an SQLite database, unless given.
QString adminSecretPath(const QCommandLineParser& parser) {
    if (parser.isSet("admin-secret"))
        return parser.value("admin-secret");
    const QString database = parser.value("database");
    return isPostgresAddress(database) ? defaultDataDir + "/admin.secret"
                                       : QFileInfo(database).absoluteDir().filePath("admin.secret");
}

// "127.0.0.1:8443" or "[::1]:8443".
bool parseListen(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(':');
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number > 65535 || !address.setAddress(host))
        return false;
    port = static_cast<quint16>(number);
    return true;
}

// The optional listen address of `option`: true when it is absent or valid.
bool parseOptionalListen(const QCommandLineParser& parser, const QString& option,
                         QHostAddress& address, quint16& port) {
    return !parser.isSet(option) || parseListen(parser.value(option), address, port);
}

// The fronts whose word on a client's address is taken; false when one is not an address.
bool parseTrustedFronts(const QStringList& texts, QList<QHostAddress>& fronts) {
    for (const QString& text : texts) {
        QHostAddress front;
        if (!front.setAddress(text))
            return false;
        fronts.append(front);
    }
    return true;
}

QString urlHost(const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]"
                                                               : address.toString();
}

// Every student is an open connection: as many as the system allows. Returns the limit.
quint64 raiseOpenFileLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return RLIM_INFINITY;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur;
}

// SIGTERM and SIGINT end the event loop, so that the last polls are written.
void quitOnTerminationSignals() {
    static int pipe[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pipe) != 0)
        return;
    struct sigaction action {};
    action.sa_handler = [](int) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(pipe[0], &byte, 1);
    };
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    auto* notifier = new QSocketNotifier(pipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, &QCoreApplication::quit);
}

// The administrator runs the teacher command as root; the database belongs
// to the service's own user (or its folder does, before the first start), and
// files SQLite makes next to it must too.
bool becomeOwnerOf(const QString& database) {
    if (::geteuid() != 0 || database == ":memory:" || isPostgresAddress(database))
        return true;
    struct stat info {};
    if (::stat(QFile::encodeName(database).constData(), &info) != 0 &&
        ::stat(QFile::encodeName(QFileInfo(database).absolutePath()).constData(), &info) != 0)
        return true;
    if (info.st_uid == 0)
        return true;
    return ::setgid(info.st_gid) == 0 && ::setuid(info.st_uid) == 0;
}

}  // namespace

int serveCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions(
        {{"listen", "Address and port to listen on.", "host:port", "127.0.0.1:8443"},
         {"classes", "JSON file of classes to add when they are not known yet.", "file"},
         {"tls-dir", "Folder of cert.pem and key.pem (made when missing).", "dir",
          defaultDataDir + "/tls"},
         {"admin-secret", "The administrator secret (made 0600 when missing).", "file"},
         {"max-students", "Students one class holds at most.", "number",
          QString::number(limits::studentsPerClass)},
         {"listen-plain", "Also plain HTTP here, for a front that ends TLS.", "host:port"},
         {"trusted-front",
          "A front whose PROXY header or X-Forwarded-For gives the client's address (repeatable).",
          "address"},
         {"admin-listen", "/healthz and /metrics here (else on --listen-plain only).", "host:port"},
         {"instance-id", "This instance's name in /healthz.", "name",
          QSysInfo::machineHostName() + "-" + QString::number(QCoreApplication::applicationPid())},
         {"lesson-log-days", "Days each class's lesson log is kept.", "days",
          QString::number(limits::lessonLogDays)},
         {"resync-seconds",
          "With other instances on one PostgreSQL database: everything is read again this often.",
          "seconds", QString::number(limits::resyncMs / 1000)}});
    parser.addOptions(connectionLimitOptions());
    parser.addOptions(databaseOptions());
    parser.addHelpOption();
    parser.process(arguments);
    QHostAddress address, plainAddress, adminAddress;
    quint16 port = 0, plainPort = 0, adminPort = 0;
    QList<QHostAddress> trustedFronts;
    bool numeric = false;
    const int maxStudents = parser.value("max-students").toInt(&numeric);
    bool numericDays = false;
    const int lessonLogDays = parser.value("lesson-log-days").toInt(&numericDays);
    bool numericResync = false;
    const int resyncSeconds = parser.value("resync-seconds").toInt(&numericResync);
    if (!parseListen(parser.value("listen"), address, port) || !numeric || maxStudents < 1 ||
        !parseOptionalListen(parser, "listen-plain", plainAddress, plainPort) ||
        !parseOptionalListen(parser, "admin-listen", adminAddress, adminPort) ||
        !parseTrustedFronts(parser.values("trusted-front"), trustedFronts) || !numericDays ||
        lessonLogDays < 1 || lessonLogDays > limits::maxLessonLogDays || !numericResync ||
        resyncSeconds < 1 || resyncSeconds > 24 * 3600 || !parser.positionalArguments().isEmpty())
        return usage();
    ConnectionLimits limits;
    if (const QString error = readConnectionLimits(parser, limits); !error.isEmpty()) {
        err() << "ka-tesmar-service: " << error << Qt::endl;
        return 2;
    }

    ClassFile classesFile;
    if (parser.isSet("classes")) {
        classesFile = readClassFile(parser.value("classes"));
        if (!classesFile.error.isEmpty()) {
            err() << "ka-tesmar-service: " << classesFile.error << Qt::endl;
            return 2;
        }
    }
    const auto store =
        openDatabase(parser.value("database"), parser.value("database-password-file"));
    if (!store)
        return 2;
    ClassRegister classes(*store);
    classes.setLessonLogDays(lessonLogDays);
    if (const QString error = classes.importClasses(classesFile.classes); !error.isEmpty()) {
        err() << "ka-tesmar-service: " << error << Qt::endl;
        return 2;
    }
    // An in-memory database without a given secret file: no administrator commands.
    const bool withoutAdmin =
        parser.value("database") == ":memory:" && !parser.isSet("admin-secret");
    const AdminSecret secret =
        withoutAdmin ? AdminSecret{} : loadOrCreateAdminSecret(adminSecretPath(parser));
    if (!secret.error.isEmpty()) {
        err() << "ka-tesmar-service: " << secret.error << Qt::endl;
        return 2;
    }
    const TlsPair tls = loadOrCreateTlsPair(parser.value("tls-dir"));
    if (!tls.error.isEmpty()) {
        err() << "ka-tesmar-service: " << tls.error << Qt::endl;
        return 2;
    }
    if (const QString note = fitToOpenFileLimit(limits, raiseOpenFileLimit()); !note.isEmpty())
        err() << "ka-tesmar-service: " << note << Qt::endl;
    if (limits.total < 1)
        return 1;
    quitOnTerminationSignals();
    StudentProtocol students(classes, maxStudents);
    TeacherAccounts teachers(*store, ClassRegister::systemNow);
    const InstanceSync sync(*store, classes, teachers, resyncSeconds * 1000);
    std::optional<DatabaseDeadline> deadline;  // for a database server, not a file
    if (store->serverSocket() >= 0)
        deadline.emplace(limits::databaseAnswerMs, [&store] { return store->serverSocket(); });
    // One line per request, written out once a second rather than line by line.
    ServiceServer server(classes, students, teachers, secret.value, tls.certificate, tls.key,
                         limits, [](const QString& line) { out() << line << '\n'; });
    server.setHealth(parser.value("instance-id"), [&store] { return store->reachable(); });
    QTimer logFlush;
    QObject::connect(&logFlush, &QTimer::timeout, [] { out().flush(); });
    logFlush.start(1000);
    const quint16 bound = server.listen(address, port);
    const quint16 plainBound = parser.isSet("listen-plain")
                                   ? server.listenPlain(plainAddress, plainPort, trustedFronts)
                                   : 1;
    const quint16 adminBound =
        parser.isSet("admin-listen") ? server.listenAdmin(adminAddress, adminPort) : 1;
    for (const auto& [option, listening] :
         {std::pair{"listen", bound}, {"listen-plain", plainBound}, {"admin-listen", adminBound}})
        if (listening == 0) {
            err() << "ka-tesmar-service: cannot listen on " << parser.value(option) << Qt::endl;
            return 1;
        }
    for (const ClassRecord& record : classes.all())
        out() << "Class " << escapedForLog(record.code) << ": " << escapedForLog(record.className)
              << " (" << (record.isBlocked ? "blocked" : "free") << ")" << Qt::endl;
    const QString host = urlHost(address);
    if (parser.isSet("listen-plain"))
        out() << "Behind a front on http://" << urlHost(plainAddress) << ":" << plainBound << "/"
              << Qt::endl;
    if (parser.isSet("admin-listen"))
        out() << "Health and metrics on http://" << urlHost(adminAddress) << ":" << adminBound
              << "/" << Qt::endl;
    out() << "Teacher page: https://" << host << ":" << bound << "/leerkracht/" << Qt::endl;
    out() << describe(limits) << Qt::endl;
    out() << "Listening on https://" << host << ":" << bound << "/" << Qt::endl;
    const int status = QCoreApplication::exec();
    classes.flushLastSeen();
    return status;
}

int teacherCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument("action", "add or reset");
    parser.addPositionalArgument("name", "The teacher's login name.");
    parser.addOptions(databaseOptions());
    parser.addOption({"display", "The name students see, such as \"Mevr. De Vries\".", "name"});
    parser.addHelpOption();
    parser.process(arguments);
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || (positional.at(0) != "add" && positional.at(0) != "reset"))
        return usage();
    const QString name = positional.at(1);
    if (!TeacherAccounts::isValidName(name)) {
        err() << "ka-tesmar-service: a teacher name is 1 to " << limits::teacherNameLength
              << " letters, digits and . _ @ -" << Qt::endl;
        return 2;
    }
    const auto displayName = TeacherAccounts::displayNameFrom(parser.value("display"));
    if (parser.isSet("display") && !displayName) {
        err() << "ka-tesmar-service: a display name is 1 to " << limits::displayNameLength
              << " characters" << Qt::endl;
        return 2;
    }
    if (!becomeOwnerOf(parser.value("database"))) {
        err() << "ka-tesmar-service: cannot take the database owner's identity" << Qt::endl;
        return 1;
    }
    const auto opened =
        openDatabase(parser.value("database"), parser.value("database-password-file"));
    if (!opened)
        return 1;
    SqlStore& store = *opened;
    const bool adding = positional.at(0) == "add";
    const std::optional<QString> password =
        adding ? TeacherAccounts::add(store, name) : TeacherAccounts::reset(store, name);
    if (!password) {
        err() << "ka-tesmar-service: " << (adding ? "there is a teacher " : "there is no teacher ")
              << name << (adding ? " already" : "") << Qt::endl;
        return 1;
    }
    const auto teacher = store.teacherByName(name);
    if (displayName && (!teacher || !store.setDisplayName(teacher->id, *displayName))) {
        err() << "ka-tesmar-service: the display name could not be stored" << Qt::endl;
        return 1;
    }
    out() << "Teacher " << name << ", one-time password: " << *password << Qt::endl
          << "It must be changed at the first login." << Qt::endl;
    if (displayName)
        out() << "Students see: " << *displayName << Qt::endl;
    return 0;
}

int classCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument("code", "The class code.");
    parser.addOptions({{"blocked", "Switch blocking on or off.", "on|off"},
                       {"domains", "Host names to block, comma-separated.", "a,b"},
                       {"ips", "Addresses to block, comma-separated.", "x,y"},
                       {"teacher", "The teacher account that owns the class.", "name"},
                       {"service", "The service's address.", "url", "https://127.0.0.1:8443"},
                       {"ca", "Certificate to trust besides the system's.", "file"},
                       {"admin-secret", "The service's administrator secret.", "file",
                        defaultDataDir + "/admin.secret"}});
    parser.addHelpOption();
    parser.process(arguments);
    if (parser.positionalArguments().size() != 1)
        return usage();
    ClassChange change;
    change.code = parser.positionalArguments().first();
    if (parser.isSet("blocked")) {
        change.blocked = parseSwitch(parser.value("blocked"));
        if (!change.blocked) {
            err() << "ka-tesmar-service: --blocked takes on or off" << Qt::endl;
            return 2;
        }
    }
    if (parser.isSet("domains"))
        change.domains = parseList(parser.value("domains"));
    if (parser.isSet("ips"))
        change.ips = parseList(parser.value("ips"));
    if (parser.isSet("teacher"))
        change.teacherAccount = parser.value("teacher");
    const AdminSecret secret = readAdminSecret(parser.value("admin-secret"));
    if (!secret.error.isEmpty()) {
        err() << "ka-tesmar-service: " << secret.error << Qt::endl;
        return 2;
    }
    const ChangeResult result =
        sendClassChange(parser.value("service"), parser.value("ca"), change, secret.value);
    (result.ok ? out() : err()) << result.message << Qt::endl;
    return result.ok ? 0 : 1;
}

int migrateCommand(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({{"from", "The school's SQLite database.", "file"},
                       {"to", "The PostgreSQL database to copy it to.", "url"},
                       passwordFileOption(),
                       {"replace", "Empty the PostgreSQL database first when it holds data."}});
    parser.addHelpOption();
    parser.process(arguments);
    const QString from = parser.value("from"), to = parser.value("to");
    if (from.isEmpty() || to.isEmpty() || !parser.positionalArguments().isEmpty())
        return usage();
    if (!isPostgresAddress(to)) {
        err() << "ka-tesmar-service: --to takes a PostgreSQL address, such as "
                 "postgresql://USER@HOST[:PORT]/NAME"
              << Qt::endl;
        return 2;
    }
    if (!QFileInfo(from).isFile()) {
        err() << "ka-tesmar-service: there is no database " << from << Qt::endl;
        return 2;
    }
    const auto source = openDatabase(from, {});
    const auto target = source ? openDatabase(to, parser.value("database-password-file")) : nullptr;
    if (!target)
        return 1;
    const StoreCopyResult copied = copyStore(*source, *target, parser.isSet("replace"));
    if (!copied.error.isEmpty()) {
        err() << "ka-tesmar-service: nothing was copied: " << copied.error << Qt::endl;
        return 1;
    }
    out() << "Copied " << from << " to " << to << ", every row compared:" << Qt::endl;
    for (const auto& [table, rows] : copied.tables)
        out() << "  " << table << ": " << rows << (rows == 1 ? " row" : " rows") << Qt::endl;
    return 0;
}

}  // namespace kt::service
