#!/usr/bin/env python3
"""The clients Purgelet is compared with, each reading the headers of every
message of a mailbox and keeping all mail:

  pop3_peers.py poplib    HOST PORT USER PASSWORD   sequential TOP i 0 (Python's poplib)
  pop3_peers.py pipelined HOST PORT USER PASSWORD   every TOP sent at once: the floor
Prints the number of headers read.
"""
import poplib
import socket
import sys
import threading


def sequential(host, port, user, password):
    pop = poplib.POP3(host, port, timeout=60)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    for i in range(1, count + 1):
        pop.top(i, 0)
    pop.quit()
    return count


def pipelined(host, port, user, password):
    sock = socket.create_connection((host, port), timeout=60)
    stream = sock.makefile("rb")

    def status():
        line = stream.readline()
        if not line.startswith(b"+OK"):
            raise SystemExit(f"server said {line!r}")
        return line

    status()
    for command in (f"USER {user}", f"PASS {password}"):
        sock.sendall(command.encode() + b"\r\n")
        status()
    sock.sendall(b"STAT\r\n")
    count = int(status().split()[1])
    # Writing all commands while reading the answers needs a second thread,
    # or both sides' buffers fill up.
    writer = threading.Thread(target=lambda: sock.sendall(
        b"".join(b"TOP %d 0\r\n" % i for i in range(1, count + 1))))
    writer.start()
    for _ in range(count):
        status()
        while stream.readline() != b".\r\n":
            pass
    writer.join()
    sock.sendall(b"QUIT\r\n")
    status()
    return count


if __name__ == "__main__":
    tool, host, port, user, password = sys.argv[1:6]
    run = {"poplib": sequential, "pipelined": pipelined}[tool]
    print(run(host, int(port), user, password))
