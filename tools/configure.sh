#!/usr/bin/env bash
# Configures one of the project's build folders, the same way for every script
# that uses it (./run, the Windows suite), so that a folder is never rebuilt
# from scratch for a difference in its configuration: Ninja, warnings as
# errors (a plain CMake build only shows them), ccache when installed.
#   tools/configure.sh build|build-sanitize|build-tsan|build-package|build-win
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
case "$dir" in
  # Release, as shipped: the tests run on the code the packages carry.
  build) options=(-DCMAKE_BUILD_TYPE=Release) ;;
  build-sanitize) options=(-DSAPI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
  # The thread cases under ThreadSanitizer; optimised, as its checks are slow.
  build-tsan) options=(-DSAPI_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  # The .deb: installed under /usr, so the module goes to /usr/lib/<triplet>/.
  build-package) options=(-DCMAKE_BUILD_TYPE=Release -DSAPI_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr) ;;
  # The Windows suite and the zip.
  build-win) options=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release) ;;
  *) echo "configure: no build folder '$dir'" >&2; exit 2 ;;
esac
if command -v ccache >/dev/null; then
  options+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Installing (cpack) builds only what it installs: the targets are built first.
cmake -S . -B "$dir" -G Ninja -DSAPI_WERROR=ON -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON "${options[@]}" >/dev/null
