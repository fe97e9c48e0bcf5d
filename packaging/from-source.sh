# Sourced by the scripts that build libraries from Debian's own source packages.
#   debianSource PKG DIR   prints the unpacked source folder of PKG under DIR, fetching
#                          it with apt-get source the first time (deb-src must be on).
#                          When the newest version (a security update, say) cannot be
#                          fetched from the mirror, older ones are tried.
#   cmakeInstall LOG WORK SOURCE [CMAKE_ARGS...]
#                          configures SOURCE in WORK, builds and installs it, quietly
#                          (JOBS jobs); the whole log stays in LOG for when it fails.
debianSource() {
  local pkg=$1 into=$2 dir version
  mkdir -p "$into"
  dir=$(find "$into" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
  if [ -z "$dir" ]; then
    for version in $(apt-cache showsrc "$pkg" | sed -n 's/^Version: //p' | sort -ruV); do
      if (cd "$into" && apt-get source -qq "$pkg=$version" >/dev/null 2>&1); then
        break
      fi
    done
    dir=$(find "$into" -maxdepth 1 -type d -name "$pkg-[0-9]*" | head -n 1)
  fi
  if [ -z "$dir" ]; then
    echo "Cannot fetch the Debian source package $pkg" \
      "(is deb-src enabled? run scripts/setup.sh)" >&2
    return 1
  fi
  echo "$dir"
}

cmakeInstall() {
  local log=$1 work=$2 from=$3
  shift 3
  rm -rf "$work"
  if ! { cmake -S "$from" -B "$work" -G "Unix Makefiles" "$@" &&
         cmake --build "$work" -j "${JOBS:-2}" &&
         cmake --install "$work"; } >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "Building $from failed; the whole log is $log" >&2
    return 1
  fi
  rm -rf "$work"
}
