#!/usr/bin/env python3
"""Slow clients against `glimmark serve`: the benchmark of the host's HTTP layer.

Starts the host (its own registry, key and port, access log off), then opens
ATTACKERS connections from loopback addresses 127.0.40.x (8 per address, within
the per-address limit), each sending a request line and then one header byte
every TRICKLE seconds, reopening any connection the host cuts. Meanwhile one
well-formed client, from 127.0.0.1 on one kept-alive connection, fetches the
form, the picture, and posts the right answer (learned with `glimmark verify
--key-file`, outside the timing), round after round: first SECONDS alone (the
machine's own noise), then SECONDS under the attack. Prints the client's
latencies in both (p50, p99, max; target p99 <= 50 ms), whether every request
was answered, what the attackers got, and then, after the attackers have
closed, how many connections the host still holds (target: none). Exits 1
when a request went unanswered or a connection stayed held.

    python3 bench/slow_clients.py [--glimmark build/release/tools/glimmark/glimmark]
                                  [--seconds 30] [--attackers 256] [--trickle 2]

Loopback only; bounded in time and count; stops the host it started.
"""
import argparse
import http.client
import json
import os
import re
import selectors
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

PER_ADDRESS = 8  # attackers from one source address (the host allows 16)
PASSWORD = "bench-pw"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(share * len(ordered)))]


