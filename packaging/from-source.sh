# Sourced by the scripts that build libraries from Debian's own source packages.
#   debianSource PKG DIR   prints the unpacked source folder of PKG under DIR, fetching
#                          it with apt-get source the first time (deb-src must be on).
#                          When the newest version (a security update, say) cannot be
#                          fetched from the mirror, older ones are tried.
#   cmakeInstall LOG WORK SOURCE [CMAKE_ARGS...]
#                          configures SOURCE in WORK, builds and installs it, quietly
#                          (JOBS jobs); the whole log stays in LOG for when it fails.
#   crossBuild PLATFORM NAME SOURCE [CMAKE_ARGS...]
#                          cmakeInstall for another platform, once: with the caller's
#                          $toolchain into its $prefix, logged and stamped in its $deps.
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

crossBuild() {
  local platform=$1 name=$2 source=$3
  shift 3
  [ -f "$deps/stamps/$name" ] && return 0
  echo "Building $name for $platform"
  cmakeInstall "$deps/build-$name.log" "$deps/build-$name" "$source" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" "$@" || return 1
  mkdir -p "$deps/stamps"
  touch "$deps/stamps/$name"
}
