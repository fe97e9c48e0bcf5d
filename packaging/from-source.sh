# Sourced by the scripts that build libraries from Debian's own source packages.
#   debianSource PKG DIR   prints the unpacked source folder of PKG under DIR, fetching
#                          it with apt-get source the first time (deb-src must be on).
#                          When the newest version (a security update, say) cannot be
#                          fetched from the mirror, older ones are tried.
#   cmakeInstall LOG WORK SOURCE [CMAKE_ARGS...]
#                          configures SOURCE in WORK, builds and installs it, quietly
#                          (JOBS jobs); the whole log stays in LOG for when it fails.
#                          Paths compiled in are written relative to the repository
#                          (reproducibleFlags), so that a library built in any folder
#                          comes out the same.
#   crossBuild PLATFORM NAME SOURCE [CMAKE_ARGS...]
#                          cmakeInstall for another platform, once per recipe: with the
#                          caller's $toolchain into its $prefix, logged and stamped in
#                          its $deps.
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

# Release files are compared byte for byte across machines and folders; __FILE__ in
# assertions and the debug info would otherwise carry the folder a library was built in.
reproducibleRoot=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
prefixMap="-ffile-prefix-map=$reproducibleRoot=."

# The CMake arguments with the prefix map added to the C and C++ flags, whether or not
# the caller sets those flags itself.
reproducibleFlags() {
  local arg c= cxx=
  for arg in "$@"; do
    case $arg in
      -DCMAKE_C_FLAGS=*) printf '%s\n' "$arg $prefixMap"; c=1 ;;
      -DCMAKE_CXX_FLAGS=*) printf '%s\n' "$arg $prefixMap"; cxx=1 ;;
      *) printf '%s\n' "$arg" ;;
    esac
  done
  [ -n "$c" ] || printf '%s\n' "-DCMAKE_C_FLAGS=$prefixMap"
  [ -n "$cxx" ] || printf '%s\n' "-DCMAKE_CXX_FLAGS=$prefixMap"
}

cmakeInstall() {
  local log=$1 work=$2 from=$3 args epoch=${SOURCE_DATE_EPOCH:-}
  shift 3
  mapfile -t args < <(reproducibleFlags "$@")
  # A Debian source's build date is its changelog's, whichever commit of ours built it,
  # so that a library built long ago and kept in build/ matches one built today (the
  # Windows linker writes the date into every DLL).
  if [ -f "$from/debian/changelog" ]; then
    epoch=$(dpkg-parsechangelog -l "$from/debian/changelog" -S Timestamp)
  fi
  rm -rf "$work"
  # assimp's and SDL's build scripts ask git for their revision; the sources live under
  # build/ in our clone, so without a ceiling they would write our commit and branch in.
  if ! ( if [ -n "$epoch" ]; then export SOURCE_DATE_EPOCH=$epoch; fi
         export GIT_CEILING_DIRECTORIES=$reproducibleRoot
         cmake -S "$from" -B "$work" -G "Unix Makefiles" "${args[@]}" &&
         cmake --build "$work" -j "${JOBS:-2}" &&
         cmake --install "$work" ) >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "Building $from failed; the whole log is $log" >&2
    return 1
  fi
  rm -rf "$work"
}

# What a library's build depends on besides its source: the arguments and these
# recipes. A stamp that names another recipe is stale.
recipeKey() {
  { printf '%s\n' "$@"; cat "${BASH_SOURCE[0]}"; } | sha256sum | cut -c1-12
}

crossBuild() {
  local platform=$1 name=$2 source=$3 key
  shift 3
  key=$(recipeKey "$source" "$@")
  [ "$(cat "$deps/stamps/$name" 2>/dev/null)" = "$key" ] && return 0
  echo "Building $name for $platform"
  cmakeInstall "$deps/build-$name.log" "$deps/build-$name" "$source" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
    -DCMAKE_PREFIX_PATH="$prefix" "$@" || return 1
  mkdir -p "$deps/stamps"
  echo "$key" >"$deps/stamps/$name"
}

# SDL2_mixer as every platform builds it: only its bundled MP3 decoder (dr_mp3). The demo
# plays one MP3; every other decoder would be more libraries for a release to carry.
sdl2MixerOptions=(
  -DBUILD_SHARED_LIBS=ON -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF
  -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MIDI=OFF
  -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_OGG=OFF -DSDL2MIXER_VORBIS=OFF -DSDL2MIXER_WAVE=OFF
  -DSDL2MIXER_MP3=ON -DSDL2MIXER_MP3_DRMP3=ON -DSDL2MIXER_MP3_MPG123=OFF
)
