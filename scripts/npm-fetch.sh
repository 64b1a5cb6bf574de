#!/usr/bin/env bash
# Fetches one package from the npm registry, pinned, checked against the
# registry's own sha512 before it is unpacked; once (a second call finds it).
#   bash scripts/npm-fetch.sh NAME VERSION INTEGRITY FOLDER
# unpacks NAME@VERSION into FOLDER/package. INTEGRITY is the registry's
# "sha512-..." for that tarball (npm view NAME@VERSION dist.integrity).
set -euo pipefail
name=$1 version=$2 integrity=$3 folder=$4
[ -d "$folder/package" ] && exit 0
# Some machines' node brings its own npm, which Debian's package would clash with.
command -v npm >/dev/null || bash "$(dirname "$0")/deps.sh" npm
rm -rf "$folder" && mkdir -p "$folder"
(cd "$folder" && npm pack --silent "$name@$version" >/dev/null)
tarball=$(ls "$folder"/*.tgz)
expected=$(echo "${integrity#sha512-}" | base64 -d | od -An -tx1 | tr -d ' \n')
got=$(sha512sum "$tarball" | cut -d' ' -f1)
[ "$expected" = "$got" ] || { echo "$tarball: not the registry's bytes" >&2; rm -rf "$folder"; exit 1; }
tar xzf "$tarball" -C "$folder"
