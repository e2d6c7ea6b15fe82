#!/bin/bash
# Runs a Windows program under Wine in the prepared prefix; CTest uses this
# as the cross-compiling emulator. Console output loses its carriage
# returns so that tools reading it (test discovery) see plain lines.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=wine-env.sh
. "$here/wine-env.sh"
"$here/prepare-prefix.sh" || exit 1
"$(velno_wine_for "$1")" "$@" | tr -d '\r'
