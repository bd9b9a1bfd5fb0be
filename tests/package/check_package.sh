#!/usr/bin/env bash
# The Debian package cpack makes from the build: what it holds, that its dependencies name
# every library its programs link (as dpkg-shlibdeps finds them), that lintian finds nothing,
# that each program answers --help and has a manual page, that the tools' completion loads,
# and that the desktop knows a camera card (a FAT image with the card's layout, mounted) and
# offers the viewer for it.
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/daxo-viewer_*_amd64.deb "$work"/out/daxo-viewer_*.deb 2>/dev/null | head -1)
[ -f "$deb" ] || { echo "no package made"; exit 1; }
ls "$work"/out/daxo-viewer-dbgsym_*.ddeb >/dev/null || { echo "no debug symbols package made"; exit 1; }
# lintian as Debian runs it: no error and no warning (overrides are in the package, each with
# its reason)
lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || { echo "lintian finds errors or warnings"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/daxo-viewer usr/bin/daxo-telemetry usr/bin/daxo-config usr/bin/daxo-card usr/bin/daxo-drvlog usr/bin/daxo-export usr/bin/daxo-library \
         usr/share/doc/daxo-viewer/copyright usr/share/doc/daxo-viewer/changelog.Debian.gz usr/share/mime/packages/daxo-viewer.xml \
         usr/share/applications/daxo-viewer.desktop usr/share/icons/hicolor/256x256/apps/daxo-viewer.png usr/share/icons/hicolor/48x48/apps/daxo-viewer.png usr/share/icons/hicolor/scalable/apps/daxo-viewer.svg \
         usr/share/metainfo/io.github.daxo_viewer.DaxoViewer.metainfo.xml; do
  [ -e "$work/root/$f" ] || { echo "missing in the package: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
# dpkg-shlibdeps on the programs as packaged
mkdir -p "$work/shlib/debian" && printf 'Source: x\n\nPackage: x\nArchitecture: any\n' >"$work/shlib/debian/control"
needed=$(cd "$work/shlib" && dpkg-shlibdeps -O "$work"/root/usr/bin/* 2>/dev/null | sed 's/^shlibs:Depends=//')
depended=$(tr ',|' '\n\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | sort -u)
missing=0
IFS=',' read -ra packages <<<"$needed"
for entry in "${packages[@]}"; do
  name=$(echo "$entry" | sed 's/^ *//; s/ .*//')
  [ -n "$name" ] || continue
  if ! grep -qxF "$name" <<<"$depended"; then
    echo "the package does not depend on $name, which its programs link"
    missing=1
  fi
done
# the programs it runs: ffmpeg makes clips and the report's pictures
grep -qxF ffmpeg <<<"$depended" || { echo "the package does not depend on ffmpeg, which it runs"; missing=1; }
[ "$missing" -eq 0 ]
# each program from the unpacked package: its usage, and its manual page as man shows it
for program in daxo-viewer daxo-card daxo-config daxo-export daxo-telemetry daxo-drvlog daxo-library; do
  QT_QPA_PLATFORM=offscreen "$work/root/usr/bin/$program" --help >"$work/help" 2>/dev/null || { echo "$program --help failed"; exit 1; }
  grep -qi '^usage:' "$work/help" || { echo "$program --help prints no usage"; exit 1; }
  page=$work/root/usr/share/man/man1/$program.1.gz
  MANWIDTH=80 man -l "$page" 2>"$work/man-errors" | grep -q "^NAME" || { echo "no manual page for $program"; exit 1; }
  [ ! -s "$work/man-errors" ] || { cat "$work/man-errors"; exit 1; }
done
man -l "$work/root/usr/share/man/man1/daxo-viewer.1.gz" 2>/dev/null | grep -q "^KEYS" || { echo "the viewer's page has no keys"; exit 1; }
# completion, loaded on demand by the command's name
completion=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source "$1/usr/share/bash-completion/completions/daxo-card"
  COMP_WORDS=(daxo-card ""); COMP_CWORD=1; COMP_LINE="daxo-card "; COMP_POINT=${#COMP_LINE}
  _daxo_tools daxo-card "" daxo-card; echo "${COMPREPLY[*]}"
  COMP_WORDS=(daxo-export clip x.mp4 --layout ""); COMP_CWORD=4; COMP_LINE="daxo-export clip x.mp4 --layout "
  COMP_POINT=${#COMP_LINE}; _daxo_tools daxo-export "" --layout; echo "${COMPREPLY[*]}"' _ "$work/root")
[ "$completion" = $'list format clock\npip side front original' ] || { echo "completion offers: $completion"; exit 1; }
# a camera card for the desktop: the package's content type, read by GLib from a mounted image
mkdir -p "$work/data/mime/packages" "$work/data/applications" "$work/card"
cp /usr/share/mime/packages/freedesktop.org.xml "$work/root/usr/share/mime/packages/daxo-viewer.xml" "$work/data/mime/packages/"
update-mime-database "$work/data/mime" >/dev/null
cp "$work/root/usr/share/applications/daxo-viewer.desktop" "$work/data/applications/"
update-desktop-database "$work/data/applications" >/dev/null 2>&1
image=$work/card.img
truncate -s 64M "$image" && mkfs.fat -F 32 -n DAXO "$image" >/dev/null
printf 'settings' >"$work/config.bin" && mcopy -i "$image" "$work/config.bin" ::config.bin && mmd -i "$image" ::DrvInfo
fusefat -o ro "$image" "$work/card" >/dev/null 2>&1
trap 'fusermount -u "$work/card" 2>/dev/null || true; rm -rf "$work"' EXIT
guess() { XDG_DATA_DIRS="$work/data" XDG_DATA_HOME="$work/none" /usr/bin/python3 -c \
  'import sys; from gi.repository import Gio; print(" ".join(Gio.content_type_guess_for_tree(Gio.File.new_for_path(sys.argv[1]))))' "$1"; }
types=$(guess "$work/card")
fusermount -u "$work/card"
[[ " $types " == *" x-content/x-daxo-card "* ]] || { echo "a mounted card reads as: $types"; exit 1; }
[[ " $(guess "$work/root") " != *" x-content/x-daxo-card "* ]] || { echo "any folder reads as a card"; exit 1; }
# (an application counts only when its program is on the PATH)
offered=$(PATH="$work/root/usr/bin:$PATH" XDG_DATA_DIRS="$work/data" XDG_DATA_HOME="$work/none" XDG_CONFIG_HOME="$work/none" \
  gio mime x-content/x-daxo-card)
grep -q "daxo-viewer.desktop" <<<"$offered" || { echo "the desktop does not offer the viewer for a card: $offered"; exit 1; }
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.daxo_viewer.DaxoViewer.metainfo.xml"
desktop-file-validate "$work/root/usr/share/applications/daxo-viewer.desktop"
echo "package $(basename "$deb"): $(echo "$needed" | tr ',' '\n' | wc -l) libraries' packages, all depended on"
