#!/usr/bin/env bash
# Usage: scripts/package-check.sh [--system] [BUILD_FOLDER]
# Builds the Debian package from a Release build (default folder build-package; tests and
# benchmarks off), checks its control data and contents, installs it and uses it the way a
# user would: --version, a conversion, man, bash completion, the desktop metadata validators.
# The package goes into a throw-away root (extracted with dpkg-deb; the libraries come from
# this machine), or with --system into this machine with apt-get, removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

system=0
build=build-package
for arg in "$@"; do
    case $arg in
        --system) system=1 ;;
        -*) echo "usage: $0 [--system] [BUILD_FOLDER]" >&2; exit 2 ;;
        *) build=$arg ;;
    esac
done

failures=0
fail() {
    echo "package-check: FAILED: $*" >&2
    failures=$((failures + 1))
}
step() { echo "package-check: $*"; }

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF -DPELMORA_BENCH=OFF \
    -DPELMORA_GUI=ON -DPELMORA_SANITIZE= >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/pelmora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/pelmora_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package-check: cpack made ${#debs[@]} packages: ${debs[*]}" >&2
    exit 1
fi
deb=$(realpath "${debs[0]}")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
step "built $deb (version $version)"

# Control data: name, version, and Depends worked out from the linked libraries.
info=$(dpkg-deb --info "$deb")
grep -qx ' Package: pelmora' <<<"$info" || fail "Package is not pelmora"
grep -qx " Version: $version" <<<"$info" || fail "Version is not $version"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
step "Depends: $depends"
for library in libc6 libmad0 libid3tag0 libid3-3.8.3v5 libqt6core6 libqt6gui6 libqt6widgets6 \
    libqt6network6; do
    grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends does not name $library"
done

# Contents: every file a user and the desktop look for, all under /usr, owned by root.
contents=$(dpkg-deb --contents "$deb")
paths=$(awk '{print $NF}' <<<"$contents")
for path in \
    ./usr/bin/pelmora \
    ./usr/bin/pelmora-cli \
    ./usr/share/man/man1/pelmora.1.gz \
    ./usr/share/man/man1/pelmora-cli.1.gz \
    ./usr/share/bash-completion/completions/pelmora-cli \
    ./usr/share/metainfo/io.github.pelmora.Pelmora.metainfo.xml \
    ./usr/share/applications/io.github.pelmora.Pelmora.desktop \
    ./usr/share/icons/hicolor/scalable/apps/pelmora.svg \
    ./usr/share/pelmora/help_general.html \
    ./usr/share/pelmora/introduction.html; do
    grep -qx -- "$path" <<<"$paths" || fail "the package lacks $path"
done
outside=$(grep -vE '^\./(usr/.*)?$' <<<"$paths" || true)
[ -z "$outside" ] || fail "files outside /usr: $outside"
owners=$(awk '{print $2}' <<<"$contents" | sort -u)
[ "$owners" = "root/root" ] || fail "owners other than root/root: $owners"
if command -v pkg-config >/dev/null && pkg-config --exists bash-completion; then
    completions=$(pkg-config --variable=completionsdir bash-completion)
    [ "$completions" = /usr/share/bash-completion/completions ] ||
        fail "bash-completion loads from $completions"
fi

work=$(mktemp -d)
cleanup() {
    rm -rf "$work"
    if [ $system -eq 1 ] && dpkg-query -W -f='${Status}' pelmora 2>/dev/null |
        grep -q "install ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq pelmora >/dev/null
        step "removed the package again"
    fi
}
trap cleanup EXIT

if [ $system -eq 1 ]; then
    if dpkg-query -W -f='${Status}' pelmora 2>/dev/null | grep -q "install ok installed"; then
        echo "package-check: pelmora is already installed; not touching it" >&2
        exit 1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
    root=
    step "installed with apt-get"
else
    # The build machine has every library the package depends on: a simulated install
    # must add nothing but the package itself.
    simulation=$(apt-get install --simulate "$deb" 2>/dev/null || true)
    installs=$(grep '^Inst ' <<<"$simulation" | awk '{print $2}' | paste -sd' ')
    [ "$installs" = "pelmora" ] || fail "a simulated apt-get install installs '$installs'"
    root=$work/root
    dpkg-deb -x "$deb" "$root"
    step "extracted into $root"
fi
bin=$root/usr/bin
share=$root/usr/share

for program in pelmora pelmora-cli; do
    case $(file -b "$bin/$program") in
        *"not stripped"*) fail "$program is not stripped" ;;
    esac
