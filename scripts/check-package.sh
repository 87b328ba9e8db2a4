#!/usr/bin/env bash
# Builds the Debian package from the release preset and checks it as a user's machine would
# meet it: lintian (no error, no warning), the desktop entry, the AppStream metadata, a manual
# page for every program, and every program started from where the package puts it (unpacked
# with dpkg-deb -x, no display) with --version and --help. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
start=$SECONDS
build=build/release
# Only the programs and the package's files (no tests, no benchmarks), with the hardening
# flags Debian builds its own packages with, less the debug information the package strips.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CXXFLAGS | sed 's/\(^\| \)-g\( \|$\)/ /') -D_FORTIFY_SOURCE=2"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake --preset release -DPELORIN_BUILD_UI=ON -DPELORIN_BUILD_TESTS=OFF -DPELORIN_BUILD_BENCH=OFF \
  "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" >/dev/null
cmake --build --preset release
rm -f "$build"/pelorin_*.deb
(cd "$build" && cpack >/dev/null)
debs=("$build"/pelorin_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "cpack made no package" >&2; exit 1; }
echo "package: $deb ($((SECONDS - start)) s to build)"

fail() {
  echo "check-package: $*" >&2
  exit 1
}

# The package's version is the project's, with Debian revision 1.
project_version=$(sed -n 's/^project(Pelorin VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb_version=$(dpkg-deb -f "$deb" Version)
[ "$deb_version" = "$project_version-1" ] ||
  fail "package version $deb_version, project version $project_version"
IFS=. read -r major minor patch tweak <<<"$project_version"
version_text="V$major.$minor$patch$tweak"

# lintian as root warns about itself on stderr; its findings go to stdout.
echo "lintian $(lintian --version | sed 's/^Lintian v//'):"
if ! lintian --fail-on error,warning --display-info "$deb" 2>/dev/null | tee "$build/lintian.txt"; then
  fail "lintian reports errors or warnings (above)"
fi
echo "lintian: $(grep -c '^E:' "$build/lintian.txt" || true) errors, $(grep -c '^W:' "$build/lintian.txt" || true) warnings, $(grep -c '^I:' "$build/lintian.txt" || true) notes, overrides: $(grep -v '^#' packaging/lintian-overrides | grep -c .)"

root=$(mktemp -d "${TMPDIR:-/tmp}/pelorin-deb-XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

# Every program, with its manual page, run from the unpacked tree without a display.
for program in pelorin pelorin-cli pelorin-sim; do
  exe=$root/usr/bin/$program
  [ -x "$exe" ] || fail "no $program in the package"
  [ -f "$root/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --version) || fail "$program --version failed"
  [ "$out" = "$program $version_text" ] || fail "$program --version printed '$out'"
  env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --help | grep -q "Usage: $program" ||
    fail "$program --help has no usage line"
  echo "$out: starts from the package, manual page $(zcat "$root/usr/share/man/man1/$program.1.gz" | wc -l) lines"
done
extra=$(ls "$root/usr/bin" | grep -vx -e pelorin -e pelorin-cli -e pelorin-sim || true)
[ -z "$extra" ] || fail "unexpected programs in the package: $extra"

# The completion offers the layout's section names, blanks escaped, from the installed program.
completions=$(PATH="$root/usr/bin:$PATH" bash -c '
  source /usr/share/bash-completion/bash_completion
  source "$1"
  COMP_WORDS=(pelorin-cli download f --section M); COMP_CWORD=4
  COMP_LINE="${COMP_WORDS[*]}"; COMP_POINT=${#COMP_LINE}
  _pelorin_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/pelorin-cli")
[ "$completions" = 'Main\ Code' ] || fail "completion of --section M gave '$completions'"

echo "package checks passed in $((SECONDS - start)) s: $deb"
