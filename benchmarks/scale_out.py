#!/usr/bin/env python3
"""The servers and measurements of scale-out.sh (which runs this inside
namespaces of its own): the students' status poll answered by one class
service instance, by two behind HAProxy and by nginx from memory, each on
core 0, measured with h2load on core 1, and the table of all three."""

import argparse
import collections
import http.client
import json
import math
import os
import re
import shutil
import socket
import ssl
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SERVER_CORE, LOAD_CORE = "0", "1"
CLASS_CODE = "BENCH1"
STATUS_PATH = "/Vexlo/api/class-status.php"
LOGIN_PATH = "/Vexlo/api/class-login.php"
POLL_SECONDS = 5
POSTGRES_BIN = "/usr/lib/postgresql/15/bin"
# The open-file limit of this machine (20,000, not to be raised without
# CAP_SYS_RESOURCE) allows one process about this many connections.
CONNECTIONS_PER_PROCESS = 9500
# One h2load process sends the polls of its clients in bunches of hundreds at
# the same moment. Students' computers poll each on their own clock, so the
# polling students are spread over many small processes, started one after
# the other over one poll interval.
POLLERS_PER_PROCESS = 200


def pinned(core, argv):
    return ["taskset", "-c", core] + [str(a) for a in argv]


class Server:
    """Processes started for one column, stopped together."""

    def __init__(self, name):
        self.name, self.processes, self.lines = name, [], {}

    def start(self, argv, wait_for=None, log=None):
        process = subprocess.Popen(pinned(SERVER_CORE, argv), stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, errors="replace")
        self.processes.append(process)
        found = threading.Event()
        pattern = re.compile(wait_for) if wait_for else None
        match = {}

        def drain():  # the request log is read away, so the server never waits for it
            with open(log, "a") if log else open(os.devnull, "w") as out:
                for line in process.stdout:
                    if found.is_set():
                        continue
                    out.write(line)
                    out.flush()
                    if pattern and pattern.search(line):
                        match["m"] = pattern.search(line)
                        found.set()

        threading.Thread(target=drain, daemon=True).start()
        if pattern and not found.wait(60):
            self.stop()
            sys.exit(f"scale-out: {argv[0]} did not start (see {log})")
        return match.get("m")

    def cpu_seconds(self):
        """The CPU time its processes and their children (nginx's workers,
        PostgreSQL's backends) have used so far."""
        pids = {p.pid for p in self.processes if p.poll() is None}
        for entry in os.listdir("/proc"):
            if entry.isdigit() and int(entry) not in pids:
                try:
                    if int(read_stat(entry)[1]) in pids:
                        pids.add(int(entry))
                except (OSError, IndexError):
                    pass
        total = 0
        for pid in pids:
            try:
                fields = read_stat(pid)
                total += int(fields[11]) + int(fields[12])  # utime, stime
            except (OSError, IndexError):
                pass
        return total / os.sysconf("SC_CLK_TCK")

    def stop(self):
        for process in self.processes:
            process.terminate()
        for process in self.processes:
            try:
                process.wait(20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def read_stat(pid):
    """/proc/PID/stat's fields after the command's name: state, ppid, ..."""
    with open(f"/proc/{pid}/stat") as stat:
        return stat.read().rsplit(")", 1)[1].split()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def class_file(work):
    # A block list of the size a school uses, every student in one class.
    record = {"code": CLASS_CODE, "class_name": "Klas 3B", "teacher_name": "Mevr. De Vries",
              "school_name": "Testschool", "is_blocked": True,
              "domains": [f"chat{i}.example.com" for i in range(1, 31)],
              "ips": ["203.0.113.7", "2001:db8::7"],
              "ip_ranges": [{"start": "198.51.100.1", "end": "198.51.100.1"}]}
    path = work / "classes.json"
    path.write_text(json.dumps([record]))
    return path


def service_argv(args, work, name, listen, extra=(), binary=None, database=None):
    return [binary or args.service, "serve", "--listen", listen, "--tls-dir", work / "tls",
            "--classes", work / "classes.json", "--database", database or work / f"{name}.db",
            "--admin-secret", work / f"{name}.secret", "--max-students", "100000",
            "--max-connections", "100000", "--max-connections-per-address", "100000", *extra]


def log_in(port, tls, count, first_address):
    """Logs `count` students in, 500 from each source address 127.1.x.y
    (the service allows 1,000 logins per address in 10 minutes); their tokens."""
    tokens = []
    context = ssl._create_unverified_context() if tls else None
    for start in range(0, count, 500):
        index = first_address + start // 500
        source = (f"127.1.{index // 250}.{index % 250 + 1}", 0)
        if tls:
            connection = http.client.HTTPSConnection("127.0.0.1", port, context=context,
                                                     source_address=source, timeout=30)
        else:
            connection = http.client.HTTPConnection("127.0.0.1", port, source_address=source,
                                                    timeout=30)
        for n in range(start, min(count, start + 500)):
            body = f"student_name=Leerling+{n}&class_code={CLASS_CODE}&device_id=pc-{n}"
            connection.request("POST", LOGIN_PATH, body,
                               {"Content-Type": "application/x-www-form-urlencoded"})
            reply = connection.getresponse()
            answer = json.loads(reply.read())
            if reply.status != 200:
                sys.exit(f"scale-out: login {n} got {reply.status}: {answer}")
            tokens.append(answer["session_token"])
        connection.close()
    return tokens


def status_reply(port, token):
    connection = http.client.HTTPSConnection(
        "127.0.0.1", port, context=ssl._create_unverified_context(), timeout=30)
    connection.request("GET", f"{STATUS_PATH}?token={token}")
    reply = connection.getresponse()
    body = reply.read()
    connection.close()
    if reply.status != 200:
        sys.exit(f"scale-out: the status poll got {reply.status}")
    return reply.getheader("Content-Type"), body


def percentile(values, fraction):
    if not values:
        return math.nan
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, math.ceil(fraction * len(ordered)) - 1)]


