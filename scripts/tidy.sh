#!/usr/bin/env bash
# Runs clang-tidy, with the checks of .clang-tidy, on the program's own sources (src/**/*.cpp;
# not the tests, not the files the build generates), prints what it finds and fails on any.
# BUILD_DIR is a configured and built tree: its compile_commands.json gives each file's flags,
# and the ui_*.h that the sources include exist only after a build.
# Every file, every time: on two cores the whole of src/ takes about two minutes, little
# beside the build, and a changed header is checked in every file that includes it.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: scripts/tidy.sh BUILD_DIR" >&2
    exit 2
fi
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "$1")
if [ ! -f "$build/compile_commands.json" ]; then
    echo "tidy: no compile_commands.json in $build (configure and build it first)" >&2
    exit 2
fi

mapfile -t files < <(find src -name '*.cpp' | sort)
# run-clang-tidy picks the files of the database by regular expression: each path escaped
# and anchored, so that nothing else (moc files, tests) matches.
patterns=()
for f in "${files[@]}"; do
    if ! grep -qF "\"file\": \"$root/$f\"" "$build/compile_commands.json"; then
        echo "tidy: $f is not in $build/compile_commands.json (reconfigure it)" >&2
        exit 2
    fi
    patterns+=("^$(printf '%s' "$root/$f" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$")
done

echo "clang-tidy: ${#files[@]} files of src/ with the flags of $build"
# The compile commands are GCC's; clang does not know some of its warning options.
# The per-file command lines, the colours and the count of (filtered) warnings are noise.
set +e
run-clang-tidy -p "$build" -quiet -j "$(nproc)" -extra-arg=-Wno-unknown-warning-option \
    "${patterns[@]}" 2>&1 |
    sed -E -e 's/\x1b\[[0-9;]*m//g' -e '/^clang-tidy(-[0-9]+)? .* -quiet /d' \
        -e '/^[0-9]+ warnings?( and [0-9]+ errors?)? generated\.$/d'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
    echo "clang-tidy: findings above (fix them, or NOLINT(check): reason where one is intended)" >&2
    exit 1
fi
echo "clang-tidy: no findings"
