#!/usr/bin/env bash
# Fetches what only the benchmarks use: the npm GEDCOM parser that parseGedcom is measured against. Only its
# self-contained browser build is needed, so the package is unpacked by itself into the build tree rather
# than installed with the tree of release tools it declares as dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."

dir=build/bench-deps
target="$dir/parse-gedcom/dist/index.umd.js"
[ -f "$target" ] && exit 0
mkdir -p "$dir"
tarball=$(cd "$dir" && npm pack --silent parse-gedcom@2.0.1)
rm -rf "$dir/parse-gedcom"
mkdir -p "$dir/parse-gedcom"
tar -xzf "$dir/$tarball" -C "$dir/parse-gedcom" --strip-components=1
rm -f "$dir/$tarball"
[ -f "$target" ]
