# Sourced by the scripts that pack a release zip with licences/ beside the program.
#   sourceLicences DEPS INTO PKG...  the debian/copyright of each source package built
#                                    under DEPS/src, as INTO/PKG.txt
#   hostLicences SETUP INTO DOC:NAME...
#                                    /usr/share/doc/DOC/copyright as INTO/NAME.txt;
#                                    SETUP is the set-up command that installs them
#   packZip DIST NAME                DIST/NAME.zip from the folder DIST/NAME, which goes,
#                                    the same bytes wherever it is made; refreshes
#                                    DIST/SHA256SUMS and prints the zip's path
sourceLicences() {
  local deps=$1 into=$2 package copyright
  shift 2
  for package in "$@"; do
    copyright=$(find "$deps/src" -maxdepth 5 -path "*/$package-[0-9]*/debian/copyright" | head -n 1)
    [ -n "$copyright" ] || { echo "no debian/copyright for $package under $deps/src" >&2; return 1; }
    cp "$copyright" "$into/$package.txt"
  done
}

hostLicences() {
  local setup=$1 into=$2 package copyright
  shift 2
  for package in "$@"; do
    copyright=/usr/share/doc/${package%%:*}/copyright
    [ -f "$copyright" ] || { echo "$copyright is missing (run $setup)" >&2; return 1; }
    cp "$copyright" "$into/${package#*:}.txt"
  done
}

packZip() {
  local dist=$1 name=$2 here
  here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
  /usr/bin/python3 "$here/pack_zip.py" "$dist/$name.zip" "$dist/$name"
  rm -rf "${dist:?}/$name"
  bash "$here/checksums.sh" "$dist"
  echo "$dist/$name.zip"
}
