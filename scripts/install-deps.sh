#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail
# The window needs Qt 6 Widgets (and OpenGL headers its CMake files ask for) and a font; its
# smoke test runs the program on Xvfb. The production line's best compression uses libdeflate.
# The Windows build needs mingw-w64, its tests Wine, its window tests Wine's own fonts (so
# "MS Sans Serif" has its Windows metrics), its installer NSIS. The test command checks the
# format with clang-format. The Debian package is made with help2man and dpkg-dev
# (dpkg-shlibdeps) and checked with lintian, desktop-file-utils, appstream and bash-completion.
packages=(cmake ninja-build g++ clang-format zlib1g-dev libdeflate-dev libgtest-dev libgmock-dev
          googletest
          qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth fonts-dejavu-core dbus dbus-bin
          g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev wine wine64 fonts-wine nsis
          help2man dpkg-dev lintian desktop-file-utils appstream bash-completion)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
