// ka-tesmar-service: the reference class service of Ka Tesmar, and the
// teacher's switch that changes a class while it runs.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>
#include <cstdio>

#include "ClassService.h"
#include "ServiceServer.h"
#include "TeacherSwitch.h"
#include "TlsFiles.h"

namespace {

using namespace kt::service;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}
QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

const char* usage =
    "usage:\n"
    "  ka-tesmar-service serve --listen 127.0.0.1:8443 --classes FILE --tls-dir DIR\n"
    "  ka-tesmar-service class CODE [--blocked on|off] [--domains a,b] [--ips x,y]\n"
    "                          --service https://127.0.0.1:8443 --ca DIR/cert.pem\n";

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

int serve(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({{"listen", "Address and port to listen on.", "host:port", "127.0.0.1:8443"},
                       {"classes", "JSON file with the classes.", "file"},
                       {"tls-dir", "Folder of cert.pem and key.pem (made when missing).", "dir"}});
    parser.addHelpOption();
    parser.process(arguments);
    QHostAddress address;
    quint16 port = 0;
    if (!parseListen(parser.value("listen"), address, port) || !parser.isSet("classes") ||
        !parser.isSet("tls-dir")) {
        err() << usage << Qt::flush;
        return 2;
    }
    ClassStore classes;
    if (const QString error = classes.loadFile(parser.value("classes")); !error.isEmpty()) {
        err() << "ka-tesmar-service: " << error << Qt::endl;
        return 2;
    }
    const TlsPair tls = loadOrCreateTlsPair(parser.value("tls-dir"));
    if (!tls.error.isEmpty()) {
        err() << "ka-tesmar-service: " << tls.error << Qt::endl;
        return 2;
    }
    ClassService service(classes);
    ServiceServer server(service, tls.certificate, tls.key,
                         [](const QString& line) { out() << line << Qt::endl; });
    const quint16 bound = server.listen(address, port);
    if (bound == 0) {
        err() << "ka-tesmar-service: cannot listen on " << parser.value("listen") << Qt::endl;
        return 1;
    }
    for (const ClassRecord& record : service.classes().all())
        out() << "Class " << record.code << ": " << record.className << " ("
              << (record.isBlocked ? "blocked" : "free") << ")" << Qt::endl;
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? "[" + address.toString() + "]"
                             : address.toString();
    out() << "Listening on https://" << host << ":" << bound << "/" << Qt::endl;
    return QCoreApplication::exec();
}

int switchClass(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addPositionalArgument("code", "The class code.");
    parser.addOptions({{"blocked", "Switch blocking on or off.", "on|off"},
                       {"domains", "Host names to block, comma-separated.", "a,b"},
                       {"ips", "Addresses to block, comma-separated.", "x,y"},
                       {"service", "The service's address.", "url", "https://127.0.0.1:8443"},
                       {"ca", "Certificate to trust besides the system's.", "file"}});
    parser.addHelpOption();
    parser.process(arguments);
    if (parser.positionalArguments().size() != 1) {
        err() << usage << Qt::flush;
        return 2;
    }
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
    const SwitchResult result =
        sendClassChange(parser.value("service"), parser.value("ca"), change);
    (result.ok ? out() : err()) << result.message << Qt::endl;
    return result.ok ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ka-tesmar-service");
    QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.size() > 1 ? arguments.at(1) : QString();
    if (command != "serve" && command != "class") {
        err() << usage << Qt::flush;
        return 2;
    }
    arguments.removeAt(1);  // the parsers see the program name and the options
    return command == "serve" ? serve(arguments) : switchClass(arguments);
}
