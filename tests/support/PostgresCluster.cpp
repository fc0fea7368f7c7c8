#include "PostgresCluster.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QUrl>
#include <cstdlib>

#include "QtTestSupport.h"

namespace kt::testing {
namespace {

const std::string bin = "/usr/lib/postgresql/15/bin/";

// "start FOLDER" and "stop FOLDER" the server, "signal FOLDER SIGNAL" all its
// processes, "create FOLDER NAME" a database; "guardian ADDRESSES" makes the
// folder, its password and the cluster (on TCP at ADDRESSES too, when given),
// starts it and says "ready FOLDER" (or why not) in one line, then waits for
// its input to close, which the test process does at its end or the system
// when it dies, and cleans up (continuing a halted server first).
const std::string script = "bin=" + bin + R"sh(
start() { $bin/pg_ctl start -D "$1/data" -w -s -l "$1/server.log" -o "-k $1 -F"; }
stop() { $bin/pg_ctl stop -D "$1/data" -m immediate -s; }
signal() { pid=$(head -n 1 "$1/data/postmaster.pid") && kill -"$2" "$pid" && pkill -"$2" -P "$pid"; }
create() { PGPASSWORD=$(cat "$1/password") $bin/createdb -h "$1" -U ka "$2"; }
[ "$0" = guardian ] || { "$0" "$@"; exit; }
trap '' PIPE HUP
dir=$(mktemp -d /tmp/kt-postgres-XXXXXX) || { echo "no temporary folder"; exit; }
(umask 077 && od -An -N8 -tx8 /dev/urandom | tr -d ' \n' >"$dir/password")
if $bin/initdb -D "$dir/data" -U ka --pwfile="$dir/password" -A scram-sha-256 -E UTF8 \
  --locale=C.UTF-8 -N >"$dir/server.log" 2>&1 &&
  echo "listen_addresses = '$1'" >>"$dir/data/postgresql.conf" && start "$dir"; then echo "ready $dir"
else echo "$(tail -n 5 "$dir/server.log" | tr '\n' ' ')"; fi
exec >/dev/null 2>&1
read -r line
signal "$dir" CONT
stop "$dir"
rm -rf "$dir"
)sh";

// The command line that runs the script with its verb and arguments as the
// cluster's owner (nobody when this process is root), in a session of its
// own and a plain environment.
std::string asOwner(const std::string& verbAndArguments) {
    std::string quoted = "'";
    for (const char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return std::string(::geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups "
                                        : "") +
           "env -i PATH=/usr/bin:/bin LC_ALL=C.UTF-8 setsid -w sh -c " + quoted + "' " +
           verbAndArguments;
}

}  // namespace

PostgresCluster& PostgresCluster::shared() {
    static PostgresCluster cluster;
    return cluster;
}

PostgresCluster::PostgresCluster() : tcpAddress_(qEnvironmentVariable(tcpVariable)) {
    qtApp();
    int input[2];
    if (::access((bin + "initdb").c_str(), X_OK) != 0)
        skipReason_ = bin + "initdb is missing: postgresql-15 (scripts/install-deps.sh)";
    else if (!QSqlDatabase::isDriverAvailable("QPSQL"))
        skipReason_ = "Qt SQL's PostgreSQL driver is missing: libqt6sql6-psql";
    else if (::pipe2(input, O_CLOEXEC) != 0 || ::fcntl(input[0], F_SETFD, 0) != 0)
        skipReason_ = "cannot make a pipe";
    if (!skipReason_.empty())
        return;
    // The guardian reads the pipe that only this process writes to.
    const std::string guardian = asOwner("guardian '" + tcpAddress_.toStdString() + "'") + " <&" +
                                 std::to_string(input[0]) + " 2>&1";
    guardian_ = ::popen(guardian.c_str(), "re");
    ::close(input[0]);
    guardianInput_ = input[1];
    char line[1024] = "";
    if (!guardian_ || !std::fgets(line, sizeof line, guardian_))
        line[0] = '\0';
    const std::string said = line;
    running_ = said.starts_with("ready /") && said.ends_with("\n");
    if (running_)
        base_ = QString::fromStdString(said.substr(6, said.size() - 7));
    else
        skipReason_ = "initdb or pg_ctl failed: " + said;
}

PostgresCluster::~PostgresCluster() {
    ::close(guardianInput_);
    if (guardian_)
        ::pclose(guardian_);  // waits until the guardian cleaned up
}

bool PostgresCluster::stop() {
    running_ = running_ &&
               std::system((asOwner("stop " + base_.toStdString()) + " >/dev/null 2>&1").c_str());
    return !running_;
}

bool PostgresCluster::start() {
    running_ = running_ ||
               !std::system((asOwner("start " + base_.toStdString()) + " >/dev/null 2>&1").c_str());
    return running_;
}

bool PostgresCluster::freeze(bool frozen) {
    const std::string signal = frozen ? " STOP" : " CONT";
    return running_ && !std::system(asOwner("signal " + base_.toStdString() + signal).c_str());
}

QString PostgresCluster::newDatabase() {
    const QString name = QStringLiteral("kt_%1").arg(++databases_);
    const std::string create = "create " + base_.toStdString() + " " + name.toStdString();
    if (!skipReason_.empty() || !start() || std::system(asOwner(create).c_str()) != 0)
        return {};
    const QString host = tcpAddress_.isEmpty() ? QUrl::toPercentEncoding(base_) : tcpAddress_;
    return "postgresql://ka@" + host + "/" + name;
}

}  // namespace kt::testing
