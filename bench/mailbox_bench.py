#!/usr/bin/env python3
"""Header download and deletion timed side by side with other POP3 clients,
on generated mailboxes in a private Dovecot, directly and through a latency
proxy. Writes bench/results.md.

  mailbox_bench.py BUILD_BIN_DIR STATE_DIR [--sizes 1000,10000,50000] [--delays 0,10]
"""
import argparse
import datetime
import os
import pathlib
import platform
import re
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
FIXTURES = HERE.parent / "tests" / "fixtures"
PASSWORD = "secret"
SLOWEST_PEER_RUN_S = 400   # sequential runs estimated to take longer are skipped


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw)


def timed(cmd, env=None):
    start = time.monotonic()
    result = subprocess.run(cmd, capture_output=True, text=True, env=env, timeout=3600)
    elapsed = time.monotonic() - start
    if result.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {result.stderr.strip()[-500:]}")
    return elapsed, result.stdout


class Proxy:
    def __init__(self, target, delay_ms):
        self.process = subprocess.Popen([sys.executable, str(HERE / "latency_proxy.py"), "0", str(target), str(delay_ms)],
                                        stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def close(self):
        self.process.terminate()
        self.process.wait()


def machine():
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    mem = next((int(l.split()[1]) // 1024 // 1024 for l in open("/proc/meminfo") if l.startswith("MemTotal")), 0)
    return f"{cpu}, {os.cpu_count()} cores, {mem} GiB, {platform.platform()}"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("state")
    parser.add_argument("--sizes", default="1000,10000,50000")
    parser.add_argument("--delays", default="0,10", help="one-way delays in ms")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    delays = [int(d) for d in args.delays.split(",")]
    state = pathlib.Path(args.state)
    env_file = state / "env"
    server_env = dict(l.split("=", 1) for l in env_file.read_text().split() if "=" in l)
    pop3_port = int(server_env["PURGELET_POP3_PORT"])

    # One identical mailbox per size and delay, as the deletion changes it.
    for size in sizes:
        for delay in delays:
            run(["bash", str(FIXTURES / "dovecot.sh"), "add-user", str(state), f"m{size}d{delay}",
                 "--generated", str(size)])
    time.sleep(1.2)  # Dovecot reads its passwd-file at most once a second

    qt_env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    rows, notes = [], []
    for size in sizes:
        for delay in delays:
            user = f"m{size}d{delay}"
            proxy = Proxy(pop3_port, delay) if delay else None
            port = proxy.port if proxy else pop3_port
            rtt = 2 * delay
            results = {}
            floor, _ = timed([sys.executable, str(HERE / "pop3_peers.py"), "pipelined", "127.0.0.1", str(port), user, PASSWORD])
            results["pipelined floor (Python)"] = floor

            estimate = size * (rtt / 1000 + 0.0002)
            if estimate <= SLOWEST_PEER_RUN_S:
                results["poplib, sequential TOP"], _ = timed(
                    [sys.executable, str(HERE / "pop3_peers.py"), "poplib", "127.0.0.1", str(port), user, PASSWORD])
            else:
                notes.append(f"poplib at {size} messages, {rtt} ms: skipped, about {estimate:.0f} s by its round trips")

            uidls = state / f"mpop-{user}.uidls"
            mbox = state / f"mpop-{user}.mbox"
            mbox.write_text("")
            uidls.unlink(missing_ok=True)
            results["mpop, headers only, --keep"], _ = timed([
                "mpop", "--quiet", "-C", "/dev/null", "--host=127.0.0.1", f"--port={port}", "--auth=user",
                f"--user={user}", f"--passwordeval=echo {PASSWORD}", "--tls=off", "--keep=on", "--only-new=off",
                "--filter=cat >/dev/null; exit 2", f"--delivery=mbox,{mbox}", f"--uidls-file={uidls}",
                "--received-header=off"])

            _, out = timed([os.path.join(args.bin, "bench_mailbox"), f"127.0.0.1:{port}", user, PASSWORD], env=qt_env)
            values = dict(item.split("=", 1) for item in out.split())
            results["Purgelet: Check Mails"] = float(values["download_s"])
            results["Purgelet: delete 10% + new listing"] = float(values["delete_s"])
            notes.append(f"Purgelet at {size} messages, {rtt} ms: listed {values['listed']}, "
                         f"deleted {values['marked']}, {values['left']} left, peak memory {values['peak_mb']} MB, "
                         f"{values['repaints']} repaints of the status line during the download, "
                         f"longest pause between two {values['longest_gap_ms']} ms")
            for tool, seconds in results.items():
                rows.append((size, rtt, tool, seconds, seconds / floor))
                print(f"{size:>7} {rtt:>4} ms  {tool:<38} {seconds:8.2f} s  {seconds / floor:6.2f}x", flush=True)
            if proxy:
                proxy.close()

    table = ["| messages | round trip | tool | seconds | ratio to floor |", "|---:|---:|---|---:|---:|"]
    table += [f"| {s} | {r} ms | {t} | {sec:.2f} | {ratio:.2f} |" for s, r, t, sec, ratio in rows]
    text = "\n".join([
        "# Mailbox benchmark", "",
        f"Run {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')} on {machine()}.", "",
        "Dovecot on loopback, mailboxes generated by tests/fixtures/make_mailbox.py; round trip 0 ms is a direct",
        "connection, otherwise every byte passes bench/latency_proxy.py, delayed by half the round trip each way.",
        "Every tool reads the headers of every message (TOP n 0) and keeps all mail. The floor sends every TOP at",
        "once. Purgelet is the real window under the offscreen platform, its buttons clicked; its times are",
        "measured inside the program (no start-up), the others' include starting the tool.", "",
        *table, "", *[f"- {n}" for n in notes], ""])
    (HERE / "results.md").write_text(text)
    print("\n" + text)


if __name__ == "__main__":
    main()
