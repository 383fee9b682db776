# Sourced by the fuzz and sanitized-suite scripts: configures a build folder
# with clang (installed when missing), using ccache when it is there.
#   clang_configure DIR [CMAKE ARGUMENTS...]
clang_configure() {
  local dir=$1
  shift
  bash scripts/deps.sh clang
  local launcher=()
  if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
  # A folder configured with another compiler would lose these settings when
  # CMake starts it afresh: start it afresh here instead.
  if [ -f "$dir/CMakeCache.txt" ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++-14$' "$dir/CMakeCache.txt"; then
    rm -f "$dir/CMakeCache.txt"
  fi
  cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "$@" "${launcher[@]}" >/dev/null
}
