#!/bin/bash
# Runs a Windows program as wine-run.sh does, but with drive E: on a small
# volume of its own: a 2 MiB tmpfs under the drive's folder, in a private
# mount namespace that Wine's server shares, so that the program can fill
# the drive. The namespace, its mount and that server end with the program;
# nothing else sees them. Without root or unshare the program runs on the
# ordinary drive E: and says what it cannot show there.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
"$here/prepare-prefix.sh" || exit 1
if [ -z "${VELNO_SMALL_DRIVE:-}" ] && [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    VELNO_SMALL_DRIVE=1 exec unshare -m --propagation private "$0" "$@"
fi
if [ -n "${VELNO_SMALL_DRIVE:-}" ]; then
    # A server started outside would see the ordinary drive.
    wineserver -k 2>/dev/null
    wineserver -w
    # Over the folder that holds the drives' folders, so that a drive's
    # folder can still be renamed away (a mount point cannot).
    saved="$(mktemp -d)"
    cp -a "$VELNO_DRIVES_DIR/." "$saved/"
    mount -t tmpfs -o size=2m velno-small-drive "$VELNO_DRIVES_DIR" || exit 1
    cp -a "$saved/." "$VELNO_DRIVES_DIR/"
    rm -rf "$saved"
fi
"$(velno_wine_for "$1")" "$@" | tr -d '\r'
status=${PIPESTATUS[0]}
if [ -n "${VELNO_SMALL_DRIVE:-}" ]; then
    wineserver -k 2>/dev/null
    wineserver -w
fi
exit "$status"
