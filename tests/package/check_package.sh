#!/usr/bin/env bash
# The Debian package cpack makes from the build: what it holds, and that its dependencies name
# every library its programs link (as dpkg-shlibdeps finds them) and its metadata validates.
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/daxo-viewer_*_amd64.deb "$work"/out/daxo-viewer_*.deb 2>/dev/null | head -1)
[ -f "$deb" ] || { echo "no package made"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/daxo-viewer usr/bin/daxo-telemetry usr/bin/daxo-config usr/bin/daxo-card usr/bin/daxo-drvlog usr/bin/daxo-export \
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
appstreamcli validate --no-net "$work/root/usr/share/metainfo/io.github.daxo_viewer.DaxoViewer.metainfo.xml"
desktop-file-validate "$work/root/usr/share/applications/daxo-viewer.desktop"
echo "package $(basename "$deb"): $(echo "$needed" | tr ',' '\n' | wc -l) libraries' packages, all depended on"
