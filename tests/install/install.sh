#!/usr/bin/env bash
# The installed program: cmake --install into a fresh prefix, the files a desktop needs
# (checked by their validators), the libraries found, both programs working from there,
# and the Debian package that cpack makes.
#   install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.cantorel.Cantorel
for file in bin/cantorel bin/cantorel-cli lib/cantorel/mpeg.so share/applications/$id.desktop \
            share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
            share/man/man1/cantorel.1 share/man/man1/cantorel-cli.1; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
for size in 16 22 24 32 48 64 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size" ||
    fail "no ${size}x${size} icon"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo"
for elf in bin/cantorel bin/cantorel-cli lib/cantorel/mpeg.so; do
  ! ldd "$prefix/$elf" | grep -q "not found" || fail "$elf misses a library: $(ldd "$prefix/$elf" | grep 'not found')"
done
man -l "$prefix/share/man/man1/cantorel-cli.1" >/dev/null 2>&1 || fail "man page"

# The installed companion finds its decoder library in lib/cantorel and decodes.
"$prefix/bin/cantorel-cli" play "$src/demo/music/Arpeggio.mp3" --out "$prefix/out.wav" >/dev/null ||
  fail "the installed cantorel-cli does not play"
[ "$(head -c 4 "$prefix/out.wav")" = RIFF ] || fail "no WAV written"

# The installed window program starts (offscreen) on a copy of the demo collection.
cp -r "$src/demo/music" "$prefix/music"
sed "s|^MP3RootDir = .*|MP3RootDir = $prefix/music|" "$src/demo/cantorel.ini" > "$prefix/demo.ini"
XDG_STATE_HOME=$prefix/state QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="${ASAN_OPTIONS:-}:intercept_strndup=0" \
  "$prefix/bin/cantorel" --config "$prefix/demo.ini" >"$prefix/window.log" 2>&1 &
app=$!
sleep 3
kill -0 "$app" 2>/dev/null || fail "the installed cantorel ended: $(cat "$prefix/window.log")"
kill -TERM "$app"
wait "$app" || fail "the installed cantorel ended with status $?: $(cat "$prefix/window.log")"
[ -f "$prefix/state/cantorel/window.ini" ] || fail "the window's state was not kept"

# The Debian package: the same files under /usr, with its dependencies.
(cd "$build" && cpack -G DEB -B "$prefix/deb" >/dev/null) || fail "cpack"
deb=$(ls "$prefix"/deb/cantorel_*.deb)
contents=$(dpkg-deb -c "$deb")
for file in ./usr/bin/cantorel ./usr/bin/cantorel-cli ./usr/lib/cantorel/mpeg.so ./usr/share/applications/$id.desktop; do
  grep -q " $file\$" <<<"$contents" || fail "the package lacks $file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6widgets6 libtag1v5 libmpg123-0 mpg123; do
  grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
echo "install tree and package checked"
