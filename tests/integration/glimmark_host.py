"""What the integration tests share: running the glimmark tool, starting its
page host on a free loopback port and stopping it, fetching pages.

The tests run installed or unpacked copies of the tool, in temporary folders,
against a registry file of their own; nothing here touches the user's
registry or home.
"""

import os
import re
import signal
import subprocess
import threading
import time
import urllib.error
import urllib.request

# How long a host may take to start, and to stop after SIGTERM.
START_SECONDS = 30
STOP_SECONDS = 10


def environment(registry, home):
    """The tool's environment: its own registry file and home, and nothing
    inherited that could point it at the build tree's libraries."""
    env = {k: v for k, v in os.environ.items() if k not in ("LD_LIBRARY_PATH", "XDG_DATA_HOME")}
    env["GLIMMARK_REGISTRY"] = registry
    env["HOME"] = home
    return env


def run(tool, args, env, expect=0):
    """Runs the tool; fails the test with its messages unless it exits `expect`."""
    done = subprocess.run([tool] + args, env=env, capture_output=True, text=True, timeout=120)
    if done.returncode != expect:
        raise AssertionError(f"{tool} {' '.join(args)}: exit {done.returncode}, expected "
                             f"{expect}\n{done.stdout}{done.stderr}")
    return done.stdout


def fetch(url, headers=None, data=None):
    """(status, content type, body) of a request; HTTP refusals are answers too."""
    request = urllib.request.Request(url, data=data, headers=headers or {})
    try:
        with urllib.request.urlopen(request, timeout=15) as answer:
            return answer.status, answer.headers.get("Content-Type"), answer.read()
    except urllib.error.HTTPError as refusal:
        with refusal:
            return refusal.code, refusal.headers.get("Content-Type"), refusal.read()


class Server:
    """A server process that prints "serving on http://ADDRESS:PORT/" first.

    Used as a context manager: started on entry, stopped with SIGTERM on exit
    (killed if it outlives STOP_SECONDS)."""

    def __init__(self, command, env):
        self.command = command
        self.env = env
        self.process = None
        self.url = None
        self.exit_code = None

    def __enter__(self):
        self.process = subprocess.Popen(self.command, env=self.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()  # blocks until the first line or exit
        match = re.match(r"serving on (http://[^/]+/)", line)
        if not match:
            self.process.kill()
            _, err = self.process.communicate(timeout=START_SECONDS)
            raise AssertionError(f"{' '.join(self.command)} did not start: {line}{err}")
        self.url = match.group(1)
        # Whatever else it prints (an access log) is read away, so that a full
        # pipe never stalls it.
        self.output = []
        for stream in (self.process.stdout, self.process.stderr):
            threading.Thread(target=self.output.extend, args=(stream,), daemon=True).start()
        return self

    def stop(self):
        """SIGTERM; returns (exit code, seconds it took)."""
        if self.exit_code is not None:
            return self.exit_code, 0.0
        started = time.monotonic()
        self.process.send_signal(signal.SIGTERM)
        try:
            self.exit_code = self.process.wait(timeout=STOP_SECONDS)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError(f"{self.command[0]} outlived SIGTERM by {STOP_SECONDS} s")
        return self.exit_code, time.monotonic() - started

    def __exit__(self, *failure):
        if self.process.poll() is None:
            self.stop()


def serve(tool, env, *args):
    """The tool's page host on a free loopback port."""
    return Server([tool, "serve", "--bind", "127.0.0.1", "--port", "0"] + list(args), env)


def write_key(path):
    """A host key file, as README says to make one."""
    with open(path, "wb") as key:
        key.write(os.urandom(32))
    os.chmod(path, 0o600)
    return path


def form_envelope(page):
    """The envelope in the hidden field of a challenge form."""
    match = re.search(rb'name="token" value="([A-Za-z0-9_-]+)"', page)
    if not match:
        raise AssertionError(f"no envelope in the page: {page[:400]!r}")
    return match.group(1).decode()


def answer_of(tool, env, key_file, password, envelope):
    """The text of an envelope, as an operator learns it: `glimmark verify
    --key-file` with the host's key. The host offers no way to ask it."""
    out = run(tool, ["verify", "--key-file", key_file, "--password", password,
                     "--token", envelope], env)
    return re.match(r"text: (.*)\n", out).group(1)
