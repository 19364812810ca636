#!/usr/bin/env python3
"""examples/form_handler.py against a real page host: the site shows the
host's challenge, passes its picture through, and the host decides the
answer (wrong, right, used again). The test learns the right answer the way
an operator would, with `glimmark verify --key-file` and the host's key;
the host itself has no way to tell it.

    form_handler_test.py GLIMMARK_TOOL EXAMPLE WORK_DIR
"""

import json
import os
import shutil
import sys
import urllib.parse

import glimmark_host as gh

PASSWORD = "form-handler-pw"


def post_form(url, fields):
    return gh.fetch(url, {"Content-Type": "application/x-www-form-urlencoded"},
                    urllib.parse.urlencode(fields).encode())


def check_challenge_route(host_url):
    """GET /challenge itself: JSON only when asked for, and nothing else."""
    status, content_type, body = gh.fetch(host_url + "challenge",
                                          {"Accept": "application/json"})
    assert status == 200 and content_type == "application/json", (status, body)
    challenge = json.loads(body)
    assert set(challenge) == {"token", "picture", "audio", "expires"}, challenge
    assert challenge["audio"] == "/audio?token=" + challenge["token"], challenge
    assert challenge["picture"] == "/captcha?token=" + challenge["token"], challenge
    status, content_type, picture = gh.fetch(host_url + challenge["picture"][1:])
    assert status == 200 and content_type == "image/jpeg" and picture[:2] == b"\xff\xd8"
    for headers, target, expected in (({}, "challenge", 406),
                                      ({"Accept": "application/json"}, "challenge?x=1", 400)):
        status, _, body = gh.fetch(host_url + target, headers)
        assert status == expected, (target, status, body)
    status, _, _ = gh.fetch(host_url + "challenge", {"Accept": "application/json"}, b"")
    assert status == 405, status


def main(tool, example, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(work, "home"))
    env = gh.environment(os.path.join(work, "registry.db"), os.path.join(work, "home"))
    key = gh.write_key(os.path.join(work, "host.key"))
    gh.run(tool, ["register"], env)

    with gh.serve(tool, env, "--key-file", key, "--password", PASSWORD) as host:
        check_challenge_route(host.url)
        site_command = [sys.executable, example, "--host", host.url, "--port", "0"]
        with gh.Server(site_command, env) as site:
            status, _, page = gh.fetch(site.url)
            assert status == 200, (status, page)
            envelope = gh.form_envelope(page)
            status, content_type, picture = gh.fetch(
                site.url + "picture?token=" + urllib.parse.quote(envelope))
            assert (status, content_type) == (200, "image/jpeg") and picture[:2] == b"\xff\xd8"

            status, _, page = post_form(site.url, {"name": "Ada", "token": envelope,
                                                   "answer": "not it"})
            assert status == 200 and b"Not accepted: wrong answer" in page, page
            envelope = gh.form_envelope(page)  # a new challenge comes with the refusal
            answer = gh.answer_of(tool, env, key, PASSWORD, envelope)
            right = {"name": "<Ada>", "token": envelope, "answer": answer}
            status, _, page = post_form(site.url, right)
            assert status == 200 and b"Thank you, &lt;Ada&gt;: accepted." in page, page
            status, _, page = post_form(site.url, right)
            assert b"Not accepted: already used" in page, page
            assert site.stop()[0] == 0
        exit_code, _ = host.stop()
        assert exit_code == 0, exit_code

    # With the host gone the site says so instead of failing.
    with gh.Server([sys.executable, example, "--host", host.url, "--port", "0"], env) as site:
        status, _, body = gh.fetch(site.url)
        assert status == 502, (status, body)
    shutil.rmtree(work, ignore_errors=True)
    print("form handler: challenge shown, picture passed through, wrong/right/used decided "
          "by the host")


if __name__ == "__main__":
    main(*sys.argv[1:])
