#!/bin/bash
# Prints the path of a root that holds a minimal Debian 12 (debootstrap
# --variant=minbase) and the packages of the base list
# (cmake/linux-base-libraries.txt), from which every shared library that is
# not one of those packages' own has been removed: the libraries any desktop
# provides, and nothing else. Dependencies that debootstrap pulls in (Mesa,
# apt's own libraries, the C++ runtime) are removed with the rest.
#
# Built once for each version of the list and of this script, and cached in
# VELNO_PACKAGE_CACHE (default ~/.cache/velno-package-root): the first run
# downloads about 85 MB and takes about two minutes, later runs none.
#
# Usage: base-root.sh LIST
# Exit status 77, with one line saying why, when no root is cached and
# Debian's archive cannot be reached.
set -euo pipefail

list=$(realpath "$1")
cache=${VELNO_PACKAGE_CACHE:-$HOME/.cache/velno-package-root}
mkdir -p "$cache/debs"
key=$(cat "$list" "$0" | sha256sum | cut -c1-16)
root=$cache/root-$key
exec 9>"$cache/lock"
flock 9
if [ -e "$root/.complete" ]; then
    echo "$root"
    exit 0
fi

packages=$(awk '!/^#/ && NF > 1 { for (i = 2; i <= NF; i++) if ($i != "-") print $i }' "$list" | sort -u)
building=$cache/building
log=$cache/debootstrap.log
rm -rf "$building"
echo "building the base-list root in $building (log: $log)" >&2
if ! debootstrap --variant=minbase --cache-dir="$cache/debs" --include="$(paste -sd, <<<"$packages")" \
    bookworm "$building" >"$log" 2>&1; then
    rm -rf "$building"
    if grep -qE "Failed getting release file|Couldn't download|Failure trying to run" "$log"; then
        echo "SKIP: Debian's archive cannot be reached, and no base-list root is cached: $(grep -m1 -E '^E:' "$log")"
        exit 77
    fi
    tail -5 "$log" >&2
    echo "FAIL: debootstrap could not build the base-list root" >&2
    exit 1
fi

# Paths as the merged /usr has them, so that a package's list (/lib/...)
# and the files found (/usr/lib/...) compare.
canonical() { sed -E 's#^/(lib|lib64|bin|sbin)/#/usr/\1/#' | sort -u; }
kept=$(for package in $packages; do
    cat "$building/var/lib/dpkg/info/$package.list" "$building/var/lib/dpkg/info/$package:amd64.list" 2>/dev/null || true
done | canonical)
found=$(cd "$building" && find . -regextype posix-extended \( -type f -o -type l \) \
    -regex '.*/[^/]+\.so(\.[0-9]+)*' -printf '/%P\n' | canonical)
comm -23 <(echo "$found") <(echo "$kept") | while read -r library; do rm -f "$building$library"; done

# Each pattern of the list must name a library its packages provide.
names=$(grep -E '\.so' <<<"$kept" | xargs -n1 basename)
awk '!/^#/ && NF > 1 && $2 != "-" { print $1 }' "$list" | while read -r pattern; do
    grep -qE "$pattern" <<<"$names" || { echo "FAIL: no package of the base list provides $pattern" >&2; exit 1; }
done

rm -rf "$building"/var/cache/apt/* "$building"/var/lib/apt/lists/* "$building"/usr/share/{doc,man,locale}
chroot "$building" /sbin/ldconfig
mkdir -p "$building"/{opt/velno,opt/probe,probe,run/user}
touch "$building/.complete"
rm -rf "$cache"/root-*
mv "$building" "$root"
echo "$root"
