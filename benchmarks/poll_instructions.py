#!/usr/bin/env python3
"""Instructions per kept-alive status poll and per connection, counted by
callgrind in the server's own process, for builds of the service and for
nginx answering the same reply, side by side in one run.

A count of instructions does not drift with the machine's load, as the CPU
time of `scale-out.sh` does, so it tells two builds apart by a few percent.
What it leaves out is the kernel's part, which is about the same for every
server here (the same TLS records over the same loopback).

    python3 benchmarks/poll_instructions.py [--service BINARY] [--baseline NAME=BINARY]...

It needs valgrind, h2load (nghttp2-client) and nginx (`apt-get install
valgrind nghttp2-client nginx-light`).

Each server runs under callgrind, warmed up by one round of connections. Then
20 connections make one poll each and close (per connection: handshake, poll,
close), and 20 more make 101 polls each (the 2,000 after the first, divided
out, are the kept-alive poll's cost).
"""
import argparse
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import scale_out
from scale_out import STATUS_PATH, Server, class_file, free_port, log_in, service_argv

CONNECTIONS = 20
KEPT_ALIVE_POLLS = 100  # per connection, after its first


def counted(pid, work, label):
    """Has callgrind write its counters of `pid` since they were last zeroed;
    the instructions counted."""
    subprocess.run(["callgrind_control", "--dump=" + label, str(pid)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(300):  # the process writes it itself, at its next instruction block
        for dump in work.glob(f"callgrind.out.{pid}.*"):
            totals = re.search(r"^(?:totals|summary): (\d+)", dump.read_text(errors="replace"),
                               re.M)
            if totals:
                dump.rename(work / f"callgrind.{label}")
                return int(totals.group(1))
        time.sleep(0.2)
    sys.exit(f"poll-instructions: callgrind wrote no counts for {label}")


def zero(pid):
    subprocess.run(["callgrind_control", "--zero", str(pid)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def polls(port, token, requests):
    uri = f"https://127.0.0.1:{port}{STATUS_PATH}?token={token}"
    done = subprocess.run(["h2load", "--h1", "-c", str(CONNECTIONS), "-n", str(requests), uri],
                          capture_output=True, text=True, timeout=600)
    answered = re.search(r"status codes: (\d+) 2xx", done.stdout)
    if not answered or int(answered.group(1)) != requests:
        sys.exit(f"poll-instructions: h2load did not get {requests} answers:\n{done.stdout}")


def measure(pid, work, port, token, name):
    polls(port, token, CONNECTIONS)  # warm-up: TLS context, class reply, allocator
    zero(pid)
    polls(port, token, CONNECTIONS)
    per_connection = counted(pid, work, f"{name}-connections") / CONNECTIONS
    zero(pid)
    polls(port, token, CONNECTIONS * (1 + KEPT_ALIVE_POLLS))
    kept = counted(pid, work, f"{name}-kept-alive") - per_connection * CONNECTIONS
    return per_connection, kept / (CONNECTIONS * KEPT_ALIVE_POLLS)


def under_callgrind(work, argv):
    return ["valgrind", "--tool=callgrind", f"--callgrind-out-file={work}/callgrind.out.%p",
            "--dump-instr=no", *argv]


def run_service(args, work, name, binary):
    server = Server(name)
    port = free_port()
    argv = service_argv(args, work, name, f"127.0.0.1:{port}", binary=binary)
    server.start(under_callgrind(work, argv), r"Listening on https://", work / f"{name}.out")
    try:
        token = log_in(port, True, 1, 0)[0]
        return measure(server.processes[0].pid, work, port, token, name)
    finally:
        server.stop()


def run_nginx(args, work, reply):
    server = Server("nginx")
    port = free_port()
    config = scale_out.nginx_config(work, port, 1, *reply).replace(
        "daemon off;", "daemon off;\nmaster_process off;")
    (work / "nginx.conf").write_text(config)
    server.start(under_callgrind(work, ["nginx", "-e", work / "nginx-error.log", "-p", work,
                                        "-c", work / "nginx.conf"]))
    try:
        scale_out.wait_for_port(port, work / "nginx-error.log")
        return measure(server.processes[0].pid, work, port, "x", "nginx")
    finally:
        server.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    built = [scale_out.ROOT / "build" / kind / "service" / "ka-tesmar-service"
             for kind in ("release", "default")]
    parser.add_argument("--service", default=str(next((b for b in built if b.exists()), built[1])))
    parser.add_argument("--baseline", action="append", default=[], metavar="NAME=BINARY")
    parser.add_argument("--keep", metavar="DIR",
                        help="keep callgrind's files there, for callgrind_annotate")
    args = parser.parse_args()
    missing = [t for t in ("valgrind", "callgrind_control", "h2load", "nginx") if not shutil.which(t)]
    if missing:
        sys.exit("poll-instructions: missing " + ", ".join(missing) +
                 "; apt-get install valgrind nghttp2-client nginx-light")
    # The same class and limits as scale-out.sh's.
    with tempfile.TemporaryDirectory() as temp:
        work = Path(temp)
        class_file(work)
        columns = {}
        for name, binary in [b.split("=", 1) for b in args.baseline] + [("this", args.service)]:
            print(f"{name}: counting", flush=True)
            columns[name] = run_service(args, work, name, binary)
        # nginx gets the service's own reply, as in scale-out.sh.
        plain = Server("reply")
        port = free_port()
        plain.start(service_argv(args, work, "reply", f"127.0.0.1:{port}"),
                    r"Listening on https://", work / "reply.out")
        try:
            reply = scale_out.status_reply(port, log_in(port, True, 1, 0)[0])
        finally:
            plain.stop()
        print("nginx: counting", flush=True)
        columns["nginx"] = run_nginx(args, work, reply)
        if args.keep:
            Path(args.keep).mkdir(parents=True, exist_ok=True)
            for counts in work.glob("callgrind.*-*"):
                shutil.copy(counts, args.keep)

    nginx = columns["nginx"]
    print("\n| instructions | " + " | ".join(columns) + " |")
    print("|---|" + "---:|" * len(columns))
    for index, label in enumerate(["per connection (handshake, one poll, close)",
                                   "per kept-alive poll"]):
        cells = [f"{c[index]:,.0f} ({c[index] / nginx[index]:.2f})" for c in columns.values()]
        print(f"| {label} | " + " | ".join(cells) + " |")
    print("\n(ratio) is the figure divided by nginx's.")


if __name__ == "__main__":
    main()
