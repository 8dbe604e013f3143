#!/usr/bin/env bash
# Renders the PNG icons from app/resources/purgelet.svg (the drawing itself);
# run after changing the drawing, and commit the PNGs.
set -euo pipefail
cd "$(dirname "$0")/../app/resources"
command -v rsvg-convert >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y librsvg2-bin >/dev/null
rsvg-convert -w 32 -h 32 purgelet.svg -o purgelet.png
rsvg-convert -w 128 -h 128 purgelet.svg -o purgelet-128.png
