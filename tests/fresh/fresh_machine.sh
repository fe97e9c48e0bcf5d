#!/usr/bin/env bash
# The README's promise, tried where nothing else can help it: a minimal Debian root with
# only what the README says a fresh machine needs before its two commands, the
# committed tree cloned in, the set-up and the release builds run there as a user would
# (as root, with the network), then the staged demo played through its whole timeline,
# and the three release files compared byte for byte with the host's.
#
#   fresh_machine.sh CACHE_DIR REPO HOST_DIST SHIM_NAME
#
# The root is made once per package list and kept in CACHE_DIR with its clone and the
# clone's build folder, so a later run fetches the new commit and rebuilds only what
# changed. Everything the root printed is in CACHE_DIR/fresh.log.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../support/debian_root.sh
. "$here/../support/debian_root.sh"

cache=$(mkdir -p "$1" && cd "$1" && pwd)
repo=$(cd "$2" && pwd)
hostDist=$3
shim=$4

# What the README asks of a fresh Debian 12 machine before `make run` and `make test`.
prerequisites=(make git)

log=$cache/fresh.log
fail() {
  echo "fresh machine: $*" >&2
  [ -f "$log" ] && { echo "--- the last lines of $log:" >&2; tail -n 25 "$log" >&2; }
  exit 1
}
step() { echo "fresh machine: $*"; echo "=== $*" >>"$log"; }

mirror=$(hostMirror) || exit 1
sources=$(hostDebianSources)
# The set-up's package lists are in setup.sh: a change there makes a new root. The
# committed one, since that is what the root builds.
key=$({ printf '%s\n' "$suite" "$mirror" "$sources" "${prerequisites[@]}"
        git -C "$repo" show HEAD:scripts/setup.sh; } | sha256sum | cut -c1-16)
root=$cache/$key
: >"$log"

if [ ! -f "$root/.ready" ]; then
  for old in "$cache"/*/; do
    [ -d "$old" ] || continue
    refuseIfMounted "${old%/}"
    rm -rf "${old%/}"
  done
  step "making a $suite root from $mirror with ${prerequisites[*]}"
  unshare --mount --propagation private \
    debootstrap --variant=minbase "$suite" "$root" "$mirror" >>"$log" 2>&1 ||
    fail "debootstrap failed"
  # The Debian entries a machine of this mirror has (its updates and security too), and
  # the npm registry the host uses, from the host's own configuration.
  if grep -q '^Types:' <<<"$sources"; then
    printf '%s\n' "$sources" >"$root/etc/apt/sources.list.d/debian.sources"
    rm -f "$root/etc/apt/sources.list"
  elif [ -n "$sources" ]; then
    printf '%s\n' "$sources" >"$root/etc/apt/sources.list"
  fi
  inRoot --root-tmp "$root" sh -c 'export DEBIAN_FRONTEND=noninteractive &&
      apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" && apt-get clean' \
      sh "${prerequisites[@]}" >>"$log" 2>&1 || fail "installing ${prerequisites[*]} failed"
  touch "$root/.ready"
fi

# The network as the host reaches it: the certificate authorities the host trusts beyond
# Debian's own (a proxy's, say), and the host's npm registry and settings. Each run, since
# the set-up may install ca-certificates and npm only now.
mkdir -p "$root/usr/local/share/ca-certificates"
for anchor in /usr/local/share/ca-certificates/*.crt /etc/ssl/certs/*.pem; do
  [ -f "$anchor" ] && [ ! -L "$anchor" ] || continue
  name=${anchor##*/}
  cp "$anchor" "$root/usr/local/share/ca-certificates/${name%.*}.crt"
done
inRoot --root-tmp "$root" sh -c 'command -v update-ca-certificates >/dev/null && update-ca-certificates || true' >>"$log" 2>&1
if command -v npm >/dev/null; then
  for npmrc in /etc/npmrc /usr/etc/npmrc; do
    mkdir -p "$root${npmrc%/*}"
    { cat "$npmrc" 2>/dev/null; echo "registry=$(npm config get registry)"; } >"$root$npmrc"
  done
fi

# The clone sits at the host clone's own path. The Linux archive and the web zip come out
# the same from any folder, but MinGW's linker orders a DLL's imports by the paths of
# the import libraries, so the Windows files match only where our folder sorts on the
# same side of MinGW's own /usr/x86_64-w64-mingw32.
# The root's own /tmp stays, since a clone may live there (CI's may).
clone=$repo
step "cloning the committed tree"
inRoot --origin "$repo" --root-tmp "$root" sh -c 'set -e
    git config --global --add safe.directory /origin
    [ -d "$1/.git" ] || git init -q "$1"
    cd "$1"
    git fetch -q --tags /origin HEAD
    git checkout -q -f FETCH_HEAD
    git clean -q -fd' sh "$clone" >>"$log" 2>&1 || fail "cannot clone $repo into the root"

# The set-up in each of its modes (docs/building-and-testing.md) comes first in these targets.
step "make dist dist-windows dist-web"
inRoot --root-tmp "$root" sh -c 'cd "$1" && make dist dist-windows dist-web' sh "$clone" >>"$log" 2>&1 ||
  fail "make dist dist-windows dist-web failed in a fresh root"

step "make run without a display"
if inRoot --root-tmp "$root" sh -c 'cd "$1" && make run' sh "$clone" >"$cache/run.out" 2>&1; then
  fail "make run without a display did not fail"
fi
grep -q "needs a display" "$cache/run.out" || { cat "$cache/run.out" >>"$log"; fail "make run did not say it needs a display"; }

step "the whole timeline, clock sped up tenfold"
stage=$clone/build/stage
if ! inRoot --offline --root-tmp "$root" sh -c 'cd "$1" && SHIM_CLOCK_SCALE=10 LD_PRELOAD="$2" \
        xvfb-run -a -s "-screen 0 1920x1080x24 -noreset" ./norrvale' \
        sh "$stage" "$clone/build/$shim" >"$cache/timeline.out" 2>&1; then
  cat "$cache/timeline.out" >>"$log"
  fail "the staged demo did not end with status 0"
fi
[ -s "$cache/timeline.out" ] && { cat "$cache/timeline.out" >>"$log"; fail "the staged demo printed something"; }

step "the release files against the host's"
/usr/bin/python3 "$here/compare_releases.py" "$root$clone/build/dist" "$hostDist" ||
  fail "the release files differ"
echo "fresh machine: the set-up, the builds, the timeline and the same release bytes"