done
shown=$("$bin/pelmora-cli" --version) || fail "pelmora-cli --version failed"
[ "$shown" = "pelmora-cli $version" ] || fail "pelmora-cli --version shows '$shown'"
# Answered before Qt starts, hence without a display.
shown=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$bin/pelmora" --version) ||
    fail "pelmora --version failed"
[ "$shown" = "pelmora $version" ] || fail "pelmora --version shows '$shown'"

# One conversion with the installed program; the stripped binary must write the same bytes
# as the one in the build folder.
"$bin/pelmora-cli" --quiet -o "$work/installed" samples/demo.mp3 ||
    fail "the installed pelmora-cli could not convert samples/demo.mp3"
"$build/pelmora-cli" --quiet -o "$work/built" samples/demo.mp3
if [ "$(head -c 4 "$work/installed/demo.wav" 2>/dev/null)" != RIFF ]; then
    fail "demo.wav from the installed program is no RIFF file"
elif ! cmp -s "$work/installed/demo.wav" "$work/built/demo.wav"; then
    fail "the installed and the built pelmora-cli wrote different demo.wav files"
else
    step "converted samples/demo.mp3 ($(stat -c %s "$work/installed/demo.wav") bytes)"
fi

# man finds and renders both pages.
if [ -n "$root" ]; then
    export MANPATH=$share/man
fi
for page in pelmora-cli pelmora; do
    found=$(man -w "$page" 2>/dev/null) || true
    [ "$found" = "$share/man/man1/$page.1.gz" ] || fail "man -w $page finds '$found'"
    warnings=$(MANWIDTH=80 man --warnings -P cat "$page" 2>&1 >"$work/$page.txt") || true
    [ -z "$warnings" ] || fail "man $page warns: $warnings"
    grep -q "^NAME" "$work/$page.txt" && grep -q "^EXIT STATUS" "$work/$page.txt" ||
        fail "man $page does not render its sections"
done
step "man -w pelmora-cli: $(man -w pelmora-cli 2>/dev/null || true)"

# bash completion from the installed file, and through bash-completion's loader.
bash tests/packaging/completion_test.sh "$share/bash-completion/completions/pelmora-cli" \
    "$bin/pelmora-cli" || fail "bash completion"
if [ -z "$root" ] && [ -f /usr/share/bash-completion/bash_completion ]; then
    loaded=$(bash -c 'source /usr/share/bash-completion/bash_completion
        __load_completion pelmora-cli; complete -p pelmora-cli' 2>&1) || true
    [[ $loaded == "complete -F "*" pelmora-cli" ]] ||
        fail "bash-completion does not load the completion: $loaded"
fi

# Desktop metadata as installed.
desktop-file-validate "$share/applications/io.github.pelmora.Pelmora.desktop" ||
    fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/io.github.pelmora.Pelmora.metainfo.xml" ||
    fail "appstreamcli validate"
bash tests/packaging/desktop_metadata_test.sh \
    "$share/metainfo/io.github.pelmora.Pelmora.metainfo.xml" \
    "$share/applications/io.github.pelmora.Pelmora.desktop" "$version" ||
    fail "desktop metadata"

if [ $failures -ne 0 ]; then
    echo "package-check: $failures checks failed for $(basename "$deb")" >&2
    exit 1
fi
step "$(basename "$deb") passed every check"
