#!/bin/sh
# Installs into a temporary prefix, validates the desktop entry and the
# AppStream metadata, and builds the Debian package and lists it. Nothing
# is installed into the system.
set -eu
build=$1
id=org.quorvin.Quorvin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$tmp/usr" >/dev/null
root=$tmp/usr
for f in bin/quorvin share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/doc/quorvin/README.md \
         share/doc/quorvin/copyright share/doc/quorvin/changelog.gz; do
    [ -f "$root/$f" ] || fail "missing $f"
done
[ -x "$root/bin/quorvin" ] || fail "quorvin is not executable"
for s in 16 32 48 64 128 256; do
    png=$root/share/icons/hicolor/${s}x${s}/apps/$id.png
    file "$png" | grep -q "PNG image data, $s x $s" || fail "icon $s: $(file "$png")"
done

# Hints (such as Security's wish for a Settings or System category) may stay.
out=$(desktop-file-validate "$root/share/applications/$id.desktop" 2>&1) || fail "$out"
if echo "$out" | grep -qE 'error:|warning:'; then fail "desktop-file-validate: $out"; fi
out=$(appstreamcli validate --no-net --no-color "$root/share/metainfo/$id.metainfo.xml" 2>&1) \
    || fail "$out"
if echo "$out" | grep -qE '^[EW]:'; then fail "appstreamcli: $out"; fi

(cd "$build" && cpack -G DEB -B "$tmp/pkg" >/dev/null)
deb=$(ls "$tmp"/pkg/*.deb)
dpkg-deb -c "$deb" > "$tmp/contents"
for f in ./usr/bin/quorvin ./usr/share/applications/$id.desktop \
         ./usr/share/metainfo/$id.metainfo.xml ./usr/share/icons/hicolor/256x256/apps/$id.png \
         ./usr/share/doc/quorvin/copyright; do
    grep -q " $f\$" "$tmp/contents" || fail "package lacks $f"
done
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for d in libqt6widgets6 fonts-liberation2; do
    echo "$depends" | grep -q "$d" || fail "Depends lacks $d: $depends"
done
# The icon is drawn at build time: no SVG library at run time.
if echo "$depends" | grep -q libqt6svg6; then fail "Depends has libqt6svg6: $depends"; fi
echo "installed tree, validators and package: OK"
