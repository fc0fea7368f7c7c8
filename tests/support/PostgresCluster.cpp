#include "PostgresCluster.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "QtTestSupport.h"

namespace kt::testing {
namespace {

const std::string bin = "/usr/lib/postgresql/15/bin/";
// Shell commands run as the cluster's owner with the folder as $0.
const std::string startServer = bin +
                                "pg_ctl start -D \"$0/data\" -w -s -l \"$0/server.log\" "
                                "-o \"-k $0 -c listen_addresses= -F\"";
const std::string stopServer = bin + "pg_ctl stop -D \"$0/data\" -m immediate -s";
// Makes and starts the cluster, says "ready" (or why not), then waits for
// its input to close, which the test process does at its end or the system
// when it dies, and cleans up.
const std::string guardian =
    "trap '' PIPE HUP\n" + bin +
    "initdb -D \"$0/data\" -U ka --pwfile=\"$0/password\" -A scram-sha-256 -E UTF8 "
    "--locale=C.UTF-8 -N >\"$0/server.log\" 2>&1 && " +
    startServer + " && echo ready || tail -n 5 \"$0/server.log\"\n" +
    "exec >/dev/null 2>&1\nread -r line\n" + stopServer + "\nrm -rf \"$0\"\n";

// Runs `shellCommand` with $0 = `base`, as nobody when this process is root,
// in a session of its own and a plain environment; its output goes to `output`.
pid_t spawn(const std::string& shellCommand, const QString& base, int input, int output) {
    std::vector<std::string> words;
    if (::geteuid() == 0)
        words = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    for (const std::string& word :
         {std::string("/bin/sh"), std::string("-c"), shellCommand, base.toStdString()})
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    char path[] = "PATH=/usr/bin:/bin", locale[] = "LC_ALL=C.UTF-8";
    char* environment[] = {path, locale, nullptr};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::execve(argv.front(), argv.data(), environment);
        ::_exit(127);
    }
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

PostgresCluster& PostgresCluster::shared() {
    static PostgresCluster cluster;
    return cluster;
}

PostgresCluster::PostgresCluster() {
    qtApp();
    if (::access((bin + "initdb").c_str(), X_OK) != 0) {
        skipReason_ = bin + "initdb is missing: postgresql-15 (scripts/install-deps.sh)";
        return;
    }
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
        skipReason_ = "Qt SQL's PostgreSQL driver is missing: libqt6sql6-psql";
        return;
    }
    char folder[] = "/tmp/kt-postgres-XXXXXX";
    const passwd* nobody = ::getpwnam("nobody");
    if (!::mkdtemp(folder) || (::geteuid() == 0 && !nobody)) {
        skipReason_ = "no temporary folder, or no user nobody to run it as";
        return;
    }
    base_ = QString::fromLocal8Bit(folder);
    const QByteArray password = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const std::string passwordPath = passwordFile().toStdString();
    const int file = ::open(passwordPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const bool written = file >= 0 && ::write(file, password.data(), password.size()) > 0;
    if (file >= 0)
        ::close(file);
    const bool handedOver =
        ::geteuid() != 0 || (::chown(folder, nobody->pw_uid, nobody->pw_gid) == 0 &&
                             ::chown(passwordPath.c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
    int input[2], output[2];
    if (!written || !handedOver || ::pipe2(input, O_CLOEXEC) != 0 ||
        ::pipe2(output, O_CLOEXEC) != 0) {
        skipReason_ = "cannot write the password file for nobody, or make pipes";
        ::unlink(passwordPath.c_str());
        ::rmdir(folder);
        return;
    }
    guardian_ = spawn(guardian, base_, input[0], output[1]);
    ::close(input[0]);
    ::close(output[1]);
    guardianInput_ = input[1];
    std::string said;
    char buffer[512];
    for (ssize_t n; (n = ::read(output[0], buffer, sizeof buffer)) != 0;)
        if (n > 0)
            said.append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    ::close(output[0]);
    running_ = said == "ready\n";
    if (!running_ && skipReason_.empty())
        skipReason_ = "initdb or pg_ctl failed: " + said;
}

PostgresCluster::~PostgresCluster() {
    if (guardian_ > 0) {
        ::close(guardianInput_);
        waitFor(guardian_);
    }
}

int PostgresCluster::runAsOwner(const std::string& shellCommand) const {
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t pid = spawn(shellCommand, base_, devNull, devNull);
    ::close(devNull);
    return pid > 0 ? waitFor(pid) : -1;
}

bool PostgresCluster::stop() {
    running_ = running_ && runAsOwner(stopServer) != 0;
    return !running_;
}

bool PostgresCluster::start() {
    running_ = running_ || runAsOwner(startServer) == 0;
    return running_;
}

QString PostgresCluster::newDatabase() {
    if (!skipReason_.empty() || !start())
        return {};
    const QString name = QStringLiteral("kt_%1").arg(++databases_);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "kt-cluster");
        db.setConnectOptions("host=" + base_ + " dbname=postgres user=ka");
        QFile password(passwordFile());
        if (password.open(QIODevice::ReadOnly))
            db.setPassword(QString::fromLatin1(password.readAll()));
        if (!db.open() || !QSqlQuery(db).exec("CREATE DATABASE " + name))
            qWarning("cannot make a database: %s", qPrintable(db.lastError().text()));
    }
    QSqlDatabase::removeDatabase("kt-cluster");
    return "postgresql://ka@" + QUrl::toPercentEncoding(base_) + "/" + name;
}

}  // namespace kt::testing
