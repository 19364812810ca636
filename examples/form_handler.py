#!/usr/bin/env python3
"""A site of its own that protects a form with challenges from a Glimmark host.

Standard library only. The site never sees the challenge text: it asks the
host for a challenge (GET /challenge with Accept: application/json), shows the
picture and keeps the host's sealed token in a hidden field, and on submission
asks the host whether the answer is right (POST /verify). The browser talks to
this site only; the picture is passed through, so the host can stay on
127.0.0.1.

    python3 form_handler.py --host http://127.0.0.1:8080 [--bind 127.0.0.1] [--port 8000]

--port 0 picks a free port; the first line printed says where it serves.
"""

import argparse
import html
import json
import signal
import sys
import urllib.error
import urllib.parse
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

# How long a call to the host may take before the visitor is told to retry.
HOST_TIMEOUT_SECONDS = 5
# Largest form this site accepts: a name, an answer and a token.
MAX_FORM_BYTES = 4096


class HostUnavailable(Exception):
    """The Glimmark host did not answer, or not as expected."""


class GlimmarkHost:
    """The two calls a site makes to the host."""

    def __init__(self, base_url):
        self.base_url = base_url.rstrip("/")

    def _call(self, path, body=None, client=None):
        headers = {"Accept": "application/json"}
        data = None
        if body is not None:
            data = urllib.parse.urlencode(body).encode("ascii")
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        if client:
            # The host limits wrong answers per client: say whose answer it is
            # (the host believes this only from a proxy it trusts).
            headers["X-Forwarded-For"] = client
        request = urllib.request.Request(self.base_url + path, data=data, headers=headers)
        try:
            with urllib.request.urlopen(request, timeout=HOST_TIMEOUT_SECONDS) as answer:
                return answer.status, answer.headers, answer.read()
        except urllib.error.HTTPError as refusal:  # 4xx/5xx still carry an answer
            with refusal:
                return refusal.code, refusal.headers, refusal.read()
        except (urllib.error.URLError, OSError) as failure:
            raise HostUnavailable(str(failure)) from failure

    def new_challenge(self):
        """{"token", "picture", "expires"} of a new challenge."""
        status, _, body = self._call("/challenge")
        if status != 200:
            raise HostUnavailable(f"/challenge answered {status}")
        return json.loads(body)

    def picture(self, token):
        """(content type, bytes) of a challenge's picture, or None if refused."""
        query = urllib.parse.urlencode({"token": token})
        status, headers, body = self._call("/captcha?" + query)
        return (headers.get("Content-Type"), body) if status == 200 else None

    def check(self, token, answer, client):
        """(accepted, reason) for an answer."""
        status, headers, body = self._call(
            "/verify", {"token": token, "answer": answer}, client)
        if headers.get("Content-Type", "").startswith("application/json"):
            verdict = json.loads(body)
            return verdict.get("ok") is True, verdict.get("reason", "")
        # Refusals before the verdict (too many answers, a malformed form)
        # come as one line of text.
        return False, body.decode("utf-8", "replace").strip() or f"refused ({status})"


PAGE = """<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Sign up</title></head>
<body>
<h1>Sign up</h1>
{message}
<form method="post" action="/">
<p><label>Name <input name="name" value="{name}"></label></p>
<p><img src="/picture?token={token_query}" alt="challenge picture"></p>
<input type="hidden" name="token" value="{token}">
<p><label>Type the characters you see <input name="answer" autocomplete="off"></label></p>
<p><button>Send</button></p>
</form>
</body></html>
"""


class FormHandler(BaseHTTPRequestHandler):
    host = None  # a GlimmarkHost, set before serving

    def do_GET(self):
        target = urllib.parse.urlsplit(self.path)
        if target.path == "/":
            self._form("", "")
        elif target.path == "/picture":
            token = urllib.parse.parse_qs(target.query).get("token", [""])[0]
            self._picture(token)
        else:
            self._plain(404, "no such page")

    def do_POST(self):
        if urllib.parse.urlsplit(self.path).path != "/":
            return self._plain(404, "no such page")
        length = int(self.headers.get("Content-Length") or 0)
        if length > MAX_FORM_BYTES:
            return self._plain(413, "form too large")
        fields = urllib.parse.parse_qs(self.rfile.read(length).decode("utf-8", "replace"))
        name = fields.get("name", [""])[0]
        try:
            ok, reason = self.host.check(fields.get("token", [""])[0],
                                         fields.get("answer", [""])[0], self.client_address[0])
        except HostUnavailable:
            return self._plain(502, "the challenge service is not answering; try again")
        if ok:
            return self._send(200, "text/html; charset=utf-8",
                              f"<p>Thank you, {html.escape(name)}: accepted.</p>\n".encode())
        self._form(f"<p>Not accepted: {html.escape(reason)}. Try this picture.</p>", name)

    def _form(self, message, name):
        try:
            challenge = self.host.new_challenge()
        except (HostUnavailable, ValueError, KeyError):
            return self._plain(502, "the challenge service is not answering; try again")
        token = challenge["token"]
        page = PAGE.format(message=message, name=html.escape(name), token=html.escape(token),
                           token_query=html.escape(urllib.parse.quote(token, safe="")))
        self._send(200, "text/html; charset=utf-8", page.encode("utf-8"))

    def _picture(self, token):
        try:
            picture = self.host.picture(token)
        except HostUnavailable:
            return self._plain(502, "the challenge service is not answering")
        if picture is None:
            return self._plain(404, "no such picture")
        self._send(200, picture[0], picture[1])

    def _plain(self, status, text):
        self._send(status, "text/plain; charset=utf-8", (text + "\n").encode())

    def _send(self, status, content_type, body):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, format, *args):  # one line per request on stderr
        sys.stderr.write("%s %s\n" % (self.client_address[0], format % args))


def stop_on_signal(signum, frame):
    """SIGTERM stops the site as Ctrl-C does."""
    raise KeyboardInterrupt


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--host", default="http://127.0.0.1:8080", help="the Glimmark host")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8000)
    options = parser.parse_args()
    FormHandler.host = GlimmarkHost(options.host)
    server = ThreadingHTTPServer((options.bind, options.port), FormHandler)
    signal.signal(signal.SIGTERM, stop_on_signal)
    print(f"serving on http://{options.bind}:{server.server_address[1]}/", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    server.server_close()


if __name__ == "__main__":
    main()
