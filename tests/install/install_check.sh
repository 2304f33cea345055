#!/bin/bash
# Checks of the installed program: install_check.sh CHECK BUILD_DIR
#   entries  the desktop entry, icon and metainfo, as installed, validate
#   package  the Debian package builds, holds its files in their places,
#            names its run-time dependencies and installs and removes cleanly
#   run      the installed executable, in a folder its user cannot write,
#            keeps its settings in the user's configuration folder and ends
#            on SIGTERM as on its close box
# Every step is bounded by a time-out.
set -euo pipefail
check=$1
build=$(cd "$2" && pwd)
id=cz.krovan.Krovan

fail() { echo "FAIL: $*" >&2; exit 1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 755 "$tmp"

# Installs as a package would, below /usr in a staging root.
stage() {
    DESTDIR="$tmp/stage" timeout 120 cmake --install "$build" --prefix /usr >/dev/null
    chmod -R go+rX "$tmp/stage"
}

entries() {
    stage
    local share=$tmp/stage/usr/share out
    local desktop=$share/applications/$id.desktop
    local metainfo=$share/metainfo/$id.metainfo.xml
    [ -f "$desktop" ] || fail "no desktop entry at $desktop"
    [ -f "$metainfo" ] || fail "no metainfo at $metainfo"
    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    # Hints are advice; warnings and errors are not accepted.
    if [ -n "$(grep -v ': hint: ' <<<"$out")" ]; then fail "desktop-file-validate: $out"; fi
    for key in Name Name\\[cs\\] GenericName GenericName\\[cs\\] Comment Comment\\[cs\\]; do
        grep -q "^$key=." "$desktop" || fail "desktop entry lacks $key"
    done
    grep -q '^Categories=.*Development;' "$desktop" || fail "not in the Development menu"
    grep -q '^Categories=.*Network;' "$desktop" || fail "not in the Network menu"
    # The entry starts the installed executable and shows the installed icon.
    local exec icon
    exec=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$tmp/stage/usr/bin/$exec" ] || fail "Exec=$exec is not installed in /usr/bin"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not installed"
    grep -q '<svg' "$share/icons/hicolor/scalable/apps/$icon.svg" || fail "the icon is no SVG"
    out=$(timeout 60 appstreamcli validate --no-net "$metainfo" 2>&1) ||
        fail "appstreamcli validate: $out"
    grep -q '<project_license>GPL-3.0-or-later</project_license>' "$metainfo" ||
        fail "the metainfo names no licence"
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metainfo does not launch the desktop entry"
    [ -f "$share/man/man1/krovan.1.gz" ] || fail "no man page"
    out=$(zcat "$share/man/man1/krovan.1.gz")
    for text in default.ini XDG_CONFIG_HOME /dev/ttyUSB0 /dev/rfcomm31 COM160; do
        grep -qF -- "$text" <<<"$out" || fail "the man page does not mention $text"
    done
    [ -f "$share/man/man5/krovan.ini.5.gz" ] || fail "no man page of the settings file"
    local ini
    ini=$(zcat "$share/man/man5/krovan.ini.5.gz")
    for text in Form_main tcp_s_p Frame_TX_ Frame_filtr_ limit_mb; do
        grep -qF -- "$text" <<<"$ini" || fail "krovan.ini(5) does not mention $text"
    done
    for kind in serial tcp-client tcp-server udp icmp; do
        [ -f "$share/doc/krovan/examples/$kind.ini" ] || fail "no example set-up $kind.ini"
    done
    # Both name the version the package has.
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo does not name $version"
    grep -q "^\\.TH KROVAN 1 .*\"Krovan $version\"" <<<"$out" || fail "the man page does not name $version"
    echo "desktop entry, icon, metainfo and man page validate"
}

package() {
    timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/pkg" >"$tmp/cpack.log" 2>&1 ||
        { cat "$tmp/cpack.log" >&2; fail "cpack -G DEB failed"; }
    local deb=$tmp/pkg/krovan_0.6_$(dpkg --print-architecture).deb
    [ -f "$deb" ] || fail "no package $deb among: $(ls "$tmp/pkg")"
    local files
    files=$(dpkg-deb -c "$deb" | awk '{print $6}')
    for f in ./usr/bin/krovan ./usr/share/applications/$id.desktop \
        ./usr/share/icons/hicolor/scalable/apps/$id.svg ./usr/share/metainfo/$id.metainfo.xml \
        ./usr/share/man/man1/krovan.1.gz ./usr/share/man/man5/krovan.ini.5.gz \
        ./usr/share/doc/krovan/copyright ./usr/share/doc/krovan/examples/udp.ini; do
        grep -qxF "$f" <<<"$files" || fail "$f is not in the package: $files"
    done
    # Read whole before it is searched: a search that stops at the first
    # match would break the pipe of a writer still writing.
    local copyright
    copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/doc/krovan/copyright)
    grep -q '^License: GPL-3+$' <<<"$copyright" || fail "the copyright file does not name GPL-3+"
    [ "$(dpkg-deb -f "$deb" Package)" = krovan ] || fail "package name"
    [ "$(dpkg-deb -f "$deb" Version)" = 0.6 ] || fail "version $(dpkg-deb -f "$deb" Version)"
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
    [ -n "$(dpkg-deb -f "$deb" Section)" ] || fail "no section"
    dpkg-deb -f "$deb" Description | sed -n 2p | grep -q . || fail "no long description"
    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libc6 libqt6core6 libqt6widgets6 libqt6network6 qt6-translations-l10n; do
        grep -qw "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
    done
    # Install and remove in a private root, so the machine is left alone.
    local root=$tmp/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
    timeout 120 dpkg --root="$root" --force-depends --force-not-root -i "$deb" >"$tmp/dpkg.log" 2>&1 ||
        { cat "$tmp/dpkg.log" >&2; fail "the package does not install"; }
    [ -x "$root/usr/bin/krovan" ] || fail "the installed package has no /usr/bin/krovan"
    timeout 120 dpkg --root="$root" --force-not-root --purge krovan >"$tmp/dpkg.log" 2>&1 ||
        { cat "$tmp/dpkg.log" >&2; fail "the package does not remove"; }
    local left
    left=$(cd "$root" && find . -path ./var/lib/dpkg -prune -o -type f -print)
    [ -z "$left" ] || fail "removal left files behind: $left"
    echo "package $(basename "$deb") builds, installs and removes"
}

