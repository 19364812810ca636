#!/usr/bin/env python3
"""The Debian package of the built tree: built once with packaging/build-deb
(debhelper), its name, version and dependencies (dpkg-shlibdeps'), its exact
file list and modes, its maintainer scripts, lintian without an error, and
the tool unpacked with `dpkg-deb -x` into a temporary root and run from there
with the packaged settings file.

    package_test.py SOURCE_DIR BUILD_DIR WORK_DIR
"""

import os
import re
import shutil
import subprocess
import sys

import glimmark_host as gh

PASSWORD = "package-pw"

# Every file the package holds besides the examples; README.md may be
# compressed by dh_compress.
EXPECTED_FILES = {
    "./usr/bin/glimmark": "-rwxr-xr-x",
    "./usr/lib/glimmark/libglimmark.so": "-rw-r--r--",
    "./usr/lib/glimmark/libglimmark_platform.so": "-rw-r--r--",
    "./usr/lib/glimmark/libglimmark.tlb": "-rw-r--r--",
    "./lib/systemd/system/glimmark.service": "-rw-r--r--",
    "./usr/share/glimmark/glimmark.conf": "-rw-r--r--",
    "./usr/share/man/man1/glimmark.1.gz": "-rw-r--r--",
    "./usr/share/doc/glimmark/README.md.gz": "-rw-r--r--",
    "./usr/share/doc/glimmark/copyright": "-rw-r--r--",
    "./usr/share/doc/glimmark/changelog.gz": "-rw-r--r--",
}
RUNTIME_DEPENDENCIES = ["adduser", "fonts-liberation2", "libc6", "libcairo2", "libsodium23",
                        "libsqlite3-0", "libjpeg62-turbo", "libstdc++6"]


def deb_query(*args):
    return subprocess.run(["dpkg-deb"] + list(args), capture_output=True, text=True,
                          check=True).stdout


def check_contents(deb, source):
    listing = {}
    for line in deb_query("-c", deb).splitlines():
        mode, owner, _, _, _, path = line.split(None, 5)
        assert owner == "root/root", line
        if not mode.startswith("d"):
            listing[path] = mode
    expected = dict(EXPECTED_FILES)
    examples = os.path.join(source, "examples")
    for folder, _, files in os.walk(examples):
        for example in files:
            relative = os.path.relpath(os.path.join(folder, example), examples)
            path = "./usr/share/doc/glimmark/examples/" + relative
            expected[path if path + ".gz" not in listing else path + ".gz"] = "-rw-r--r--"
    assert listing == expected, (f"unexpected: {sorted(set(listing) - set(expected))}, "
                                 f"missing: {sorted(set(expected) - set(listing))}, "
                                 f"modes: {listing}")


def check_control(deb, version, work):
    fields = dict(re.findall(r"^(\w[\w-]*): (.*)$", deb_query("-f", deb), re.M))
    assert (fields["Package"], fields["Version"], fields["Architecture"]) == \
        ("glimmark", version, "amd64"), fields
    depends = {d.split()[0] for d in fields["Depends"].split(", ")}
    assert set(RUNTIME_DEPENDENCIES) <= depends, fields["Depends"]
    control = os.path.join(work, "control")
    subprocess.run(["dpkg-deb", "-e", deb, control], check=True)
    postinst = open(os.path.join(control, "postinst")).read()
    for step in ("adduser --system", "host.key", "glimmark register", "deb-systemd-helper"):
        assert step in postinst, f"postinst lacks {step}"
    assert "glimmark register --unregister" in open(os.path.join(control, "prerm")).read()
    assert "rm -rf /var/lib/glimmark" in open(os.path.join(control, "postrm")).read()


def check_lintian(deb):
    """No error; the rest is printed for the record."""
    lintian = shutil.which("lintian")
    assert lintian, "no lintian (scripts/install-deps installs it)"
    report = subprocess.run([lintian, "--allow-root", "--no-cfg", deb], capture_output=True,
                            text=True)
    tags = [line for line in report.stdout.splitlines() if re.match(r"[EWIPX]: ", line)]
    errors = [t for t in tags if t.startswith("E: ")]
    assert not errors, "lintian errors:\n" + report.stdout
    assert report.returncode == 0, report.stdout + report.stderr
    return tags


def run_unpacked(deb, work):
    root = os.path.join(work, "root")
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
    tool = os.path.join(root, "usr", "bin", "glimmark")
    os.makedirs(os.path.join(work, "home"))
    env = gh.environment(os.path.join(work, "registry.db"), os.path.join(work, "home"))
    library = os.path.join(root, "usr", "lib", "glimmark", "libglimmark.so")
    assert gh.run(tool, ["register"], env) == f"registered {library} (machine)\n"
    token = gh.run(tool, ["token", "--password", PASSWORD, "--text", "Packaged"], env).strip()
    assert gh.run(tool, ["verify", "--password", PASSWORD, "--token", token], env).startswith(
        "text: Packaged\n")
    # The packaged settings, with the key and port given on the command line.
    key = gh.write_key(os.path.join(work, "host.key"))
    settings = os.path.join(root, "usr", "share", "glimmark", "glimmark.conf")
    with gh.Server([tool, "serve", "--config", settings, "--key-file", key, "--port", "0"],
                   env) as host:
        assert host.url.startswith("http://127.0.0.1:"), host.url
        status, _, page = gh.fetch(host.url)
        assert status == 200 and b"<form" in page, (status, page[:300])
        assert host.stop()[0] == 0


def main(source, build, work):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    version = re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$",
                        open(os.path.join(build, "CMakeCache.txt")).read(), re.M).group(1)
    built = subprocess.run(["sh", os.path.join(source, "packaging", "build-deb"), build, work],
                           capture_output=True, text=True)
    assert built.returncode == 0, built.stdout + built.stderr
    deb = built.stdout.strip()
    assert os.path.basename(deb) == f"glimmark_{version}_amd64.deb", deb
    check_contents(deb, source)
    check_control(deb, version, work)
    run_unpacked(deb, work)
    tags = check_lintian(deb)
    shutil.rmtree(work, ignore_errors=True)
    print(f"{os.path.basename(deb)}: file list, dependencies, maintainer scripts, unpacked tool "
          f"served the form; lintian: no error, {len(tags)} other tags")
    for tag in tags:
        print("  " + tag)


if __name__ == "__main__":
    main(*sys.argv[1:])
