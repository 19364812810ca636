#!/usr/bin/env python3
"""Runs three slow-client attacks against probe.c on 127.0.0.1:PORT, from
loopback source addresses only, and prints what the library did with each."""
import socket
import sys
import time

PORT = int(sys.argv[1])


def connect(source):
    s = socket.socket()
    s.bind((source, 0))
    s.connect(("127.0.0.1", PORT))
    return s


def first_answer(s):
    s.settimeout(3)
    try:
        s.sendall(b"GET / HTTP/1.1\r\nHost: t\r\n\r\n")
        data = s.recv(100)
        return repr(data[:40]) if data else "closed without an answer"
    except OSError as error:
        return "no answer (%s)" % error


# A head trickled one byte a second for 12 s, against a 3 s timeout.
s = connect("127.0.30.1")
s.sendall(b"GET / HTTP/1.1\r\nHost: t\r\nX-Slow: ")
start, cut = time.time(), None
while time.time() - start < 12 and cut is None:
    time.sleep(1)
    try:
        s.sendall(b"a")
    except OSError:
        cut = time.time() - start
print("trickled head:", "cut after %.1f s" % cut if cut else "still open after 12 s")
s.close()
time.sleep(1)

# More idle connections than the total limit, from as many addresses; then one more.
idle = [connect("127.0.31.%d" % i) for i in range(1, 9)]
time.sleep(0.3)
print("over the total limit:", first_answer(connect("127.0.31.9")))
for s in idle:
    s.close()
time.sleep(1)

# Two idle connections from one address, then a third from it.
same = [connect("127.0.32.1") for _ in range(2)]
time.sleep(0.3)
print("over the per-address limit:", first_answer(connect("127.0.32.1")))