# Runs the staged executable as the unprivileged user 65534 with a clean
# environment, waits until it is ready, then ends it with SIGTERM.
# Usage: runprogram READY LOG VAR=VALUE...
#   READY  "signal": ready once SIGTERM is caught and a second has passed
#          (time for the first activation, which loads the settings); or a
#          file: ready once the program has read it (its settings load)
runprogram() {
    local ready=$1 log=$2
    shift 2
    local watcher=""
    if [ "$ready" != signal ]; then
        timeout 120 inotifywait -e close_nowrite "$ready" >/dev/null 2>"$tmp/watch.log" &
        watcher=$!
        for _ in $(seq 200); do
            grep -q 'Watches established' "$tmp/watch.log" && break
            sleep 0.05
        done
    fi
    setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen "$@" \
        "$tmp/stage/usr/bin/krovan" >"$log" 2>&1 &
    local pid=$! mask=0
    for _ in $(seq 1200); do
        mask=$(sed -n 's/^SigCgt:\s*//p' "/proc/$pid/status" 2>/dev/null || echo 0)
        (((0x${mask:-0} & 0x4000) != 0)) && break
        sleep 0.05
    done
    (((0x${mask:-0} & 0x4000) != 0)) || { kill -KILL "$pid"; cat "$log" >&2; fail "never ready"; }
    [ -n "$watcher" ] || sleep 1
    if [ -n "$watcher" ]; then
        wait "$watcher" || { kill -KILL "$pid"; cat "$log" >&2; fail "never read $ready"; }
    fi
    kill -TERM "$pid"
    # Ends within the time-out, else is killed and fails.
    local state
    for _ in $(seq 600); do
        state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || echo gone)
        [ "$state" = Z ] || [ "$state" = gone ] && break
        sleep 0.05
    done
    if [ "$state" != Z ] && [ "$state" != gone ]; then
        kill -KILL "$pid"
        cat "$log" >&2
        fail "the program did not end on SIGTERM"
    fi
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || { cat "$log" >&2; fail "the program ended with status $status"; }
}

run() {
    stage
    local bin=$tmp/stage/usr/bin home=$tmp/home
    chmod a-w "$bin"
    mkdir -p "$home/run"
    chmod 700 "$home/run"
    chown -R 65534:65534 "$home"
    # The case is about a folder the user cannot write: make sure it is one.
    if setpriv --reuid=65534 --regid=65534 --clear-groups test -w "$bin"; then
        fail "$bin is writable by user 65534"
    fi

    # First start: the configuration folder does not exist yet. A signal that
    # comes before the settings were loaded ends the program without a save;
    # on a machine busy enough for that, the start is tried again.
    for _ in 1 2 3; do
        runprogram signal "$tmp/run1.log" HOME="$home" XDG_CONFIG_HOME="$home/cfg" \
            XDG_RUNTIME_DIR="$home/run"
        [ -f "$home/cfg/krovan/default.ini" ] && break
    done
    [ -f "$home/cfg/krovan/default.ini" ] || { cat "$tmp/run1.log" >&2; fail "no $home/cfg/krovan/default.ini"; }
    grep -q '^\[Form_main\]' "$home/cfg/krovan/default.ini" || fail "the saved file has no set-up"
    [ ! -e "$bin/default.ini" ] || fail "a file was written beside the executable"

    # Without XDG_CONFIG_HOME the file is ~/.config/krovan/default.ini; the
    # set-up written there is found again at the next start.
    mkdir -p "$home/.config/krovan"
    printf '[Form_main]\r\nconnection=3\r\n' >"$home/.config/krovan/default.ini"
    chown -R 65534:65534 "$home/.config"
    runprogram "$home/.config/krovan/default.ini" "$tmp/run2.log" HOME="$home" \
        XDG_RUNTIME_DIR="$home/run"
    local saved=$home/.config/krovan/default.ini
    grep -q '^connection=3' "$saved" || fail "the stored connection was not kept: $(cat "$saved")"
    grep -q '^\[Form_TX\]' "$saved" || fail "the close did not save the set-up: $(cat "$saved")"
    echo "the installed program keeps its settings in the user's folder and ends on SIGTERM"
}

case $check in
entries | package | run) "$check" ;;
*) fail "unknown check $check" ;;
esac
