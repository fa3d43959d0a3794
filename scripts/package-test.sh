#!/usr/bin/env bash
# Builds the Debian package from a release build, installs it, tries the installed program as a
# new user would (data in ~/.local/share/moting-seo, the window starts) and removes it again.
# usage: scripts/package-test.sh [build-dir]   (default build/release, already built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

fail() {
    echo "package test: FAILED: $*" >&2
    exit 1
}

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null || ! sudo -n true 2>/dev/null; then
        echo "package test: skipped, installing a package needs root or sudo without a password"
        exit 0
    fi
    sudo=(sudo -n)
fi
if dpkg-query -W -f='${Status}' moting-seo 2>/dev/null | grep -q 'install ok installed'; then
    # Never replace (and then remove) a copy someone installed on purpose.
    echo "package test: skipped, moting-seo is installed on this machine (dpkg -r moting-seo first)"
    exit 0
fi

cmake --build "$build" --target moting-seo moting-seo-cli mt_browser mt_report
rm -f "$build"/moting-seo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/moting-seo_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no .deb in $build"
deb=${debs[0]}
echo "package test: $deb ($(du -h "$deb" | cut -f1))"

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in ./usr/bin/moting-seo ./usr/bin/moting-seo-cli \
    ./usr/lib/moting-seo/libmoting-seo-browser.so \
    ./usr/lib/moting-seo/libmoting-seo-report.so \
    ./usr/share/applications/moting-seo.desktop \
    ./usr/share/icons/hicolor/scalable/apps/moting-seo.svg \
    ./usr/share/doc/moting-seo/examples/SL.txt; do
    grep -qxF "$path" <<<"$contents" || fail "$path is not in the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "package test: Depends: $depends"
# Declared by hand, then those that dpkg-shlibdeps must have found in the executables and the
# modules.
for package in libqt6sql6-sqlite libqt6sql6-psql libcurl4 libqt6webenginecore6-bin fonts-noto-cjk libqt6gui6 \
    libqt6webenginecore6 libqt6charts6 libxlsxwriter4; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package"
done

work=$(mktemp -d)
gui=
cleanup() {
    [ -n "$gui" ] && kill "$gui" 2>/dev/null || true
    "${sudo[@]}" dpkg -r moting-seo >/dev/null || echo "package test: dpkg -r moting-seo failed" >&2
    rm -rf "$work"
}
trap cleanup EXIT
"${sudo[@]}" dpkg -i "$deb" >/dev/null || fail "dpkg -i $deb"

# A user who never ran the program: the data folder is made in their home, never in /usr/bin,
# even for root, who could write there.
mkdir -p "$work/home" "$work/gui-home"
as_new_user() { # home command...
    local home=$1
    shift
    env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" "$@"
}
as_new_user "$work/home" /usr/bin/moting-seo-cli sites add example.com ||
    fail "moting-seo-cli sites add"
data=$work/home/.local/share/moting-seo
grep -q '^example\.com' "$data/Url.txt" 2>/dev/null || fail "example.com is not in $data/Url.txt"
[ ! -e /usr/bin/Url.txt ] || fail "the installed program wrote /usr/bin/Url.txt"
as_new_user "$work/home" /usr/bin/moting-seo-cli history >/dev/null ||
    fail "moting-seo-cli history"
# A spreadsheet loads the report module from its installed place.
as_new_user "$work/home" /usr/bin/moting-seo-cli history --xlsx "$work/home/history.xlsx" >/dev/null ||
    fail "moting-seo-cli history --xlsx"
[ -s "$work/home/history.xlsx" ] || fail "moting-seo-cli history --xlsx wrote no file"

# A rank query loads the browser module from its installed place and reads a page in Chromium:
# an engine on loopback whose page has no results is an honest failure that names the page.
mkdir -p "$work/web/s" "$work/rank"
echo '<html><body><div id="content_left"></div></body></html>' >"$work/web/s/index.html"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
(cd "$work/web" && exec timeout 120 python3 -m http.server "$port" --bind 127.0.0.1 >/dev/null 2>&1) &
web=$!
for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
printf '[Engines]\r\nBaiduAddress=http://127.0.0.1:%s\r\n' "$port" >"$work/rank/Setting.ini"
rank=$(QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu timeout 120 \
    /usr/bin/moting-seo-cli rank --dir "$work/rank" example.com test 2>&1) || true
kill "$web" 2>/dev/null || true
grep -q "第 1 页没有结果块" <<<"$rank" || fail "moting-seo-cli rank did not read the page: $rank"

# The window starts, makes its data folder and keeps running.
env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$work/gui-home" QT_QPA_PLATFORM=offscreen \
    QTWEBENGINE_DISABLE_SANDBOX=1 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
    /usr/bin/moting-seo >"$work/gui.log" 2>&1 &
gui=$!
sleep 5
if ! kill -0 "$gui" 2>/dev/null; then
    cat "$work/gui.log" >&2
    fail "moting-seo ended within 5 seconds of its start"
fi
kill "$gui"
wait "$gui" 2>/dev/null || true
gui=
[ -d "$work/gui-home/.local/share/moting-seo" ] || fail "moting-seo made no data folder"

echo "package test: passed"
