#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian (errors fail), installs
# it, starts the installed program under Xvfb, takes a picture of its window
# and presses "Create Filters", which must give the user a rule file of their
# own made from the shipped sample.
#   scripts/check_package.sh [picture.png]
set -euo pipefail
cd "$(dirname "$0")/.."
shot="${1:-build-release/installed-window.png}"
deb="$(bash scripts/package.sh | tail -n 1)"
# Debian's package checker: any error fails the check, warnings are shown.
command -v lintian >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends lintian >/dev/null
lintian_out="$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)"
[ -z "$lintian_out" ] || printf '%s\n' "$lintian_out"
if printf '%s\n' "$lintian_out" | grep -q '^E: '; then
    echo "lintian found errors in $deb" >&2
    exit 1
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y --reinstall "$deb" >/dev/null
. scripts/lib/xsession.sh
home="$(mktemp -d)"
trap 'xs_stop; rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
xs_start
xs_launch /usr/bin/purgelet
xs_shot "$shot"
xs_click 480 248                       # Create Filters
sleep 1
rules="$XDG_CONFIG_HOME/Purgelet/filters.txt"
if ! cmp -s "$rules" /usr/share/purgelet/filters.txt; then
    echo "Create Filters did not make $rules from the sample" >&2
    exit 1
fi
echo "installed $deb; window in $shot; rule file $rules made from the sample"
