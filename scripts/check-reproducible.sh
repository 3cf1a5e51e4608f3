#!/bin/sh
# Shows that the packages rebuild byte for byte: clones the current commit
# twice, at two different paths, builds the packages in each with
# scripts/package.sh, the second a few seconds later and under umask 0002,
# and compares the two .deb and the two .zip with cmp. Changes not yet
# committed are not part of the check. Fails when any byte differs.
# Usage: scripts/check-reproducible.sh   (two full builds: several minutes)
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh package

commit=$(git rev-parse HEAD)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
first=$work/first
second=$work/elsewhere/second

# package.sh takes the time stamp from the commit, not from here.
unset SOURCE_DATE_EPOCH
for clone in "$first" "$second"; do
    (
        [ "$clone" = "$first" ] || umask 0002
        git clone -q --no-checkout . "$clone"
        git -C "$clone" checkout -q "$commit"
        echo "== Building the packages of $commit in $clone (umask $(umask))"
        "$clone/scripts/package.sh" >"$clone.log" 2>&1 || {
            cat "$clone.log" >&2
            exit 1
        }
    )
    sleep 2
done

status=0
for package in native/tvkdmpst_*_amd64.deb windows-i686/tvkdmpst-*-win32.zip; do
    a=$(ls "$first"/build/$package)
    b=$(ls "$second"/build/$package)
    if cmp "$a" "$b"; then
        echo "same: $(basename "$a") $(sha256sum <"$a" | cut -d' ' -f1)"
    else
        status=1
    fi
done
exit $status
