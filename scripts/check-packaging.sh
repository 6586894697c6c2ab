#!/bin/sh
# What Linux can check of the macOS build and package (no Mac here, no compiler for it):
#  - the Apple branch of CMake configures and generates under CMake's own Darwin platform: the
#    bundle's layout and Info.plist, the universal and minimum-version flags, Apple's frameworks,
#    the macOS face, the pane tests, and no stand-in framework or Linux host;
#  - the plists parse with GNUstep's reader and with libplist's and hold their keys; the
#    plug-in's step comes after "Target" and before "Install";
#  - postinstall and build-pkg.sh do what they say, run against recording stand-ins of Apple's
#    tools; the distribution file they render is well-formed and names the component package;
#  - shellcheck, sh -n; the workflow's steps, and the workflow against the GitHub Actions schema
#    (action-validator, from npm; skipped, loudly, only when the machine has no npm).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
mac=$root/packaging/macos
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
passed=0
failed=0
skipped=""

# all_set VALUE...: none is empty.
all_set() {
  for v; do [ -n "$v" ] || return 1; done
}
# absent_or_before A B: A is empty or a smaller number than B.
absent_or_before() {
  [ -z "$1" ] || [ "$1" -lt "$2" ]
}
# quietly COMMAND...: without its output.
quietly() {
  "$@" >/dev/null 2>&1
}
# expect WHAT COMMAND...: runs the command; when it fails, says what was expected.
expect() {
  what=$1
  shift
  "$@" || {
    echo "expected: $what"
    return 1
  }
}
# check NAME FUNCTION: one check, run with -e; its output shows only when it fails.
check() {
  set +e
  out=$(
    set -e
    "$2" 2>&1
  )
  rc=$?
  set -e
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    echo "ok: $1"
  else
    failed=$((failed + 1))
    echo "FAILED: $1"
    printf '%s\n' "$out" | sed 's/^/    /'
  fi
}

for tool in cmake plistutil plparse plget xmllint shellcheck; do
  command -v "$tool" >/dev/null || {
    echo "check-packaging.sh: $tool is missing (scripts/deps.sh installs it)" >&2
    exit 1
  }
done
min_macos=$(sed -n 's/^set(KL_MACOS_MIN \([0-9.]*\)).*/\1/p' cmake/Apple.cmake)

# --- Property lists: both readers must give the same values ---

