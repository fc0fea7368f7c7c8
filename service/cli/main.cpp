// ka-tesmar-service: the class service of Ka Tesmar, its teacher accounts and
// the administrator's switch that changes a class while it runs.
#include <sys/stat.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstring>

#include "cli/ServiceCommands.h"
#include "http/EpollEventDispatcher.h"

int main(int argc, char* argv[]) {
    ::umask(077);  // the database, the secret and the key are the service's alone
    // With thousands of open connections Qt's dispatchers (GLib's and its
    // own) spend most of each turn walking the list of sockets: serving runs
    // on epoll.
    if (argc > 1 && std::strcmp(argv[1], "serve") == 0) {
        auto* dispatcher = new kt::service::EpollEventDispatcher;
        if (dispatcher->valid())
            QCoreApplication::setEventDispatcher(dispatcher);  // the application owns it
        else
            delete dispatcher;
    }
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("ka-tesmar-service");
    QStringList arguments = QCoreApplication::arguments();
    const QString command = arguments.size() > 1 ? arguments.at(1) : QString();
    arguments.removeAt(qMin<qsizetype>(1, arguments.size() - 1));  // the parsers see the options
    if (command == "serve")
        return kt::service::serveCommand(arguments);
    if (command == "teacher")
        return kt::service::teacherCommand(arguments);
    if (command == "class")
        return kt::service::classCommand(arguments);
    if (command == "migrate")
        return kt::service::migrateCommand(arguments);
    std::fputs(qPrintable(kt::service::usageText()), stderr);
    return 2;
}
