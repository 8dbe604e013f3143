#!/usr/bin/env bash
# A user at a real X display (Xvfb): types the demo log-in into the window,
# presses "Check Mails", looks at a message, presses "Delete Now on Server".
# Afterwards the Maildir must hold exactly the ham of the demo mailbox.
#   real_window_check.sh PURGELET_EXECUTABLE STATE_DIR SCREENSHOT.png
# The program trusts only the system's certificates, so this uses a Dovecot
# of its own without TLS, with a fresh copy of the demo mailbox.
set -euo pipefail
program="$1"; state="$2"; shot="$3"
here="$(cd "$(dirname "$0")" && pwd)"
fixtures="$here/../fixtures"
. "$here/../../scripts/lib/xsession.sh"
rm -rf "$state"
bash "$fixtures/dovecot.sh" start "$state" --no-tls >/dev/null
trap 'xs_stop; bash "$fixtures/dovecot.sh" stop "$state"' EXIT
. "$state/env"
user=demo
log="$PURGELET_FIXTURE_DIR/dovecot.log"
sessions() { grep -c "pop3($user).*Disconnected:" "$log" || true; }
wait_sessions() {
    for _ in $(seq 300); do
        [ "$(sessions)" -ge "$1" ] && { sleep 1; return 0; }
        sleep 0.1
    done
    echo "timed out waiting for session $1 of $user" >&2
    return 1
}

# The program runs from a folder of its own, beside the demo's rule file.
mkdir -p "$state/app"
cp "$program" "$state/app/purgelet"
cp "$fixtures/demo-filters.txt" "$state/app/filters.txt"
xs_start
xs_output="$state/program-output.txt"
xs_launch "$state/app/purgelet"
xs_log_in "127.0.0.1:$PURGELET_POP3_PORT" "$user" "$PURGELET_FIXTURE_PASSWORD"
xs_press_check_mails
wait_sessions 1
xs_click_line 1                  # spam, checked by the demo's rules
xs_shot "$shot"
xs_press_delete_on_server
wait_sessions 3                  # the deletion session, then the new download

if grep -q -- "$PURGELET_FIXTURE_PASSWORD" "$xs_output"; then
    echo "the program wrote the password to its output" >&2
    exit 1
fi
python3 - "$PURGELET_FIXTURE_DIR/home/$user/Maildir" "$fixtures/mailboxes/demo" <<'PY'
import pathlib, sys
def subject(data):
    for line in data.split(b"\n"):
        if not line.strip():
            break
        if line.lower().startswith(b"subject:"):
            return line.strip()
    return b""
maildir, demo = map(pathlib.Path, sys.argv[1:])
left = sorted(subject(p.read_bytes()) for sub in ("cur", "new") for p in (maildir / sub).iterdir())
ham = sorted(subject(p.read_bytes()) for p in demo.glob("*-ham-*.eml"))
if left != ham:
    print("left on the server:", *left, "expected the ham:", *ham, sep="\n  ")
    sys.exit(1)
print(f"{len(left)} messages left, exactly the ham")
PY
