# Sourced, not run. kl_darwin_trees DIR generates, in DIR, the two trees the Mac workflow builds
# (DIR/universal: what ships; DIR/native: everything and the tests), for CMake's own Darwin
# platform, without compiling anything: Darwin's platform files with this machine's clang (its
# flags are Apple clang's), an empty SDK folder and InstallerPlugins.framework for find_library.
# Each tree's configure output is in DIR/universal.log and DIR/native.log, its compiler commands
# in compile_commands.json.
#
# What Homebrew gives is played by stand-ins that ask what the real ones ask:
#  - cpp-httplib's package config needs OpenSSL 3 and zlib, as Homebrew's does;
#  - openssl@3 is keg-only: it is found only where OPENSSL_ROOT_DIR points (DIR/openssl@3 is
#    the stand-in keg), never on the default paths; zlib is the SDK's (here the machine's).
# The native tree is configured the way the workflow configures it, with OPENSSL_ROOT_DIR at the
# keg; kl_darwin_native_without_keg DIR tries it without, which must fail as it would on a Mac.

kl_darwin_setup() {
  d=$1
  mkdir -p "$d/frameworks/InstallerPlugins.framework" "$d/sdk" "$d/httplib" "$d/modules" \
    "$d/openssl@3/include/openssl" "$d/openssl@3/lib"
  cat >"$d/darwin.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_LIBRARY_ARCHITECTURE $(gcc -print-multiarch))
set(CMAKE_OSX_SYSROOT $d/sdk)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_OBJC_COMPILER clang)
set(CMAKE_OBJCXX_COMPILER clang++)
set(CMAKE_MODULE_PATH $d/modules)
foreach(lang C CXX OBJC OBJCXX)
  set(CMAKE_\${lang}_COMPILER_WORKS TRUE)
endforeach()
EOF
  # Its target marks what links it.
  cat >"$d/httplib/httplibConfig.cmake" <<'EOF'
include(CMakeFindDependencyMacro)
find_dependency(OpenSSL 3 COMPONENTS Crypto SSL)
find_dependency(ZLIB)
add_library(httplib::httplib INTERFACE IMPORTED)
set_target_properties(httplib::httplib PROPERTIES INTERFACE_COMPILE_DEFINITIONS KL_HTTPLIB_CONFIG
  INTERFACE_LINK_LIBRARIES "OpenSSL::SSL;OpenSSL::Crypto;ZLIB::ZLIB")
EOF
  # A Mac's OpenSSL: nowhere on the default paths, only in the keg OPENSSL_ROOT_DIR names.
  cat >"$d/modules/FindOpenSSL.cmake" <<'EOF'
include(FindPackageHandleStandardArgs)
set(_root "${OPENSSL_ROOT_DIR}")
if(NOT _root)
  set(_root "$ENV{OPENSSL_ROOT_DIR}")
endif()
if(_root AND EXISTS "${_root}/include/openssl/opensslv.h")
  set(OPENSSL_INCLUDE_DIR "${_root}/include")
  file(STRINGS "${_root}/include/openssl/opensslv.h" _major REGEX "OPENSSL_VERSION_MAJOR +[0-9]+")
  string(REGEX REPLACE ".* ([0-9]+)$" "\\1.0.0" OPENSSL_VERSION "${_major}")
  foreach(_lib SSL Crypto)
    string(TOLOWER "${_lib}" _name)
    if(NOT TARGET OpenSSL::${_lib})
      add_library(OpenSSL::${_lib} UNKNOWN IMPORTED)
      set_target_properties(OpenSSL::${_lib} PROPERTIES
        IMPORTED_LOCATION "${_root}/lib/lib${_name}.dylib")
    endif()
    set(OpenSSL_${_lib}_FOUND TRUE)
  endforeach()
endif()
find_package_handle_standard_args(OpenSSL REQUIRED_VARS OPENSSL_INCLUDE_DIR
  VERSION_VAR OPENSSL_VERSION HANDLE_COMPONENTS)
EOF
  echo '# define OPENSSL_VERSION_MAJOR 3' >"$d/openssl@3/include/openssl/opensslv.h"
  : >"$d/openssl@3/lib/libssl.dylib"
  : >"$d/openssl@3/lib/libcrypto.dylib"
}

kl_darwin_trees() {
  kl_darwin_setup "$1"
  # With the workflow's presets (CMakePresets.json), into folders of the caller's.
  cmake --preset macos-universal -B "$1/universal" -DCMAKE_TOOLCHAIN_FILE="$1/darwin.cmake" \
    -DCMAKE_FRAMEWORK_PATH="$1/frameworks" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    >"$1/universal.log" 2>&1 || true
  cmake --preset macos-native -B "$1/native" -DCMAKE_TOOLCHAIN_FILE="$1/darwin.cmake" \
    -DCMAKE_FRAMEWORK_PATH="$1/frameworks" -Dhttplib_DIR="$1/httplib" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DOPENSSL_ROOT_DIR="$1/openssl@3" \
    >"$1/native.log" 2>&1 || true
}

kl_darwin_native_without_keg() {
  env -u OPENSSL_ROOT_DIR cmake --preset macos-native -B "$1/native-no-keg" \
    -DCMAKE_TOOLCHAIN_FILE="$1/darwin.cmake" -DCMAKE_FRAMEWORK_PATH="$1/frameworks" \
    -Dhttplib_DIR="$1/httplib" >"$1/native-no-keg.log" 2>&1
}
