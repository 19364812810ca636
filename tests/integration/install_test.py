#!/usr/bin/env python3
"""`cmake --install` into a temporary prefix, the prefix moved elsewhere, and
the tool run from its new place: --version, register, image, token, verify,
serve (the form, a picture made by the library the registry names, SIGTERM).
Also: the tree's file list, RUNPATHs relative to the files, and a manual
page that names every option each subcommand's --help lists.

    install_test.py CMAKE BUILD_DIR SOURCE_DIR WORK_DIR
"""

import http.client
import os
import re
import shutil
import subprocess
import sys

import glimmark_host as gh

PASSWORD = "install-pw"

EXPECTED_FILES = [
    "bin/glimmark",
    "lib/glimmark/libglimmark.so",
    "lib/glimmark/libglimmark_platform.so",
    "lib/glimmark/libglimmark.tlb",
    "lib/systemd/system/glimmark.service",
    "share/man/man1/glimmark.1",
    "share/doc/glimmark/README.md",
    "share/doc/glimmark/examples/form_handler.py",
    "share/doc/glimmark/examples/form.asp",
]


def installed_files(prefix):
    found = []
    for folder, _, files in os.walk(prefix):
        found += [os.path.relpath(os.path.join(folder, f), prefix) for f in files]
    return sorted(found)


def runpath(elf):
    dynamic = subprocess.run(["readelf", "-d", elf], capture_output=True, text=True).stdout
    match = re.search(r"\((RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*)\]", dynamic)
    return (match.group(1), match.group(2)) if match else None


def check_tree(prefix, source):
    files = installed_files(prefix)
    missing = [f for f in EXPECTED_FILES if f not in files]
    assert not missing, f"not installed: {missing}; installed: {files}"
    examples = sorted(os.listdir(os.path.join(source, "examples")))
    assert sorted(os.listdir(os.path.join(prefix, "share/doc/glimmark/examples"))) == examples
    # Relative to the files themselves, so that the tree can move.
    assert runpath(os.path.join(prefix, "bin/glimmark")) == ("RUNPATH", "$ORIGIN/../lib/glimmark")
    assert runpath(os.path.join(prefix, "lib/glimmark/libglimmark.so")) == ("RUNPATH", "$ORIGIN")
    unit = open(os.path.join(prefix, "lib/systemd/system/glimmark.service")).read()
    assert f"ExecStart={prefix}/bin/glimmark serve --config" in unit, unit
    return int(re.search(r"^TimeoutStopSec=(\d+)s$", unit, re.M).group(1))


def check_manual_page(tool, env, page):
    """Every subcommand and every option its --help lists is in the page."""
    text = open(page).read().replace("\\-", "-")
    commands = re.findall(r"^  (\w+) ", gh.run(tool, ["--help"], env), re.M)
    assert len(commands) >= 5, commands
    for command in commands:
        assert f'.SS "glimmark {command}"' in text, f"no section for {command}"
        for option in re.findall(r"^  (--[a-z-]+)", gh.run(tool, [command, "--help"], env), re.M):
            assert re.search(rf"^\.B[IR]? {re.escape(option)}\b", text, re.M), \
                f"glimmark.1 does not describe {command} {option}"
    # man's own check, as lintian runs it.
    warnings = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page],
                              capture_output=True, text=True, env=dict(env, MANWIDTH="80"))
    assert warnings.returncode == 0 and not warnings.stderr.strip(), warnings.stderr


def main(cmake, build, source, work):
    shutil.rmtree(work, ignore_errors=True)
    first = os.path.join(work, "first")
    subprocess.run([cmake, "--install", build, "--prefix", first], check=True,
                   stdout=subprocess.DEVNULL)
    stop_deadline = check_tree(first, source)
    moved = os.path.join(work, "moved", "elsewhere")
    os.makedirs(os.path.dirname(moved))
    os.rename(first, moved)
    tool = os.path.join(moved, "bin", "glimmark")
    os.makedirs(os.path.join(work, "home"))
    env = gh.environment(os.path.join(work, "registry.db"), os.path.join(work, "home"))

    version = re.search(r"^project\(Glimmark VERSION ([0-9.]+)", open(
        os.path.join(source, "CMakeLists.txt")).read(), re.M).group(1)
    assert gh.run(tool, ["--version"], env) == f"glimmark {version}\n"
    check_manual_page(tool, env, os.path.join(moved, "share/man/man1/glimmark.1"))

    library = os.path.join(moved, "lib", "glimmark", "libglimmark.so")
    assert gh.run(tool, ["register"], env) == f"registered {library} (machine)\n"
    picture = os.path.join(work, "picture.gif")
    text = gh.run(tool, ["image", "--format", "gif", "--out", picture], env).strip()
    assert re.fullmatch(r"[A-Za-z0-9]{4,6}", text), text
    assert open(picture, "rb").read(6) == b"GIF89a"
    token = gh.run(tool, ["token", "--password", PASSWORD, "--text", "Moved"], env).strip()
    assert gh.run(tool, ["verify", "--password", PASSWORD, "--token", token], env).startswith(
        "text: Moved\nage: ")

    key = gh.write_key(os.path.join(work, "host.key"))
    with gh.serve(tool, env, "--key-file", key, "--password", PASSWORD) as host:
        status, _, page = gh.fetch(host.url)
        assert status == 200 and b"<form" in page, (status, page[:300])
        envelope = gh.form_envelope(page)
        status, content_type, jpeg = gh.fetch(host.url + "captcha?token=" + envelope)
        assert (status, content_type) == (200, "image/jpeg") and jpeg[:2] == b"\xff\xd8"
        # The libraries the host runs are the moved ones, loaded through the
        # RUNPATH and the registered path, not the build tree's.
        maps = open(f"/proc/{host.process.pid}/maps").read()
        for name in ("libglimmark.so", "libglimmark_platform.so"):
            paths = set(re.findall(rf"(/\S*/{re.escape(name)})$", maps, re.M))
            assert paths == {os.path.join(moved, "lib", "glimmark", name)}, (name, paths)
        assert gh.answer_of(tool, env, key, PASSWORD, envelope)
        # SIGTERM with an idle keep-alive connection open still stops the host
        # within the service's stop deadline.
        idle = http.client.HTTPConnection("127.0.0.1", int(host.url.rsplit(":", 1)[1][:-1]))
        idle.request("GET", "/")
        idle.getresponse().read()
        exit_code, seconds = host.stop()
        idle.close()
        assert exit_code == 0, exit_code
        assert seconds < stop_deadline, f"stopped in {seconds:.1f} s, the unit allows {stop_deadline}"
    shutil.rmtree(work, ignore_errors=True)
    print(f"installed, moved, ran from {moved}: register, image, token, verify, serve "
          f"(stopped by SIGTERM in {seconds:.2f} s)")


if __name__ == "__main__":
    main(*sys.argv[1:])
