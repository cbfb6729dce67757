#!/usr/bin/env bash
# Builds the Debian packages as Debian builds them (dpkg-buildpackage, from
# debian/), twice, from copies of the tree at two different paths, and checks:
#  - the two builds give the same bytes;
#  - lintian --pedantic finds no error and no warning;
#  - the installed packages pass their autopkgtest (the null runner: this
#    machine, as root);
#  - installing, running, removing and purging leave nothing behind.
# The packages stay in build-deb/a/. Needs root (or sudo) for the install.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

bash scripts/zo.sh setup
out=$PWD/build-deb
rm -rf "$out"
mkdir -p "$out"
trees=()
for side in a bb; do
  top=$(mktemp -d "/tmp/zo-deb-$side.XXXXXX")
  tree=$top/zo-vovere
  mkdir -p "$tree"
  git ls-files -z -co --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$tree"
  echo "== dpkg-buildpackage in $tree"
  (cd "$tree" && dpkg-buildpackage -us -uc -b -j2 >"$out/build-$side.log" 2>&1) ||
    { tail -n 40 "$out/build-$side.log"; exit 1; }
  mkdir -p "$out/$side"
  mv "$top"/*.deb "$top"/*.changes "$top"/*.buildinfo "$out/$side/"
  trees+=("$tree")
done

echo "== the two builds"
same=1
for deb in "$out"/a/*.deb; do
  name=$(basename "$deb")
  if cmp -s "$deb" "$out/bb/$name"; then
    echo "same: $name $(sha256sum <"$deb" | cut -c1-16)"
  else
    same=0
    echo "DIFFERENT: $name"
    diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$out/bb/$name") || true
  fi
done
[ "$same" -eq 1 ]

echo "== lintian --pedantic"
lintian --pedantic --display-info --display-experimental --allow-root \
  --fail-on error,warning "$out"/a/*.changes
echo "lintian: no error, no warning"

# What the system holds before the packages come, to compare after the purge
# (the desktop's caches, which the packages' triggers rebuild, aside).
snapshot() {
  find /etc /usr /var/lib/systemd -xdev 2>/dev/null |
    grep -v -E '/(icon-theme\.cache|mimeinfo\.cache)$|^/usr/share/mime/' | sort
}
snapshot >"$out/before.txt"

echo "== autopkgtest (null runner)"
as_root autopkgtest "$out"/a/zo-vovere_*_amd64.deb "$out"/a/zo-vovere-sim_*_amd64.deb \
  "${trees[0]}" -- null

echo "== remove and purge"
files=$(for deb in "$out"/a/zo-vovere_*_amd64.deb "$out"/a/zo-vovere-sim_*_amd64.deb; do
  dpkg-deb -c "$deb" | awk '{print substr($6, 2)}' | grep -v '/$'
done)
as_root dpkg --remove zo-vovere zo-vovere-sim
as_root dpkg --purge zo-vovere zo-vovere-sim
left=0
for file in $files; do
  if [ -e "$file" ]; then echo "left behind: $file"; left=1; fi
done
if dpkg-query -W 'zo-vovere*' >/dev/null 2>&1; then echo "still known to dpkg"; left=1; fi
snapshot >"$out/after.txt"
if ! diff "$out/before.txt" "$out/after.txt"; then echo "the system changed"; left=1; fi
[ "$left" -eq 0 ]
echo "installed, ran, removed and purged: nothing left behind"
rm -rf "$(dirname "${trees[0]}")" "$(dirname "${trees[1]}")"
