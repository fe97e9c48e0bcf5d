# Sourced by the tests that make a Debian root of their own with debootstrap (the desktop
# that plays the release, the fresh machine that builds it).
#   hostMirror             the host's own Debian mirror for $suite, from its apt
#                          configuration; stops with a message when it names none
#   hostDebianSources      the host's Debian entries (the suite, its updates and security),
#                          as a fresh machine of that mirror has them: binary only
#   refuseIfMounted DIR    stops when anything is mounted under DIR, before it is removed
#   inRoot [--offline] [--origin DIR] [--root-tmp] ROOT COMMAND...
#                          runs COMMAND chrooted in ROOT with its own /proc, /dev and /tmp;
#                          --offline: no network, and X displays of its own; --origin:
#                          DIR read-only at /origin in the root; --root-tmp: the root's
#                          own /tmp, kept between runs, instead of an empty one
# Needs root (debootstrap, chroot, namespaces). Every mount is made inside a private
# mount namespace, so nothing stays mounted under the build folder when a run is killed,
# and `rm -rf build` cannot reach through a mount into the host's /dev.

suite=bookworm

hostMirror() {
  local uri=""
  if compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null; then
    # deb822 stanzas: the first whose Suites name this suite itself (not -security).
    uri=$(awk -v suite="$suite" '
      function pick() { if (!done && uri != "" && (" " suites " ") ~ (" " suite " ")) { print uri; done = 1 } uri = ""; suites = "" }
      /^[[:space:]]*$/ { pick(); next }
      $1 == "URIs:" { uri = $2 }
      $1 == "Suites:" { $1 = ""; suites = $0 }
      END { pick() }' /etc/apt/sources.list.d/*.sources)
  fi
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1 == "deb" && $3 == "'"$suite"'" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' /etc/apt/sources.list)
  fi
  if [ -z "$uri" ]; then
    echo "No Debian $suite mirror in this machine's apt configuration" \
      "(/etc/apt/sources.list or /etc/apt/sources.list.d/*.sources): cannot make a root" >&2
    return 1
  fi
  echo "$uri"
}

hostDebianSources() {
  if compgen -G "/etc/apt/sources.list.d/*.sources" >/dev/null; then
    # Whole stanzas whose Suites are this suite or its -updates and -security.
    awk -v suite="$suite" '
      function flush() { if (keep) printf "%s\n", stanza; stanza = ""; keep = 0 }
      /^[[:space:]]*$/ { flush(); next }
      { stanza = stanza $0 "\n" }
      $1 == "Suites:" { for (i = 2; i <= NF; i++) if ($i ~ ("^" suite "(-updates|-security)?$")) keep = 1 }
      END { flush() }' /etc/apt/sources.list.d/*.sources | sed 's/^Types: .*/Types: deb/'
  fi
  if [ -f /etc/apt/sources.list ]; then
    awk '$1 == "deb" && $3 ~ /^'"$suite"'(-updates|-security|\/updates)?$/' /etc/apt/sources.list
  fi
}

refuseIfMounted() {
  if awk -v p="$1" 'index($5, p) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
    echo "something is mounted under $1; not removing it" >&2
    exit 1
  fi
}

inRoot() {
  local network=() origin="" tmp=1
  while true; do
    case $1 in
      --offline) network=(--net); shift ;;
      --origin) origin=$2; shift 2 ;;
      --root-tmp) tmp=""; shift ;;
      *) break ;;
    esac
  done
  local root=$1; shift
  unshare --mount --propagation private --pid --fork "${network[@]}" \
    /bin/sh -c 'root=$1; origin=$2; tmp=$3; shift 3
      mount -t proc proc "$root/proc" &&
      mount --rbind /dev "$root/dev" &&
      if [ -n "$tmp" ]; then mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"; fi &&
      if [ -n "$origin" ]; then
        mkdir -p "$root/origin" && mount --bind "$origin" "$root/origin" &&
        mount -o remount,bind,ro "$root/origin"
      fi &&
      exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"' \
    sh "$root" "$origin" "$tmp" "$@"
}