def h2load(args, work, port, uris, clients, extra, label, per_process=CONNECTIONS_PER_PROCESS,
           spread=0.0, duration=0.0):
    """Runs h2load on the load core; the counts of its summary and the
    per-request log (start in s since the launch, status, s until the end of
    the reply). The clients go to processes of at most `per_process`, started
    evenly over `spread` seconds; "DURATION" in `extra` becomes `duration`
    and what is left of the spread after the process's start, so that all of
    them end together."""
    uri_file = work / "uris.txt"
    uri_file.write_text("".join(f"https://127.0.0.1:{port}{STATUS_PATH}?token={t}\n"
                                for t in uris))
    parts = math.ceil(clients / per_process)
    shares = [clients // parts + (1 if i < clients % parts else 0) for i in range(parts)]
    logs = [work / f"h2load-{label}-{i}.log" for i in range(parts)]
    # Each process's output goes to a file: a pipe that is read only after the
    # processes before it ended would fill and stop the later ones in the
    # middle of their run.
    outputs = [work / f"h2load-{label}-{i}.out" for i in range(parts)]
    launched = time.time()
    runs = []
    for index, (share, log, output) in enumerate(zip(shares, logs, outputs)):
        delay = spread * index / parts
        time.sleep(max(0.0, launched + delay - time.time()))
        given = {"CLIENTS": share, "DURATION": f"{round((duration + spread - delay) * 1000)}ms"}
        with open(output, "w") as out:
            runs.append(subprocess.Popen(pinned(LOAD_CORE, [
                "h2load", "--h1", "-t", "1", "-c", share, "-i", uri_file, "--log-file", log,
                *[given.get(a, a) for a in extra]]),
                stdout=out, stderr=subprocess.STDOUT))
    result = {"total": 0, "succeeded": 0, "failed": 0, "rate": 0.0, "records": []}
    for run, log, output, share in zip(runs, logs, outputs, shares):
        try:
            run.wait(timeout=max(0, launched + 400 - time.time()))
            summary = output.read_text(errors="replace")
        except subprocess.TimeoutExpired:  # an h2load that hangs on connections the server dropped
            run.kill()
            run.wait()
            summary = output.read_text(errors="replace") + "\nkilled after 400 s"
        output.unlink(missing_ok=True)
        if args.verbose:
            print(summary, file=sys.stderr)
        done = re.search(r"requests: (\d+) total, (\d+) started, (\d+) done, (\d+) succeeded, "
                         r"(\d+) failed, (\d+) errored, (\d+) timeout", summary)
        rate = re.search(r"finished in [^,]+, ([\d.]+) req/s", summary)
        if done:
            result["total"] += int(done[1])
            result["succeeded"] += int(done[4])
            result["failed"] += int(done[5]) + int(done[6]) + int(done[7])
            result["rate"] += float(rate[1]) if rate else math.nan
        else:  # h2load ended without its summary: its share counts as failed
            print(f"scale-out: h2load ended early ({run.returncode}): "
                  f"{summary.strip().splitlines()[-1:]}", file=sys.stderr)
            result["failed"] += share
            result["crashed"] = True
        for line in log.read_text().splitlines() if log.exists() else []:
            start, status, micros = line.split("\t")
            result["records"].append((int(start) / 1e6 - launched, int(status),
                                      int(micros) / 1e6))
        log.unlink(missing_ok=True)
    return result


def burst(args, work, server, port, tokens, students):
    """`students` connecting at once, each with one poll: when each was
    TLS-ready (its request went out right after the handshake) and answered,
    in seconds from the start."""
    cpu = server.cpu_seconds()
    result = h2load(args, work, port, tokens, students,
                    ["-n", "CLIENTS", "-T", "120"], f"burst{students}")
    cpu = server.cpu_seconds() - cpu
    ok = [r for r in result["records"] if r[1] == 200]
    ready = [r[0] for r in ok]
    answered = [r[0] + r[2] for r in ok]
    lost = students - len(ok)
    refused = collections.Counter(r[1] for r in result["records"] if r[1] != 200)
    if refused:
        print(f"{students} at once: replies other than 200: {dict(refused)}", file=sys.stderr)
    return {"ready p99": percentile(ready, 0.99), "ready max": max(ready, default=math.nan),
            "answered p99": percentile(answered, 0.99),
            "answered max": max(answered, default=math.nan), "failures": lost,
            "cpu ms": cpu * 1000 / max(len(ok), 1)}


def keep_alive(args, work, server, port, tokens):
    """Polls as fast as the server answers, and the server's CPU time per poll:
    what a whole core would answer, however much of it the server got. A
    count rather than a duration: h2load may hang when its duration ends while
    a connection that the server ended (behind the front, after its 120th
    poll) is being opened again."""
    cpu = server.cpu_seconds()
    result = h2load(args, work, port, tokens, 100, ["-n", args.keep_alive_polls], "keepalive")
    cpu = server.cpu_seconds() - cpu
    answered = len([r for r in result["records"] if r[1] == 200])
    return {"polls/s": result["rate"], "failures": result["total"] - result["succeeded"],
            "cpu us": cpu * 1e6 / max(answered, 1), "per core": answered / cpu if cpu else math.nan}


def at_rate(args, work, port, tokens, students, warm_up):
    """`students` connections that poll every 5 s, as the application does;
    the reply times after the warm-up, in which they all connected, and
    after the last load process began, until a second before they end."""
    result = h2load(args, work, port, tokens, students,
                    ["--rps", 1 / POLL_SECONDS, "-D", "DURATION",
                     "--warm-up-time", warm_up, "-N", 70], f"rate{students}",
                    per_process=POLLERS_PER_PROCESS, spread=POLL_SECONDS, duration=args.seconds + 1)
    # The processes run a second longer than measured: in that second they end
    # and close all their connections together, which students never do.
    begin = warm_up + POLL_SECONDS
    if args.verbose:  # a steady shortfall repeats every 5 s; a late start only ramps up
        answered = collections.Counter(int(r[0]) for r in result["records"] if r[1] == 200)
        seconds = range(max(answered, default=-1) + 1)
        print(f"{students} polling: answered per second from the launch (window {begin} s to "
              f"{begin + args.seconds} s):", [answered[s] for s in seconds], file=sys.stderr)
    measured = [r for r in result["records"] if begin <= r[0] < begin + args.seconds]
    times = [r[2] for r in measured if r[1] == 200]
    # Lost connections show as failures and as fewer polls/s than students / 5.
    return {"polls/s": len(times) / args.seconds,
            "p99 ms": percentile(times, 0.99) * 1000,
            "failures": result["failed"] + len(measured) - len(times)}


def measure(args, work, server, port, tokens, probe=None):
    print(f"{server.name}: measuring", file=sys.stderr, flush=True)
    figures = {}
    slowest = 0.0
    for students in args.bursts:
        figures[f"burst {students}"] = b = burst(args, work, server, port, tokens, students)
        slowest = max(slowest, b["answered max"] if b["answered max"] == b["answered max"] else 60)
        time.sleep(2)  # the closed connections leave the server
    figures["keep-alive"] = keep_alive(args, work, server, port, tokens)
    # The polling run's connections open while the first of them already poll,
    # so they take longer than the burst's: twice its time, and at most 90 s
    # (a connection whose handshake waits longer than 60 s is dropped by the
    # service, and one whose handshake waits 65 s by HAProxy).
    warm_up = min(2 * math.ceil(slowest) + 10, 90)
    for students in args.pollers:
        figures[f"rate {students}"] = at_rate(args, work, port, tokens, students, warm_up)
        if probe and args.verbose:
            probe()
        time.sleep(2)
    return figures


def run_single(args, work, measured, binary=None):
    server = Server("service")
    port = free_port()
    name = f"baseline{len(os.listdir(work))}" if binary else "single"
    server.start(service_argv(args, work, name, f"127.0.0.1:{port}", binary=binary),
                 r"Listening on https://", work / f"{name}.out")
    try:
        tokens = log_in(port, True, args.logins if measured else 1, 0)
        reply = status_reply(port, tokens[0])
        return (measure(args, work, server, port, tokens) if measured else None), reply
    finally:
        server.stop()


def processes(args):
    """Processes of one server on core 0 that hold the most connections of a run."""
    return math.ceil(max(args.bursts + args.pollers) / CONNECTIONS_PER_PROCESS)


def haproxy_config(work, port, plain_ports, admin_ports):
    example = (ROOT / "packaging/service/haproxy.cfg.example").read_text()
    return (example.replace("bind :443", f"bind 127.0.0.1:{port}")
            .replace("/etc/haproxy/school.pem", str(work / "school.pem"))
            .replace("127.0.0.1:8081 port 9081", f"127.0.0.1:{plain_ports[0]} port {admin_ports[0]}")
            .replace("127.0.0.1:8082 port 9082", f"127.0.0.1:{plain_ports[1]} port {admin_ports[1]}")
            .replace("maxconn 60000", f"maxconn {CONNECTIONS_PER_PROCESS // 2}")
            .replace("\nglobal\n", "\nglobal\n    nbthread 1\n"))


def run_front(args, work):
    """Two instances on one database. With SQLite (until the instances share
    PostgreSQL) that is one file that the first instance logs the students
    into and both then load: each knows every token, as on a shared database."""
    server = Server("2 instances + HAProxy")
    plain_ports, admin_ports = [free_port(), free_port()], [free_port(), free_port()]

    database, extra = None, []
    if args.postgres:
        database = start_postgres(work, server)
        extra = ["--database-password-file", work / "pg/password"]

    def instance(index):
        return server.start(service_argv(args, work, "front", "127.0.0.1:0",
                                         ["--listen-plain", f"127.0.0.1:{plain_ports[index - 1]}",
                                          "--admin-listen", f"127.0.0.1:{admin_ports[index - 1]}",
                                          "--trusted-front", "127.0.0.1",
                                          "--instance-id", f"instance{index}", *extra],
                                         database=database),
                            r"Listening on https://", work / f"instance{index}.out")

    try:
        instance(1)
        tokens = log_in(plain_ports[0], False, args.logins, 100)
        if not database:
            server.stop()
            server.processes.clear()
            instance(1)
        instance(2)
        (work / "school.pem").write_bytes((work / "tls/cert.pem").read_bytes() +
                                          (work / "tls/key.pem").read_bytes())
        port = free_port()
        config = work / "haproxy.cfg"
        config.write_text(haproxy_config(work, port, plain_ports, admin_ports))
        # Processes of one thread each on the one port (SO_REUSEPORT), as
        # each holds two descriptors per student.
        for _ in range(2 * processes(args)):
            server.start(["haproxy", "-db", "-f", config], log=work / "haproxy.out")
        wait_for_port(port, work / "haproxy.out")
        time.sleep(3)  # both instances pass their first health checks
        return measure(args, work, server, port, tokens, lambda: print(
            "open connections per instance (at the end):",
            [open_connections(p) for p in admin_ports], file=sys.stderr))
    finally:
        server.stop()


def start_postgres(work, server):
    """A throwaway PostgreSQL cluster in `work` (a tmpfs of this namespace),
    run as nobody, on a Unix socket only; stopped with the server's processes."""
    folder = work / "pg"
    folder.mkdir()
    (folder / "password").write_text("bench-only\n")
    shutil.chown(folder, "nobody", "nogroup")
    shutil.chown(folder / "password", "nobody", "nogroup")
    os.chmod(work, 0o755)
    as_nobody = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
    subprocess.run(as_nobody + [f"{POSTGRES_BIN}/initdb", "-D", folder / "data", "-U", "ka",
                                f"--pwfile={folder}/password", "-A", "scram-sha-256", "-E", "UTF8",
                                "--locale=C.UTF-8", "-N"], check=True, capture_output=True)
    # The benchmark's own process (not pg_ctl's daemon), so that it stops with the rest.
    server.start(as_nobody + [f"{POSTGRES_BIN}/postgres", "-D", folder / "data", "-k", folder,
                              "-c", "listen_addresses=", "-F"],
                 r"ready to accept connections", work / "postgres.out")
    return f"postgresql://ka@{urllib.parse.quote(str(folder), safe='')}/postgres"


def open_connections(admin_port):
    """An instance's open connections, from its measurements on its admin address."""
    connection = http.client.HTTPConnection("127.0.0.1", admin_port, timeout=10)
    connection.request("GET", "/metrics")
    metrics = connection.getresponse().read().decode()
    return re.search(r"^ka_tesmar_open_connections (\d+)", metrics, re.M)[1]


def nginx_config(work, port, processes, content_type, body):
    quoted = body.decode().replace("\\", "\\\\").replace("'", "\\'")
    return f"""daemon off;
user root;
worker_processes {processes};
worker_rlimit_nofile {CONNECTIONS_PER_PROCESS + 500};
pid {work}/nginx.pid;
error_log {work}/nginx-error.log;
events {{ worker_connections {CONNECTIONS_PER_PROCESS}; }}
http {{
    access_log {work}/nginx-access.log;
    client_body_temp_path {work}/nginx-body;
    keepalive_requests 1000000;
    keepalive_timeout 65s;
    server {{
        listen 127.0.0.1:{port} ssl backlog=16384 reuseport;
        ssl_certificate {work}/tls/cert.pem;
        ssl_certificate_key {work}/tls/key.pem;
        location = {STATUS_PATH} {{
            default_type "{content_type}";
            return 200 '{quoted}';
        }}
    }}
}}
"""


def run_nginx(args, work, reply):
    server = Server("nginx")
    port = free_port()
    config = work / "nginx.conf"
    config.write_text(nginx_config(work, port, processes(args), *reply))
    try:
        server.start(["nginx", "-e", work / "nginx-error.log", "-p", work, "-c", config])
        wait_for_port(port, work / "nginx-error.log")
        if status_reply(port, "x")[1] != reply[1]:
            sys.exit("scale-out: nginx does not answer the service's status reply")
        return measure(args, work, server, port, ["x"])
    finally:
        server.stop()


def wait_for_port(port, log):
    for _ in range(200):
        try:
            socket.create_connection(("127.0.0.1", port), 1).close()
            return
        except OSError:
            time.sleep(0.05)
    sys.exit(f"scale-out: nothing listens on {port}:\n{log.read_text()}")


def row(name, values, reference, better):
    """One figure per column and its ratio to nginx's (the last column)."""
    cells = []
    for value in values:
        text = "—" if value != value else (f"{value:,.0f}" if value >= 100 else f"{value:.2f}")
        if better and reference and value == value and reference == reference:
            text += f" ({value / reference:.2f})"
        cells.append(text)
    return f"| {name} | " + " | ".join(cells) + " |"


def print_table(args, columns):
    names = list(columns)
    print(f"\n| figure | {' | '.join(names)} |")
    print("|---|" + "---:|" * len(names))
    nginx = columns[names[-1]]

    def line(label, key, field, unit_is_time=True):
        values = [columns[n][key][field] for n in names]
        print(row(label, values, nginx[key][field], True))

    for students in args.bursts:
        key = f"burst {students}"
        line(f"{students:,} at once: TLS ready s, p99", key, "ready p99")
        line(f"{students:,} at once: TLS ready s, max", key, "ready max")
        line(f"{students:,} at once: answered s, p99", key, "answered p99")
        line(f"{students:,} at once: answered s, max", key, "answered max")
        line(f"{students:,} at once: failures", key, "failures")
        line(f"{students:,} at once: server CPU ms per student", key, "cpu ms")
    line("keep-alive polls/s (100 connections)", "keep-alive", "polls/s")
    line("keep-alive: server CPU µs per poll", "keep-alive", "cpu us")
    line("keep-alive: polls per core-second", "keep-alive", "per core")
    line("keep-alive failures", "keep-alive", "failures")
    for students in args.pollers:
        key = f"rate {students}"
        line(f"{students:,} polling every 5 s: polls/s", key, "polls/s")
        line(f"{students:,} polling every 5 s: reply p99 ms", key, "p99 ms")
        line(f"{students:,} polling every 5 s: failures", key, "failures")
    print("\n(ratio) is the figure divided by nginx's.")


def goals(args, columns):
    names = list(columns)
    nginx = columns[names[-1]]
    print()
    for name in names[:-1]:
        c = columns[name]
        share = c["keep-alive"]["polls/s"] / nginx["keep-alive"]["polls/s"]
        per_core = c["keep-alive"]["per core"] / nginx["keep-alive"]["per core"]
        checks = [f"keep-alive {share:.2f} of nginx's rate, {per_core:.2f} of its polls per "
                  f"core-second (goal 0.8): {'met' if per_core >= 0.8 else 'missed'}"]
        key = f"burst {args.bursts[0]}"
        if key in c:
            times = c[key]["answered max"] / nginx[key]["answered max"]
            ok = times <= 1.25 and c[key]["failures"] == 0
            checks.append(f"{args.bursts[0]:,} burst {times:.2f} times nginx's, "
                          f"{c[key]['failures']:,.0f} failed (goal 1.25, none): "
                          f"{'met' if ok else 'missed'}")
        students = args.pollers[-1]
        key = f"rate {students}"
        # A connection that was closed stops polling without a failed request:
        # it shows as polls missing from the students' rate (the window's edges
        # cut a few off for any server).
        polls, due = c[key]["polls/s"], students / POLL_SECONDS
        ok = c[key]["p99 ms"] < 50 and c[key]["failures"] == 0 and polls >= 0.95 * due
        checks.append(f"{students:,} polling: {polls:,.0f} of {due:,.0f} polls/s, p99 "
                      f"{c[key]['p99 ms']:.1f} ms, {c[key]['failures']:,.0f} failed (goal: all, "
                      f"< 50 ms, none): {'met' if ok else 'missed'}")
        print(f"{name}: " + "; ".join(checks))


def measure_round(args, work):
    """Every column once, nginx last."""
    columns = {}
    for baseline in args.baseline:
        name, binary = baseline.split("=", 1)
        columns[f"1 instance, {name}"] = run_single(args, work, True, binary)[0]
    only = args.only or ["service", "front", "nginx"]
    single, reply = run_single(args, work, "service" in only)
    if single:
        columns["1 instance, own TLS"] = single
    if "front" in only:
        columns["2 instances + HAProxy"] = run_front(args, work)
    columns["nginx"] = run_nginx(args, work, reply)
    return columns


def median_columns(rounds):
    """Each figure's median over the rounds (with one round, that round)."""
    return {name: {key: {field: statistics.median(r[name][key][field] for r in rounds)
                         for field in figures}
                   for key, figures in column.items()}
            for name, column in rounds[0].items()}


def print_spread(rounds):
    """The keep-alive polls per core-second of each round against that round's
    nginx: how far the rounds lie apart."""
    print()
    for name in list(rounds[0])[:-1]:
        shares = [r[name]["keep-alive"]["per core"] / r["nginx"]["keep-alive"]["per core"]
                  for r in rounds]
        print(f"{name}: keep-alive polls per core-second against nginx's, by round: "
              + ", ".join(f"{share:.2f}" for share in shares))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    built = [ROOT / f"build/{preset}/service/ka-tesmar-service" for preset in ("release", "default")]
    parser.add_argument("--service", default=str(next((b for b in built if b.exists()), built[1])),
                        help="by default build/release's, else build/default's")
    parser.add_argument("--baseline", action="append", default=[], metavar="NAME=BINARY",
                        help="another build of the service, measured alone beside this one "
                        "(benchmarks/build-baseline.sh); repeatable")
    parser.add_argument("--quick", action="store_true", help="small counts, for a first try")
    parser.add_argument("--postgres", action="store_true",
                        help="the two instances share a throwaway PostgreSQL cluster "
                        "(else one SQLite file)")
    parser.add_argument("--only", choices=["service", "front", "nginx"], action="append")
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--bursts", help="students at once, such as 10000,20000")
    parser.add_argument("--pollers", help="students polling every 5 s, such as 10000,20000")
    parser.add_argument("--rounds", type=int, default=1,
                        help="measures every column this often, in turns, and reports each "
                        "figure's median (a shared machine's speed drifts between runs)")
    args = parser.parse_args()
    args.bursts = ([int(n) for n in args.bursts.split(",")] if args.bursts
                   else [1000, 2000] if args.quick else [10000, 20000])
    args.pollers = ([int(n) for n in args.pollers.split(",")] if args.pollers
                    else [500, 1000] if args.quick else [10000, 20000])
    args.seconds = 5 if args.quick else 20
    args.keep_alive_polls = 30_000 if args.quick else 300_000
    args.logins = 1000 if args.quick else 4000
    if not os.access(args.service, os.X_OK):
        sys.exit(f"scale-out: no service at {args.service} (build it, or give --service)")

    work = Path(tempfile.mkdtemp(prefix="kt-scale-out-"))
    class_file(work)
    try:
        print(f"load average before: {open('/proc/loadavg').read().split()[:3]}", flush=True)
        rounds = [measure_round(args, work) for _ in range(args.rounds)]
        print(f"load average after: {open('/proc/loadavg').read().split()[:3]}", flush=True)
        if args.rounds > 1:
            print_spread(rounds)
        columns = median_columns(rounds)
        print_table(args, columns)
        goals(args, columns)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