class Attackers:
    """ATTACKERS connections trickling a head, each reopened when cut."""

    def __init__(self, port, count, trickle):
        self.port, self.count, self.trickle = port, count, trickle
        self.selector = selectors.DefaultSelector()
        self.sockets = {}
        self.opened = self.cut = self.refused = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def open(self, slot):
        source = "127.0.40.%d" % (1 + slot // PER_ADDRESS)
        s = socket.socket()
        s.bind((source, 0))
        s.connect(("127.0.0.1", self.port))
        s.sendall(b"GET /captcha HTTP/1.1\r\nHost: bench\r\nX-Slow: ")
        s.setblocking(False)
        self.sockets[slot] = s
        self.selector.register(s, selectors.EVENT_READ, slot)
        self.opened += 1

    def close(self, slot):
        s = self.sockets.pop(slot)
        self.selector.unregister(s)
        s.close()

    def reopen_if_answered(self, timeout):
        for key, _ in self.selector.select(timeout):
            slot = key.data
            try:
                data = key.fileobj.recv(4096)
            except OSError:
                data = b""
            if data.startswith(b"HTTP/1.1 503"):
                self.refused += 1
            else:
                self.cut += 1
            self.close(slot)
            if not self.stop.is_set():
                self.open(slot)

    def run(self):
        next_byte = time.monotonic() + self.trickle
        while not self.stop.is_set():
            self.reopen_if_answered(0.05)
            if time.monotonic() >= next_byte:
                next_byte += self.trickle
                for slot, s in list(self.sockets.items()):
                    try:
                        s.send(b"a")
                    except OSError:
                        pass  # cut: the read side reopens it

    def start(self):
        for slot in range(self.count):
            self.open(slot)
        self.thread.start()

    def finish(self):
        self.stop.set()
        self.thread.join()
        for slot in list(self.sockets):
            self.close(slot)


def held_connections(pid):
    """Sockets the host process holds, less its listening socket."""
    fds = os.listdir("/proc/%d/fd" % pid)
    sockets = 0
    for fd in fds:
        try:
            if os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:"):
                sockets += 1
        except OSError:
            pass
    return sockets - 1


def run_client(args, port, key, env):
    """Rounds of form, picture and right answer for args.seconds; latencies per path."""
    result = {"latencies": {"/": [], "/captcha": [], "/verify": []}, "sent": 0, "answered": 0,
              "accepted": 0}
    client = http.client.HTTPConnection("127.0.0.1", port, timeout=10)

    def timed(method, path, body=None, headers=None):
        result["sent"] += 1
        began = time.perf_counter()
        try:
            client.request(method, path, body=body, headers=headers or {})
            response = client.getresponse()
            data = response.read()
        except (OSError, http.client.HTTPException):
            client.close()
            return None, b""
        result["latencies"][path.split("?")[0]].append(time.perf_counter() - began)
        result["answered"] += 1
        return response.status, data

    end = time.monotonic() + args.seconds
    while time.monotonic() < end:
        status, form = timed("GET", "/")
        envelope = re.search(rb'name="token" value="([^"]+)"', form or b"")
        if status != 200 or envelope is None:
            continue
        envelope = envelope.group(1).decode()
        timed("GET", "/captcha?token=" + envelope)
        answer = json.loads(subprocess.run(
            [args.glimmark, "verify", "--key-file", key, "--password", PASSWORD, "--token",
             envelope, "--json"], env=env, check=True, capture_output=True, text=True).stdout)
        status, verdict = timed("POST", "/verify", "token=%s&answer=%s" % (envelope,
                                                                           answer["text"]),
                                {"Content-Type": "application/x-www-form-urlencoded",
                                 "Accept": "application/json"})
        if status == 200 and b'"ok": true' in verdict:
            result["accepted"] += 1
    client.close()
    return result


def report(title, result):
    print("  %s: %d of %d requests answered, %d right answers accepted"
          % (title, result["answered"], result["sent"], result["accepted"]))
    everything = []
    for path, values in result["latencies"].items():
        everything += values
        if values:
            print("    %-9s n=%-4d p50 %6.2f ms  p99 %6.2f ms  max %6.2f ms"
                  % (path, len(values), 1000 * percentile(values, 0.5),
                     1000 * percentile(values, 0.99), 1000 * max(values)))
    if everything:
        p99 = 1000 * percentile(everything, 0.99)
        print("    all: p99 %.2f ms (target <= 50 ms: %s)" % (p99, "met" if p99 <= 50 else "not met"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--glimmark", default="build/release/tools/glimmark/glimmark")
    parser.add_argument("--seconds", type=float, default=30, help="for each of the two phases")
    parser.add_argument("--attackers", type=int, default=256)
    parser.add_argument("--trickle", type=float, default=2)
    args = parser.parse_args()

    scratch = tempfile.mkdtemp(prefix="glimmark-slow-clients-")
    env = dict(os.environ, GLIMMARK_REGISTRY=os.path.join(scratch, "registry.db"))
    key = os.path.join(scratch, "key")
    with open(key, "wb") as out:
        out.write(os.urandom(32))
    subprocess.run([args.glimmark, "register", "--user"], env=env, check=True,
                   stdout=subprocess.DEVNULL)
    port = free_port()
    host = subprocess.Popen([args.glimmark, "serve", "--port", str(port), "--password", PASSWORD,
                             "--key-file", key, "--quiet"], env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)
    try:
        if "serving on" not in host.stdout.readline():
            sys.exit("the host did not start")
        quiet = run_client(args, port, key, env)
        attackers = Attackers(port, args.attackers, args.trickle)
        attackers.start()
        time.sleep(1)  # every attacker connected and trickling
        attacked = run_client(args, port, key, env)
        during = held_connections(host.pid)
        attackers.finish()

        held, waited = held_connections(host.pid), 0.0
        while held > 0 and waited < 5:
            time.sleep(0.1)
            waited += 0.1
            held = held_connections(host.pid)

        print("slow clients: %d connections from %d addresses, a header byte every %g s"
              % (args.attackers, (args.attackers + PER_ADDRESS - 1) // PER_ADDRESS, args.trickle))
        print("  attackers: %d connections opened, %d cut by the head deadline, %d refused 503"
              % (attackers.opened, attackers.cut, attackers.refused))
        report("well-formed client alone", quiet)
        report("well-formed client under attack", attacked)
        print("  held by the host at the end of the attack: %d connections" % during)
        print("  held by the host after the attackers closed: %d connections (after %.1f s)"
              % (held, waited))
        answered_all = all(r["answered"] == r["sent"] for r in (quiet, attacked))
        return 0 if answered_all and held == 0 else 1
    finally:
        host.send_signal(signal.SIGTERM)
        try:
            host.wait(timeout=30)
        except subprocess.TimeoutExpired:
            host.kill()
        subprocess.run(["rm", "-rf", scratch])


if __name__ == "__main__":
    sys.exit(main())
