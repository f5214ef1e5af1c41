#!/usr/bin/env bash
# Installs the packages, then runs the four checks CI relies on and stops at the first failure:
#   asan     Debug with AddressSanitizer and UndefinedBehaviorSanitizer, every test
#   release  Release (the optimiser finds what Debug hides), every test
#   tsan     ThreadSanitizer, the window-free batch and worker tests
#   format   clang-format over every tracked C++ source
#   package  the Debian package: contents, Depends, installed programs, manuals, metadata
# Every build treats warnings as errors. ccache is used when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
    export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi

leg_asan() {
    cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPELMORA_SANITIZE=address,undefined \
        -DPELMORA_WERROR=ON -DPELMORA_BENCH=OFF
    cmake --build build-asan -j"$jobs"
    ctest --test-dir build-asan --no-tests=error --output-on-failure -j"$jobs"
}

# With the benchmarks, as the README's hand build has them.
leg_release() {
    cmake -S . -B build-release-ci -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON
    cmake --build build-release-ci -j"$jobs"
    ctest --test-dir build-release-ci --no-tests=error --output-on-failure -j"$jobs"
}

# The batch driver and the CLI's worker processes are where threads and signals meet; the
# window's suites would bring in Qt, whose own threads are not built for ThreadSanitizer.
leg_tsan() {
    # GCC 12's ThreadSanitizer cannot lay out its shadow memory when the kernel randomises
    # mappings with more than 28 bits (it stops with "unexpected memory mapping"); on such
    # hosts the instrumented programs, test discovery in the build included, run without
    # address randomisation. Only then: container seccomp profiles often refuse setarch -R.
    local no_aslr=()
    if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
        no_aslr=(setarch "$(uname -m)" -R)
    fi
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_SANITIZE=thread \
        -DPELMORA_WERROR=ON -DPELMORA_GUI=OFF -DPELMORA_BENCH=OFF
    "${no_aslr[@]}" cmake --build build-tsan -j"$jobs" --target pelmora-cli core_tests cli_tests
    "${no_aslr[@]}" ctest --test-dir build-tsan --no-tests=error --output-on-failure -j"$jobs" \
        -L '^(core_tests|cli_tests)$'
}

# The Debian package from the release leg's build (its tests are done by then; the package
# needs only the programs), installed into a throw-away root and used from there.
leg_package() {
    scripts/package-check.sh build-release-ci
}

leg_format() {
    git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror
}

current=""
started=$SECONDS
report_failure() {
    local status=$?
    if [ "$status" -ne 0 ] && [ -n "$current" ]; then
        echo "=== $current FAILED after $((SECONDS - started))s"
    fi
}
trap report_failure EXIT

scripts/install-deps.sh
summary=()
for leg in asan release tsan format package; do
    current=$leg
    started=$SECONDS
    echo "=== $leg"
    "leg_$leg"
    summary+=("$leg $((SECONDS - started))s")
    echo "=== $leg passed in $((SECONDS - started))s"
done
current=""
echo "=== all legs passed: ${summary[*]}"
