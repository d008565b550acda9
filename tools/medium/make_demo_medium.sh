#!/bin/sh
# Builds the demo CD tree from generated content and the programs of a build.
#
#   make_demo_medium.sh <build-dir> <out-dir>
#
# <build-dir> must hold setup.exe and demo-content/ (cmake --build does both).
# <out-dir> is created, or rebuilt when it holds an earlier medium.
set -eu

[ $# -eq 2 ] || { echo "usage: $0 <build-dir> <out-dir>" >&2; exit 2; }
build=$1 out=$2
here=$(cd "$(dirname "$0")" && pwd)

[ -f "$build/setup.exe" ] || { echo "$0: $build/setup.exe not found; build first" >&2; exit 1; }

staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT

python3 "$here/demo_content.py" --programs "$build/demo-content" --staging "$staging"
python3 "$here/build_medium.py" layout --staging "$staging" --out "$out" \
    --setup "$build/setup.exe" --replace
python3 "$here/build_medium.py" check --cd "$out"
