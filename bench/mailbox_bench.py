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
        self.process = subprocess.Popen([sys.executable, str(HERE.parent / "tests" / "fixtures" / "latency_proxy.py"), "0", str(target), str(delay_ms)],
                                        stdout=subprocess.PIPE, text=True)
        self.port = int(self.process.stdout.readline().split()[1])

    def close(self):
        self.process.terminate()
        self.process.wait()


def machine():
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    mem = next((int(l.split()[1]) // 1024 // 1024 for l in open("/proc/meminfo") if l.startswith("MemTotal")), 0)
    return f"{cpu}, {os.cpu_count()} cores, {mem} GiB, {platform.platform()}"


def median(values):
    return sorted(values)[len(values) // 2]


def purgelet(bin_dir, port, user, platform_name):
    env = dict(os.environ, QT_QPA_PLATFORM=platform_name)
    _, out = timed([os.path.join(bin_dir, "bench_mailbox"), f"127.0.0.1:{port}", user, PASSWORD], env=env)
    return {k: float(v) for k, v in (item.split("=", 1) for item in out.split())}


def floor(bin_dir, port, user, *args):
    _, out = timed([os.path.join(bin_dir, "bench_wire_floor"), "127.0.0.1", str(port), user, PASSWORD, *args])
    return float(dict(item.split("=", 1) for item in out.split())["seconds"])


def command_line(bin_dir, port, user, config_dir):
    """purgelet --list, start to exit, with no display and no secret store."""
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(XDG_CONFIG_HOME=str(config_dir), DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent/bench-bus")
    seconds, out = timed([os.path.join(bin_dir, "purgelet"), "--list", "--host", f"127.0.0.1:{port}", "--user", user,
                          "--password-command", f"echo {PASSWORD}", "--rules", str(FIXTURES / "demo-filters.txt")], env=env)
    return seconds, out.count("\n")


def replace_section(text, title, section):
    """The file's text with its "## title" section (to the next "## " or the end) replaced or added."""
    start = text.find(f"## {title}\n")
    if start < 0:
        return text.rstrip("\n") + "\n\n" + section
    end = text.find("\n## ", start + 1)
    return text[:start] + section + (text[end + 1:] if end >= 0 else "")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("state")
    parser.add_argument("--sizes", default="1000,10000,50000")
    parser.add_argument("--delays", default="0,10", help="one-way delays in ms")
    parser.add_argument("--runs", type=int, default=3, help="runs of the window and of the floor, median taken")
    parser.add_argument("--no-peers", action="store_true", help="leave out poplib and mpop")
    parser.add_argument("--only-command-line", action="store_true",
                        help="time only purgelet --list beside the floor, into its own section of results.md")
    parser.add_argument("--only-list", action="store_true",
                        help="time the window's listing, sorting and searching beside the floor, into its own section")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    delays = [int(d) for d in args.delays.split(",")]
    runs = args.runs
    state = pathlib.Path(args.state)
    env_file = state / "env"
    server_env = dict(l.split("=", 1) for l in env_file.read_text().split() if "=" in l)
    pop3_port = int(server_env["PURGELET_POP3_PORT"])

    # Identical mailboxes: one per window run (a deletion changes its mailbox),
    # one for the offscreen run, one for the floors and the peers.
    def users(size, delay):
        return ([f"x{size}d{delay}r{k}" for k in range(runs)], f"o{size}d{delay}", f"f{size}d{delay}")
    for size in sizes:
        for delay in delays:
            xcb, offscreen, wire = users(size, delay)
            window_users = xcb if args.only_list else xcb + [offscreen]
            for user in ([] if args.only_command_line else window_users) + [wire]:
                run(["bash", str(FIXTURES / "dovecot.sh"), "add-user", str(state), user, "--generated", str(size)])
    time.sleep(1.2)  # Dovecot reads its passwd-file at most once a second

    # Dovecot builds a mailbox's index at its first session, which makes that
    # session several times slower (a user's server has done so long before),
    # and a mailbox last read minutes ago is slower again. So every mailbox is
    # read once right before the run that is timed on it.
    def warm(user, size):
        floor(args.bin, pop3_port, user, "list", str(size))

    rows, notes = [], []
    for size in sizes:
        for delay in delays:
            xcb_users, offscreen_user, wire_user = users(size, delay)
            proxy = Proxy(pop3_port, delay) if delay else None
            port = proxy.port if proxy else pop3_port
            rtt = 2 * delay
            warm(wire_user, size)
            list_floor = median([floor(args.bin, port, wire_user, "list", str(size)) for _ in range(runs)])
            results = {"wire floor: listing (compiled client, all commands at once)": list_floor}
            cli_runs = [command_line(args.bin, port, wire_user, state / "cli-config") for _ in range(runs)]
            if any(lines != size for _, lines in cli_runs):
                raise RuntimeError(f"purgelet --list printed {[n for _, n in cli_runs]} lines, not {size}")
            results["Purgelet command line: purgelet --list, start to exit (no display)"] = median([t for t, _ in cli_runs])
            if args.only_list:
                list_runs = []
                for user in xcb_users:
                    warm(user, size)
                    list_runs.append(purgelet(args.bin, port, user, "xcb"))
                steps = [("click Check Mails to painted list", "download_s"),
                         ("click on the Subject column header to painted sorted list", "sort_subject_s"),
                         ("click on the Date column header to painted sorted list", "sort_date_s"),
                         ("\"offer\" typed into the search box, key by key, to painted found lines", "search_s"),
                         ("search box cleared (Ctrl+A, Backspace) to painted full list", "search_clear_s")]
                results = {"wire floor: listing (compiled client, all commands at once)": list_floor}
                for what, key in steps:
                    results[f"Purgelet, X display: {what}"] = median([r[key] for r in list_runs])
                found = int(list_runs[0]["found"])
                for tool, seconds in results.items():
                    rows.append((size, rtt, tool, seconds, seconds / results[f"Purgelet, X display: {steps[0][0]}"]))
                    print(f"{size:>7} {rtt:>4} ms  {tool:<70} {seconds:8.3f} s", flush=True)
                notes.append(f"{size} messages: the search found {found} lines; last line made current "
                             f"{median([r['last_line_ms'] for r in list_runs]):.0f} ms, its check box "
                             f"{median([r['check_box_ms'] for r in list_runs]):.0f} ms, a page up "
                             f"{median([r['page_up_ms'] for r in list_runs]):.0f} ms; peak memory "
                             f"{max(r['peak_mb'] for r in list_runs):.0f} MB")
                if proxy:
                    proxy.close()
                continue
            if args.only_command_line:
                for tool, seconds in results.items():
                    rows.append((size, rtt, tool, seconds, seconds / list_floor))
                    print(f"{size:>7} {rtt:>4} ms  {tool:<70} {seconds:8.3f} s  {seconds / list_floor:6.2f}x", flush=True)
                if proxy:
                    proxy.close()
                continue

            if not args.no_peers:
                estimate = size * (rtt / 1000 + 0.0002)
                if estimate <= SLOWEST_PEER_RUN_S:
                    results["poplib, sequential TOP"], _ = timed(
                        [sys.executable, str(HERE / "pop3_peers.py"), "poplib", "127.0.0.1", str(port), wire_user, PASSWORD])
                else:
                    notes.append(f"poplib at {size} messages, {rtt} ms: skipped, about {estimate:.0f} s by its round trips")
                uidls = state / f"mpop-{wire_user}.uidls"
                mbox = state / f"mpop-{wire_user}.mbox"
                mbox.write_text("")
                uidls.unlink(missing_ok=True)
                results["mpop, headers only, --keep"], _ = timed([
                    "mpop", "--quiet", "-C", "/dev/null", "--host=127.0.0.1", f"--port={port}", "--auth=user",
                    f"--user={wire_user}", f"--passwordeval=echo {PASSWORD}", "--tls=off", "--keep=on",
                    "--only-new=off", "--filter=cat >/dev/null; exit 2", f"--delivery=mbox,{mbox}",
                    f"--uidls-file={uidls}", "--received-header=off"])

            window_runs = []
            for user in xcb_users:
                warm(user, size)
                window_runs.append(purgelet(args.bin, port, user, "xcb"))
            check = median([r["download_s"] for r in window_runs])
            delete = median([r["delete_s"] for r in window_runs])
            results["Purgelet, X display: click Check Mails to painted list"] = check
            results["Purgelet, X display: click Delete Now (10% checked) to painted new list"] = delete
            results["wire floor: deleting the same 10% (DELE stream at once)"] = floor(
                args.bin, port, wire_user, "delete", str(size), "10")
            warm(offscreen_user, size)
            off = purgelet(args.bin, port, offscreen_user, "offscreen")
            results["Purgelet, offscreen platform (no display): Check Mails"] = off["download_s"]
            results["Purgelet, offscreen platform (no display): Delete Now + new list"] = off["delete_s"]
            last = window_runs[len(window_runs) // 2]
            notes.append(f"Purgelet at {size} messages, {rtt} ms, X display (median of {runs}): listed "
                         f"{int(last['listed'])}, deleted {int(last['marked'])}, {int(last['left'])} left; "
                         f"peak memory {max(r['peak_mb'] for r in window_runs):.0f} MB; processor time of the "
                         f"listing {median([r['download_cpu_s'] for r in window_runs]):.2f} s; "
                         f"{int(last['repaints'])} paints of the status line, longest pause between two "
                         f"{int(last['longest_gap_ms'])} ms; on the full list, to the painted answer: last line made "
                         f"current with its preview {median([r['last_line_ms'] for r in window_runs]):.0f} ms, its "
                         f"check box {median([r['check_box_ms'] for r in window_runs]):.0f} ms, a page up "
                         f"{median([r['page_up_ms'] for r in window_runs]):.0f} ms")
            for tool, seconds in results.items():
                rows.append((size, rtt, tool, seconds, seconds / list_floor))
                print(f"{size:>7} {rtt:>4} ms  {tool:<70} {seconds:8.3f} s  {seconds / list_floor:6.2f}x", flush=True)
            if proxy:
                proxy.close()

    ratio_to = "the window's listing" if args.only_list else "the listing floor"
    table = [f"| messages | round trip | what | seconds | ratio to {ratio_to} |", "|---:|---:|---|---:|---:|"]
    table += [f"| {s} | {r} ms | {t} | {sec:.3f} | {ratio:.2f} |" for s, r, t, sec, ratio in rows]
    if args.only_list:
        section = "\n".join([
            "## Sorting and searching the list", "",
            f"Run {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')} on {machine()}, Dovecot and generated mailboxes as above.",
            "The real window on an X display (Xvfb, xcb); each step is input queued with the window system (a click on",
            "a column header, keys typed into the search box) until the list is painted with its result and the X",
            "server has drawn it, on the full list the listing just painted. Each step's time stands beside the",
            f"listing's (first row of each size); medians of {runs} runs.", "", *table, "",
            *[f"- {n}" for n in notes], ""])
        results_file = HERE / "results.md"
        text = results_file.read_text() if results_file.exists() else "# Mailbox benchmark\n"
        results_file.write_text(replace_section(text, "Sorting and searching the list", section))
        print("\n" + section)
        return
    if args.only_command_line:
        section = "\n".join([
            "## Command line", "",
            f"Run {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')} on {machine()}, Dovecot and generated mailboxes as above.",
            "`purgelet --list` from start to exit: log-in, every header, the rule file, one printed line per message;",
            "no display, no secret store (the password from --password-command). The floor is measured in the same",
            f"run; medians of {runs} runs.", "", *table, ""])
        results_file = HERE / "results.md"
        text = results_file.read_text() if results_file.exists() else "# Mailbox benchmark\n"
        results_file.write_text(replace_section(text, "Command line", section))
        print("\n" + section)
        return
    text = "\n".join([
        "# Mailbox benchmark", "",
        f"Run {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')} on {machine()}.", "",
        "Dovecot on loopback; mailboxes generated by tests/fixtures/make_mailbox.py, about 1.2 kB of header",
        "per message, each read once right before it is timed, so that Dovecot has its index. Round trip 0 ms is a",
        "direct connection, otherwise every byte passes tests/fixtures/latency_proxy.py,",
        "delayed by half the round trip each way. Every tool reads the headers of every message (TOP n 0).",
        "The wire floor (bench/WireFloor.cpp) writes the whole command stream at once and reads to the end: what",
        "the server and the socket cost and nothing else. Purgelet is the real window on an X display (Xvfb, xcb",
        "platform), the click queued with the window system, the clock stopped when the filled list is painted",
        f"and the display has it (bench/MailboxBench.cpp); window and floor figures are medians of {runs} runs.",
        "The offscreen figures are the same program without a display, for comparison only. poplib and mpop",
        "include their start-up.", "",
        "Where the window's clock starts and stops, so that a screen recording of the same run shows the same",
        "figure: it starts when the mouse press and release on the button are handed to the window system (the",
        "frame of a recording in which the button goes down), with the window already shown, the log-in typed",
        "and nothing pending. It stops when the message list has been painted with every line of the finished",
        "flow and QGuiApplication::sync() has returned, that is, when the X server has drawn it (the first frame",
        "that shows the full list, the status line beside it). In between: the connection and log-in, every",
        "header, the rule file and filter pass, the list filling and its paint; for Delete Now also the deletion",
        "session and the whole new listing. Not in it: starting the program, typing, TLS (the benchmark's Dovecot",
        "runs without it, and so does the floor), and the index Dovecot builds at a mailbox's first session",
        "(each mailbox is read once before; a recording of the first check of a mailbox new to the server shows",
        "that cost too, on the floor as much as on the window).", "",
        *table, "", *[f"- {n}" for n in notes], ""])
    (HERE / "results.md").write_text(text)
    print("\n" + text)


if __name__ == "__main__":
    main()