# roundtrip FILE OUT: libplist reads FILE, writes it binary, and reads that back as XML. Its exit
# status says little (it is 0 on some parse errors), so what counts is what OUT holds.
roundtrip() {
  rm -f "$tmp/rt.bin" "$2"
  plistutil -i "$1" -o "$tmp/rt.bin" -f bin >/dev/null 2>&1 || true
  [ -s "$tmp/rt.bin" ] && plistutil -i "$tmp/rt.bin" -o "$2" -f xml >/dev/null 2>&1
  [ -s "$2" ]
}
# expect_string FILE KEY WANT: a top-level string, as GNUstep and libplist read it.
expect_string() {
  gs=$(plget "$2" <"$1" 2>/dev/null) || gs="(unreadable)"
  expect "$2 = \"$3\" for GNUstep, got \"$gs\"" [ "$gs" = "$3" ]
  lp=$(xmllint --xpath "string(/plist/dict/key[.='$2']/following-sibling::*[1][self::string])" \
    "$tmp/rt.xml" 2>/dev/null) || lp="(unreadable)"
  expect "$2 = \"$3\" for libplist, got \"$lp\"" [ "$lp" = "$3" ]
}
# The property-list DTD's structure, so that xmllint can validate without the network.
cat >"$tmp/plist.dtd" <<'EOF'
<!ENTITY % plistObject "(array | data | date | dict | real | integer | string | true | false)">
<!ELEMENT plist %plistObject;>
<!ATTLIST plist version CDATA "1.0">
<!ELEMENT array (%plistObject;)*>
<!ELEMENT dict (key, %plistObject;)*>
<!ELEMENT key (#PCDATA)>
<!ELEMENT string (#PCDATA)>
<!ELEMENT data (#PCDATA)>
<!ELEMENT date (#PCDATA)>
<!ELEMENT true EMPTY>
<!ELEMENT false EMPTY>
<!ELEMENT real (#PCDATA)>
<!ELEMENT integer (#PCDATA)>
EOF
# valid_plist FILE: valid against that DTD (the file's DOCTYPE, which names Apple's copy, is left
# out: nothing is fetched).
valid_plist() {
  sed '/^<!DOCTYPE/d' "$1" | xmllint --noout --nonet --dtdvalid "$tmp/plist.dtd" -
}
# parses FILE: valid XML property list, read by GNUstep, and by libplist (to rt.xml).
parses() {
  expect "$1 valid against the property-list DTD" valid_plist "$1"
  expect "$1 parsed by GNUstep" quietly plparse "$1"
  expect "$1 parsed by libplist" roundtrip "$1" "$tmp/rt.xml"
}

# --- The Apple branch of CMake, generated for Darwin without compiling ---
# Darwin's platform files with this machine's compilers (never run on Darwin flags) and
# libraries; an empty InstallerPlugins.framework for find_library.
mkdir -p "$tmp/frameworks/InstallerPlugins.framework"
cat >"$tmp/darwin.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_LIBRARY_ARCHITECTURE $(gcc -print-multiarch))
foreach(lang C CXX OBJC OBJCXX)
  set(CMAKE_\${lang}_COMPILER_WORKS TRUE)
endforeach()
EOF
darwin=$tmp/darwin
cmake -S "$root" -B "$darwin" -DCMAKE_TOOLCHAIN_FILE="$tmp/darwin.cmake" \
  -DCMAKE_FRAMEWORK_PATH="$tmp/frameworks" >"$tmp/darwin.log" 2>&1 || true

# target_dir NAME: the generated folder of target NAME, wherever the CMake files define it.
target_dir() {
  find "$darwin" -type d -path '*/CMakeFiles/*' -name "$1.dir"
}
# compiling PATTERN: the targets whose build rules name a source matching PATTERN.
compiling() {
  find "$darwin" -path '*/CMakeFiles/*.dir/build.make' -exec grep -l -- "$1" {} + |
    sed 's|.*/\([^/]*\)\.dir/build.make$|\1|'
}
apple_cmake() {
  expect "the Darwin configure and generate to succeed" \
    grep -q '^-- Build files have been written' "$tmp/darwin.log" || {
    cat "$tmp/darwin.log"
    return 1
  }
  link=$(target_dir Kelvory)/link.txt
  expect "a loadable bundle" grep -q -- ' -bundle ' "$link"
  expect "the binary at Kelvory.bundle/Contents/MacOS/Kelvory" \
    grep -q -- '-o Kelvory.bundle/Contents/MacOS/Kelvory ' "$link"
  for linked in "$link" "$(target_dir kelvory-activate)/link.txt"; do
    expect "arm64 and x86_64 in $linked" grep -q -- '-arch arm64 -arch x86_64' "$linked"
    expect "macOS $min_macos minimum in $linked" grep -q -- "-mmacosx-version-min=$min_macos" \
      "$linked"
  done
  expect "the system InstallerPlugins framework" grep -q -- '-framework,InstallerPlugins' "$link"
  expect "AppKit" grep -q -- '-framework AppKit' "$link"
  if [ -f platform/macos/KLPlatformMacOS.mm ]; then
    face=$(compiling platform/macos/KLPlatformMacOS.mm)
    expect "the macOS face compiled once, in one library: $face" [ "$(echo "$face" | wc -w)" -eq 1 ]
    expect "the plug-in linked with the face's library $face" grep -Eq -- "[ /]lib$face\.a " "$link"
  fi
  # The tools' platforms derive from kl::DefaultPlatform, which reads configuration profiles here.
  expect "the reader of forced preferences compiled once, in klcommon" \
    [ "$(compiling platform/macos/KLManagedPreferencesMacOS.cpp)" = klcommon ]
  for t in kelvory-activate kelvory-keytool; do
    expect "$t linked with CoreFoundation" \
      grep -q -- '-framework CoreFoundation' "$(target_dir "$t")/link.txt"
  done
  expect "no source from platform/gnustep/ in any target" [ -z "$(compiling platform/gnustep/)" ]
  for t in common_test activation_test pane_test validation_test; do
    expect "the test $t" [ -n "$(target_dir "$t")" ]
  done
  # The pane tests play the Installer through the public API (tests/support/PaneHarness): on a
  # Mac nothing of the stand-in's may reach them.
  expect "the pane harness compiled once, in klpaneharness" \
    [ "$(compiling tests/support/PaneHarness.mm)" = klpaneharness ]
  for t in pane_test validation_test; do
    expect "$t linked with the pane harness" \
      grep -Eq -- "[ /]libklpaneharness\.a " "$(target_dir "$t")/link.txt"
    expect "no include path of the stand-in for $t" \
      [ -z "$(grep -l -- platform/gnustep "$(target_dir "$t")/flags.make")" ]
  done
  for t in InstallerPlugins kelvory-installer host_test; do
    expect "no $t on macOS" [ -z "$(target_dir "$t")" ]
  done
  expect "build-pkg.sh to state the minimum of cmake/Apple.cmake ($min_macos)" \
    grep -qx "min_macos=$min_macos .*" "$mac/build-pkg.sh"
}
check "Apple branch of CMake (generated for Darwin)" apple_cmake
[ -f platform/macos/KLPlatformMacOS.mm ] ||
  echo "note: no platform/macos/KLPlatformMacOS.mm yet: where the macOS face is built is unchecked"

info_plist() {
  plist=$darwin/Kelvory.bundle/Contents/Info.plist
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$darwin/CMakeCache.txt")
  expect "a project version" [ -n "$version" ]
  parses "$plist"
  expect_string "$plist" CFBundleExecutable Kelvory
  expect_string "$plist" CFBundleIdentifier com.kelvory.activation
  expect_string "$plist" CFBundleName Kelvory
  expect_string "$plist" CFBundlePackageType BNDL
  expect_string "$plist" CFBundleVersion "$version"
  expect_string "$plist" CFBundleShortVersionString "$version"
  expect_string "$plist" NSPrincipalClass KLInstallerSection
  expect_string "$plist" InstallerSectionTitle Activation
}
check "the bundle's Info.plist (as CMake writes it)" info_plist

section_order() {
  f=$mac/InstallerSections.plist
  parses "$f"
  gs=$(plget SectionOrder <"$f" | tr -d '()" ' | tr ',' '\n')
  n=$(xmllint --xpath "count(/plist/dict/key[.='SectionOrder']/following-sibling::*[1]/string)" \
    "$tmp/rt.xml")
  lp=$(i=1 && while [ "$i" -le "$n" ]; do
    xmllint --xpath "string(/plist/dict/key[.='SectionOrder']/following-sibling::*[1]/string[$i])" \
      "$tmp/rt.xml" && i=$((i + 1))
  done)
  expect "the same SectionOrder for both readers: \"$gs\" / \"$lp\"" [ "$gs" = "$lp" ]
  at() { printf '%s\n' "$gs" | grep -nx "$1" | cut -d: -f1; }
  target=$(at Target) plugin=$(at Kelvory.bundle) install=$(at Install)
  expect "Target, Kelvory.bundle and Install in SectionOrder" all_set "$target" "$plugin" "$install"
  expect "the plug-in after Target" [ "$plugin" -gt "$target" ]
  expect "the plug-in before Install" [ "$plugin" -lt "$install" ]
  selection=$(at PackageSelection)
  expect "the plug-in after PackageSelection, when listed" absent_or_before "$selection" "$plugin"
}
check "InstallerSections.plist: the plug-in between Target and Install" section_order

# --- postinstall, run with a recording kelvory-activate ---
postinstall() {
  expect "sh -n postinstall" sh -n "$mac/postinstall"
  expect "postinstall executable" [ -x "$mac/postinstall" ]
  d=$tmp/scripts
  mkdir -p "$d"
  cp "$mac/postinstall" "$d/"
  cat >"$d/kelvory-activate" <<'EOF'
#!/bin/sh
printf "%s\n" "$@" >"$(dirname "$0")/args"
exit 3
EOF
  chmod +x "$d/kelvory-activate"
  # Through the window: the panes ran, nothing to do.
  expect "a window install to succeed" env -u COMMAND_LINE_INSTALL \
    PACKAGE_PATH=/Volumes/Media/Kelvory.pkg "$d/postinstall" /x/Kelvory-agent.pkg / /Volumes/HD /
  expect "no activation in a window install" [ ! -e "$d/args" ]
  # From the command line: activate, and fail the install when that fails (the fake exits 3).
  set +e
  COMMAND_LINE_INSTALL=1 PACKAGE_PATH="/Volumes/Media/Kelvory.pkg" \
    "$d/postinstall" /x/Kelvory-agent.pkg / "/Volumes/Mac HD" /
  rc=$?
  set -e
  expect "kelvory-activate's exit status (3), got $rc" [ "$rc" -eq 3 ]
  printf '%s\n' --package /Volumes/Media/Kelvory.pkg --target "/Volumes/Mac HD" \
    --tool "$d/InitialValidate" --managed-preferences --unless-activated >"$d/want"
  expect "these kelvory-activate arguments:" diff "$d/want" "$d/args"
  rm "$d/args"
  env -u PACKAGE_PATH COMMAND_LINE_INSTALL=1 "$d/postinstall" /x/K.pkg / /Volumes/T / || true
  expect "--package from \$1 without PACKAGE_PATH" [ "$(sed -n 2p "$d/args")" = /x/K.pkg ]
}
check "postinstall (command-line installs only, --unless-activated)" postinstall

# --- build-pkg.sh, run with recording stand-ins of pkgbuild, productbuild, codesign, xcrun ---
fake=$tmp/fake
mkdir -p "$fake/bin" "$fake/build/Kelvory.bundle/Contents/MacOS" "$fake/vendor" \
  "$fake/payload/Library/Kelvory"
cp "$darwin/Kelvory.bundle/Contents/Info.plist" "$fake/build/Kelvory.bundle/Contents/" || true
echo binary >"$fake/build/Kelvory.bundle/Contents/MacOS/Kelvory"
printf '#!/bin/sh\necho %s\n' activate >"$fake/build/kelvory-activate"
printf '#!/bin/sh\necho %s\n' reference >"$fake/build/InitialValidate"
printf '#!/bin/sh\necho %s\n' vendor >"$fake/vendor/InitialValidate"
chmod +x "$fake/build/kelvory-activate" "$fake/build/InitialValidate" "$fake/vendor/InitialValidate"
echo agent >"$fake/payload/Library/Kelvory/README.txt"
# Each stand-in logs its arguments; pkgbuild and productbuild keep what they were given (the
# script removes its staging folder) and write the output file.
cat >"$fake/bin/stand-in" <<'EOF'
#!/bin/sh
name=$(basename "$0")
echo "$name $*" >>"$SHIM_LOG"
case $name in pkgbuild | productbuild) ;; *) exit 0 ;; esac
while [ $# -gt 1 ]; do
  case $1 in
    --scripts) cp -R "$2" "$SHIM_KEEP/scripts" ;;
    --plugins) cp -R "$2" "$SHIM_KEEP/plugins" ;;
    --distribution) cp "$2" "$SHIM_KEEP/distribution.xml" ;;
  esac
  shift
done
echo "$name output" >"$1"
EOF
chmod +x "$fake/bin/stand-in"
for tool in pkgbuild productbuild codesign xcrun; do
  ln -s stand-in "$fake/bin/$tool"
done
log=$fake/log
keep=$fake/keep
# build_pkg ARGS...: runs build-pkg.sh with the stand-ins and the identities in $app_id,
# $installer_id, $notary (unset when empty); its output in $fake/out, its status in $rc.
build_pkg() {
  rm -rf "$keep" "$fake/Kelvory.pkg"
  mkdir "$keep"
  : >"$log"
  set +e
  env -u KL_APP_IDENTITY -u KL_INSTALLER_IDENTITY -u KL_NOTARY_PROFILE \
    ${app_id:+"KL_APP_IDENTITY=$app_id"} ${installer_id:+"KL_INSTALLER_IDENTITY=$installer_id"} \
    ${notary:+"KL_NOTARY_PROFILE=$notary"} PATH="$fake/bin:$PATH" SHIM_LOG="$log" \
    SHIM_KEEP="$keep" "$mac/build-pkg.sh" --build "$fake/build" --payload "$fake/payload" --out "$fake/Kelvory.pkg" "$@" >"$fake/out" 2>&1
  rc=$?
  set -e
}
unsigned() {
  app_id="" installer_id="" notary=""
  build_pkg "$@"
}

refusals() {
  unsigned
  expect "a usage error without a validation tool" [ "$rc" -eq 2 ]
  unsigned --validate "$fake/build/InitialValidate"
  expect "the reference tool refused without the development flag" [ "$rc" -eq 1 ]
  expect "the refusal to name the flag" grep -q -- --development-reference-tool "$fake/out"
  app_id="" installer_id="" notary=profile
  build_pkg --validate "$fake/vendor/InitialValidate"
  expect "notarization refused without the signing identities" [ "$rc" -eq 1 ]
  expect "nothing built after a refusal" [ ! -s "$log" ]
}
check "build-pkg.sh refuses what it must" refusals

unsigned_package() {
  unsigned --validate "$fake/vendor/InitialValidate"
  expect "success" [ "$rc" -eq 0 ]
  for what in "not signing the plug-in and the tools: KL_APP_IDENTITY is not set" \
    "not signing the product package: KL_INSTALLER_IDENTITY is not set" \
    "not notarizing or stapling: KL_NOTARY_PROFILE is not set"; do
    expect "the notice \"$what\"" grep -qx "$what" "$fake/out"
  done
  expect "no codesign or xcrun" [ -z "$(grep -E '^(codesign|xcrun) ' "$log")" ]
  expect "pkgbuild with the payload, identifier and the plug-in's version" \
    grep -q "^pkgbuild --root $fake/payload .*--identifier com.kelvory.agent --version 1.0.0 " "$log"
  expect "productbuild with the distribution and the plug-ins, unsigned" \
    grep -qE "^productbuild --distribution .* --plugins [^ ]+ $fake/Kelvory.pkg\$" "$log"
  expect "the package written" [ -s "$fake/Kelvory.pkg" ]
  expect "exactly postinstall and its tools in the scripts folder" \
    [ "$(cd "$keep/scripts" && echo *)" = "InitialValidate kelvory-activate postinstall" ]
  expect "the vendor's tool in the scripts" cmp "$fake/vendor/InitialValidate" \
    "$keep/scripts/InitialValidate"
  expect "the postinstall" cmp "$mac/postinstall" "$keep/scripts/postinstall"
  for f in postinstall kelvory-activate InitialValidate; do
    expect "$f executable" [ -x "$keep/scripts/$f" ]
  done
  expect "InstallerSections.plist beside the plug-in" cmp "$mac/InstallerSections.plist" \
    "$keep/plugins/InstallerSections.plist"
  expect "the vendor's tool in the plug-in's Resources" cmp "$fake/vendor/InitialValidate" \
    "$keep/plugins/Kelvory.bundle/Contents/Resources/InitialValidate"
  expect "the plug-in's binary" [ -f "$keep/plugins/Kelvory.bundle/Contents/MacOS/Kelvory" ]
}
check "build-pkg.sh, unsigned, with the vendor's tool" unsigned_package

distribution() {
  unsigned --validate "$fake/vendor/InitialValidate"
  d=$keep/distribution.xml
  expect "the template well-formed" xmllint --noout --nonet "$mac/distribution.xml.in"
  expect "the rendered distribution well-formed" xmllint --noout --nonet "$d"
  expect "no @placeholder@ left" [ -z "$(grep '@[A-Z_]*@' "$d")" ]
  x() { xmllint --xpath "$1" "$d"; }
  component=$(sed -n 's/^pkgbuild .* \([^ ]*\)$/\1/p' "$log")
  expect "the component package named: #${component##*/}" \
    [ "$(x 'string(//pkg-ref[@id="com.kelvory.agent"][text()])')" = "#${component##*/}" ]
  expect "the component in the choices" [ "$(x 'count(//choice/pkg-ref[@id="com.kelvory.agent"])')" = 1 ]
  expect "the component's version" [ "$(x 'string(//pkg-ref[text()]/@version)')" = 1.0.0 ]
  archs=$(x 'string(/installer-gui-script/options/@hostArchitectures)')
  expect "both host architectures, got $archs" [ "$archs" = arm64,x86_64 ]
  expect "macOS $min_macos minimum" \
    [ "$(x 'string(//allowed-os-versions/os-version/@min)')" = "$min_macos" ]
}
check "the distribution file" distribution

signed_package() {
  app_id="Developer ID Application: Example (TEAM000001)"
  installer_id="Developer ID Installer: Example (TEAM000001)"
  notary=kelvory-notary
  build_pkg --validate "$fake/vendor/InitialValidate"
  expect "success" [ "$rc" -eq 0 ]
  expect "no \"not ...\" notice" [ -z "$(grep '^not ' "$fake/out")" ]
  sign="^codesign --force --timestamp --options runtime --sign Developer ID Application: Example (TEAM000001) "
  expect "the two scripts' tools, the plug-in's tool, then the plug-in signed (hardened runtime)" \
    [ "$(grep -c "$sign" "$log")" -eq 4 ]
  order=$(awk '/^codesign .*\/scripts\/(kelvory-activate|InitialValidate)$/ { print "tool" }
    /^codesign .*\/Resources\/InitialValidate$/ { print "plug-in-tool" }
    /^codesign .*\/Kelvory.bundle$/ { print "plug-in" }
    /^(pkgbuild|productbuild) / { print $1 }
    /^xcrun / { print $2 }' "$log" | tr '\n' ' ')
  expect "inner code first, each step in turn; got: $order" [ "$order" = \
    "tool tool plug-in-tool plug-in pkgbuild productbuild notarytool stapler " ]
  expect "the product signed with the installer identity" grep -q \
    "^productbuild .* --sign Developer ID Installer: Example (TEAM000001) --timestamp $fake/Kelvory.pkg\$" "$log"
  expect "notarytool submit --wait" grep -qx \
    "xcrun notarytool submit $fake/Kelvory.pkg --keychain-profile kelvory-notary --wait" "$log"
  expect "stapled" grep -qx "xcrun stapler staple $fake/Kelvory.pkg" "$log"
}
check "build-pkg.sh, signed, notarized and stapled" signed_package

development() {
  unsigned --development-reference-tool
  expect "success" [ "$rc" -eq 0 ]
  expect "the development warning" grep -q '^DEVELOPMENT PACKAGE' "$fake/out"
  expect "the reference tool packaged" cmp "$fake/build/InitialValidate" \
    "$keep/scripts/InitialValidate"
}
check "build-pkg.sh --development-reference-tool" development

lint() {
  shellcheck "$mac/postinstall" "$mac/build-pkg.sh" scripts/check-packaging.sh
}
check "shellcheck" lint

# --- The workflow: its steps, and against GitHub's schema ---
workflow_steps() {
  w=.github/workflows/macos.yml
  expect "a macOS runner" grep -Eq '^    runs-on: macos-' "$w"
  for step in 'cmake -S . -B build' 'cmake --build build' 'ctest --test-dir build' \
    'lipo -archs' 'build-pkg.sh --build build' '--development-reference-tool' \
    'pkgutil --expand build/Kelvory.pkg' 'Plugins/InstallerSections.plist' \
    'Plugins/Kelvory.bundle/Contents/MacOS/Kelvory' 'actions/upload-artifact@'; do
    expect "the step \"$step\"" grep -qF -- "$step" "$w"
  done
}
check "the workflow's steps" workflow_steps

workflow() {
  # Kept in the build folder: a second run needs no network.
  tools=$root/build/npm-tools
  validator=$tools/node_modules/.bin/action-validator
  if [ ! -x "$validator" ]; then
    npm install --prefix "$tools" --no-save --no-audit --no-fund @action-validator/cli@0.6.0
  fi
  "$validator" .github/workflows/macos.yml
}
if command -v npm >/dev/null && command -v node >/dev/null; then
  check "the workflow (action-validator)" workflow
else
  echo "!!!!!! SKIPPED: the workflow's schema check: no node/npm on this machine (the check needs"
  echo "!!!!!! npm from the machine's Node.js; Debian's npm package conflicts with it)"
  skipped=", 1 skipped"
fi

echo "packaging: $passed passed, $failed failed$skipped"
[ "$failed" -eq 0 ]
