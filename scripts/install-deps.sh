#!/usr/bin/env bash
# Installs the Debian 12 packages Pelmora needs to build, test and benchmark.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    libmad0-dev libid3tag0-dev libid3-3.8.3-dev zlib1g-dev libebur128-dev
    qt6-base-dev
    nlohmann-json3-dev
    libsoxr-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    clang-format git
    # Packaging and its checks (scripts/package-check.sh): cpack's Depends through
    # dpkg-shlibdeps, man pages, bash completion, desktop entry and AppStream validators.
    dpkg-dev file man-db bash-completion desktop-file-utils appstream
    # test tools: other programs read back what pelmora-cli writes (ffprobe, exiftool, soxi),
    # and the README's GNU parallel recipe is run by a test (skipped without it)
    ffmpeg libimage-exiftool-perl sox parallel
    # long and resampled outputs: sndfile-info reads RF64 files, numpy measures the
    # resampler's spectra (/usr/bin/python3), cueprint parses the cue sheets
    sndfile-programs python3-numpy cuetools
    # loudness tests: test signals encoded with lame, ReplayGain values compared with loudgain
    lame loudgain
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
