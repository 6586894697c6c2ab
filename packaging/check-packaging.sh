#!/bin/sh
# What Linux can check of the macOS build and package (no Mac here, no compiler for it):
#  - the Apple branch of CMake configures and generates under CMake's own Darwin platform, as the
#    two trees of the workflow: the universal tree builds what ships, every target for both
#    architectures and the minimum from the cache (no per-target list), no tests; the native
#    tree builds the tests, the pane and headless activation tests included, with cpp-httplib
#    found by its CMake package config, which asks for OpenSSL 3 from its keg
#    (packaging/darwin-trees.sh); the bundle's layout and Info.plist, Apple's frameworks,
#    the macOS face, and no stand-in framework or Linux host;
#  - every delegate in code a Mac compiles adopts the protocol Apple's headers demand;
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
# not COMMAND...: the command fails.
not() {
  ! "$@"
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
min_macos=$(sed -n 's/^set(CMAKE_OSX_DEPLOYMENT_TARGET "\([0-9.]*\)".*/\1/p' CMakeLists.txt)
[ -n "$min_macos" ] || {
  echo "check-packaging.sh: no CMAKE_OSX_DEPLOYMENT_TARGET in CMakeLists.txt" >&2
  exit 1
}

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
# shellcheck source=packaging/darwin-trees.sh disable=SC1091
. packaging/darwin-trees.sh
kl_darwin_trees "$tmp"
universal=$tmp/universal
native=$tmp/native

# target_dir TREE NAME: the generated folder of target NAME in TREE.
target_dir() {
  find "$1" -type d -path '*/CMakeFiles/*' -name "$2.dir"
}
# targets TREE: the names of the targets TREE compiles or links.
targets() {
  find "$1" -type d -path '*/CMakeFiles/*' -name '*.dir' | sed 's|.*/\(.*\)\.dir$|\1|' | sort
}
# compiling TREE PATTERN: the targets whose build rules name a source matching PATTERN.
compiling() {
  find "$1" -path '*/CMakeFiles/*.dir/build.make' -exec grep -l -- "$2" {} + |
    sed 's|.*/\([^/]*\)\.dir/build.make$|\1|'
}
generated() {
  expect "the Darwin configure of $1 to succeed" \
    grep -q '^-- Build files have been written' "$tmp/$1.log" || {
    cat "$tmp/$1.log"
    return 1
  }
}
universal_tree() {
  generated universal
  shipped="InitialValidate Kelvory kelvory-activate klactivation klcommon klmanagedpreferences"
  shipped="$shipped klpanes klplatform klplistparser klvalidation"
  expect "what ships and nothing else in the universal tree, got: $(targets "$universal" | xargs)" \
    [ "$(targets "$universal" | xargs)" = "$shipped" ]
  # Every compiled target, so a new one cannot be left out.
  for t in $shipped; do
    flags=$(target_dir "$universal" "$t")/flags.make
    expect "$t compiled for arm64 and x86_64" grep -q -- '-arch arm64 -arch x86_64' "$flags"
    expect "$t compiled for macOS $min_macos" grep -q -- "-mmacosx-version-min=$min_macos" "$flags"
  done
  for t in Kelvory kelvory-activate InitialValidate; do
    linked=$(target_dir "$universal" "$t")/link.txt
    expect "$t linked for arm64 and x86_64" grep -q -- '-arch arm64 -arch x86_64' "$linked"
    expect "$t linked for macOS $min_macos" grep -q -- "-mmacosx-version-min=$min_macos" "$linked"
  done
  expect "no architecture or minimum set target by target" \
    [ -z "$(git grep -l -E '(^|[^_])OSX_ARCHITECTURES|mmacosx-version-min' -- '*CMakeLists.txt' '*.cmake')" ]
  link=$(target_dir "$universal" Kelvory)/link.txt
  expect "a loadable bundle" grep -q -- ' -bundle ' "$link"
  expect "the binary at Kelvory.bundle/Contents/MacOS/Kelvory" \
    grep -q -- '-o ../Kelvory.bundle/Contents/MacOS/Kelvory ' "$link"
  expect "the system InstallerPlugins framework" grep -q -- '-framework -Xlinker InstallerPlugins' "$link"
  expect "AppKit" grep -q -- '-framework AppKit' "$link"
  face=$(compiling "$universal" platform/macos/KLPlatformMacOS.mm)
  expect "the macOS face compiled once, in one library: $face" [ "$(echo "$face" | wc -w)" -eq 1 ]
  expect "the plug-in linked with the face's library $face" grep -Eq -- "[ /]lib$face\.a " "$link"
  # The tools' platforms derive from kl::DefaultPlatform, which reads configuration profiles here.
  expect "the reader of forced preferences compiled once, in klmanagedpreferences" \
    [ "$(compiling "$universal" platform/macos/KLManagedPreferencesMacOS.cpp)" = \
      klmanagedpreferences ]
  # Object libraries: the programs and the bundle link their objects, the installer's libraries
  # never link them.
  for t in kelvory-activate Kelvory; do
    expect "$t linked with the reader of forced preferences and the property-list parser" \
      grep -q -- 'klmanagedpreferences\.dir/.*klplistparser\.dir/' \
      "$(target_dir "$universal" $t)/link.txt"
  done
  expect "property lists parsed by CoreFoundation, in klplistparser" \
    [ "$(compiling "$universal" platform/macos/KLPropertyListCoreFoundation.mm)" = klplistparser ]
  expect "kelvory-activate linked with CoreFoundation" \
    grep -q -- '-framework CoreFoundation' "$(target_dir "$universal" kelvory-activate)/link.txt"
  expect "libcurl by CMake's finder, not pkg-config (the SDK's on a Mac)" \
    grep -q '^CURL_LIBRARY_RELEASE:FILEPATH=/' "$universal/CMakeCache.txt"
  expect "no GoogleTest, cpp-httplib or OpenSSL looked for (Homebrew's, one architecture)" \
    [ -z "$(grep -E '^(GTest_DIR|httplib_DIR|OPENSSL_)' "$universal/CMakeCache.txt")" ]
}
check "the universal macOS tree (generated for Darwin)" universal_tree

native_tree() {
  generated native
  for t in common_test activation_test keytool_test initialvalidate_test pane_test \
    validation_test activate_test kelvory-keytool kelvory-mgmt-sim; do
    expect "$t in the native tree" [ -n "$(target_dir "$native" "$t")" ]
  done
  for t in kelvory-mgmt-sim initialvalidate_test keytool_test; do
    expect "$t with cpp-httplib's package config target" \
      grep -q -- -DKL_HTTPLIB_CONFIG "$(target_dir "$native" "$t")/flags.make"
  done
  expect "no pkg-config for cpp-httplib" [ -z "$(grep HTTPLIB "$native/CMakeCache.txt")" ]
  # Homebrew's cpp-httplib asks for OpenSSL 3, whose keg is off the default paths.
  expect "no native tree without OPENSSL_ROOT_DIR at the openssl@3 keg" \
    not kl_darwin_native_without_keg "$tmp"
  expect "the simulator linked with the keg's OpenSSL" grep -q "$tmp/openssl@3/lib/libssl.dylib" \
    "$(target_dir "$native" kelvory-mgmt-sim)/link.txt"
  expect "no source from platform/gnustep/ in any target" \
    [ -z "$(compiling "$native" platform/gnustep/)" ]
  # The pane tests play the Installer through the public API (tests/support/PaneHarness): on a
  # Mac nothing of the stand-in's may reach them.
  expect "the pane harness compiled once, in klpaneharness" \
    [ "$(compiling "$native" tests/support/PaneHarness.mm)" = klpaneharness ]
  for t in pane_test validation_test; do
    expect "$t linked with the pane harness" \
      grep -Eq -- "[ /]libklpaneharness\.a " "$(target_dir "$native" "$t")/link.txt"
    expect "no include path of the stand-in for $t" \
      [ -z "$(grep -l -- platform/gnustep "$(target_dir "$native" "$t")/flags.make")" ]
  done
  for t in InstallerPlugins kelvory-installer host_test installer_test klscript; do
    expect "no $t on macOS" [ -z "$(target_dir "$native" "$t")" ]
  done
  expect "build-pkg.sh to state the minimum of CMakeLists.txt ($min_macos)" \
    grep -qx "min_macos=$min_macos .*" "$mac/build-pkg.sh"
}
check "the native macOS tree with the tests (generated for Darwin)" native_tree

delegates() {
  # Everything the Mac workflow compiles: the plug-in, the macOS face, the tools and the tests.
  git ls-files -z -- installer platform/macos tools tests ':!tools/kelvory-installer' |
    tr '\0' '\n' | grep -E '\.(mm|m|h)$' | xargs python3 "$mac/check-delegates.py"
}
check "every delegate adopts its protocol (code the Mac compiles)" delegates

info_plist() {
  plist=$universal/Kelvory.bundle/Contents/Info.plist
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$universal/CMakeCache.txt")
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

# --- postinstall, run with a recording kelvory-activate (tests/e2e runs it with the real one) ---
postinstall() {
  expect "sh -n postinstall" sh -n "$mac/postinstall"
  expect "postinstall executable" [ -x "$mac/postinstall" ]
  d=$tmp/scripts
  mkdir -p "$d"
  cp "$mac/postinstall" "$d/"
  cat >"$d/kelvory-activate" <<'EOF'
#!/bin/sh
printf "%s\n" "$@" >"$(dirname "$0")/args"
echo "attempt 1: 127.0.0.1: status 12: refused"
echo "failed: Validation failed. The specified customer ID can not be validated."
exit 3
EOF
  chmod +x "$d/kelvory-activate"
  # The console's owner comes from stat, asked as each system's stat is (a Mac's is BSD's).
  mkdir -p "$d/bin"
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >"%s/stat.args"\necho 501\n' "$d" >"$d/bin/stat"
  printf '#!/bin/sh\necho Darwin\n' >"$d/uname"
  chmod +x "$d/bin/stat" "$d/uname"
  # Without COMMAND_LINE_INSTALL too (an MDM install): activate, and fail the install when that
  # fails (the fake exits 3), saying why in one line.
  set +e
  env -u COMMAND_LINE_INSTALL PACKAGE_PATH="/Volumes/Media/Kelvory.pkg" PATH="$d/bin:$PATH" \
    "$d/postinstall" /x/Kelvory-agent.pkg / "/Volumes/Mac HD" / >"$d/out" 2>"$d/err"
  rc=$?
  set -e
  expect "kelvory-activate's exit status (3), got $rc" [ "$rc" -eq 3 ]
  printf '%s\n' --package /Volumes/Media/Kelvory.pkg --target "/Volumes/Mac HD" \
    --tool "$d/InitialValidate" --managed-preferences --unless-activated \
    --installer-user 501 --retry --timeout 600 >"$d/want"
  expect "these kelvory-activate arguments:" diff "$d/want" "$d/args"
  expect "GNU stat asked for the console's owner" [ "$(cat "$d/stat.args")" = "-c %u /dev/console" ]
  mv "$d/uname" "$d/bin/"
  env PATH="$d/bin:$PATH" "$d/postinstall" /x/K.pkg / /V / >/dev/null 2>&1 || true
  expect "BSD stat asked on macOS" [ "$(cat "$d/stat.args")" = "-f %u /dev/console" ]
  expect "one line on standard output, saying why" [ "$(cat "$d/out")" = \
    "Kelvory activation failed (failed, exit 3): Validation failed. The specified customer ID can not be validated." ]
  expect "the details on standard error" grep -q '^attempt 1: ' "$d/err"
  rm "$d/args"
  env -u PACKAGE_PATH COMMAND_LINE_INSTALL=1 "$d/postinstall" /x/K.pkg / /Volumes/T / \
    >/dev/null 2>&1 || true
  expect "--package from \$1 without PACKAGE_PATH" [ "$(sed -n 2p "$d/args")" = /x/K.pkg ]
  # The administrators' guide shows the shipped file whole.
  awk '/^#+ Silent installs/ { section = 1 } section && /^```sh$/ { on = 1; next }
    on && /^```$/ { exit } on' docs/administrators.md >"$d/readme"
  expect "the administrators' guide's postinstall to be the shipped file" \
    diff "$mac/postinstall" "$d/readme"
}
check "postinstall (always asks kelvory-activate --unless-activated --retry)" postinstall

# --- build-pkg.sh, run with recording stand-ins of pkgbuild, productbuild, codesign, xcrun and
# a uname that answers Darwin ---
fake=$tmp/fake
mkdir -p "$fake/bin" "$fake/build/Kelvory.bundle/Contents/MacOS" "$fake/vendor" \
  "$fake/payload/Library/Kelvory"
cp "$universal/Kelvory.bundle/Contents/Info.plist" "$fake/build/Kelvory.bundle/Contents/" || true
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
[ "$name" = uname ] && echo Darwin && exit 0
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
for tool in pkgbuild productbuild codesign xcrun uname; do
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
  # Off a Mac, or with one of Apple's tools missing: said before anything is built.
  rm "$fake/bin/uname"
  unsigned --validate "$fake/vendor/InitialValidate"
  ln -s stand-in "$fake/bin/uname"
  expect "a refusal off macOS" [ "$rc" -eq 1 ]
  expect "the reason: it runs on macOS" grep -q "runs on macOS" "$fake/out"
  rm "$fake/bin/productbuild"
  unsigned --validate "$fake/vendor/InitialValidate"
  ln -s stand-in "$fake/bin/productbuild"
  expect "a refusal without productbuild" [ "$rc" -eq 1 ]
  expect "productbuild named as missing" grep -q "missing:.* productbuild" "$fake/out"
  expect "nothing built after those refusals" [ ! -s "$log" ]
  set +e
  "$mac/build-pkg.sh" --help >"$fake/help" 2>"$fake/help.err"
  rc=$?
  set -e
  expect "--help: exit 0" [ "$rc" -eq 0 ]
  expect "--help: the usage on standard output only" grep -q '^Usage: ' "$fake/help"
  expect "--help: nothing on standard error" [ ! -s "$fake/help.err" ]
}
check "build-pkg.sh refuses what it must" refusals

unsigned_package() {
  unsigned --validate "$fake/vendor/InitialValidate"
  expect "success" [ "$rc" -eq 0 ]
  for what in "signing the plug-in and the tools ad hoc: KL_APP_IDENTITY is not set" \
    "not signing the product package: KL_INSTALLER_IDENTITY is not set" \
    "not notarizing or stapling: KL_NOTARY_PROFILE is not set"; do
    expect "the notice \"$what\"" grep -qx "$what" "$fake/out"
  done
  expect "the two scripts' tools, the plug-in's tool, then the plug-in signed ad hoc" \
    [ "$(grep -c '^codesign --force --sign - ' "$log")" -eq 4 ]
  expect "the plug-in verified, deep and strict, after its signing" \
    [ "$(grep '^codesign ' "$log" | tail -n 1)" = \
      "codesign --verify --deep --strict $(grep '^codesign --force .*/Kelvory.bundle$' "$log" |
        sed 's/.* //')" ]
  expect "no xcrun" [ -z "$(grep -E '^xcrun ' "$log")" ]
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
    /^codesign --force .*\/Kelvory.bundle$/ { print "plug-in" }
    /^codesign --verify --deep --strict .*\/Kelvory.bundle$/ { print "verify" }
    /^(pkgbuild|productbuild) / { print $1 }
    /^xcrun --find / { print "find-" $3 }
    /^xcrun [a-z]/ { print $2 }' "$log" | tr '\n' ' ')
  expect "inner code first, each step in turn; got: $order" [ "$order" = \
    "find-notarytool find-stapler tool tool plug-in-tool plug-in verify pkgbuild productbuild notarytool stapler " ]
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
  shellcheck "$mac/postinstall" "$mac/build-pkg.sh" "$mac/check-examples.sh" \
    packaging/check-packaging.sh
  shellcheck -s sh packaging/darwin-trees.sh
}
check "shellcheck" lint

# --- The workflow: its steps, and against GitHub's schema ---
workflow_steps() {
  w=.github/workflows/macos.yml
  # macos-14 images are being retired.
  expect "the macos-15 runner" grep -Eq '^    runs-on: macos-15$' "$w"
  expect "the workflow's minimum to be the build's ($min_macos)" \
    grep -qF "[ \"\$minos\" = $min_macos ]" "$w"
  # shellcheck disable=SC2016 # the workflow's text, unexpanded
  for step in 'cmake --preset macos-universal' 'cmake --build --preset macos-universal' \
    'brew install cli11 nlohmann-json googletest cpp-httplib openssl@3' \
    'cmake --preset macos-native -DOPENSSL_ROOT_DIR="$(brew --prefix openssl@3)"' \
    'sudo softwareupdate --install-rosetta --agree-to-license' \
    'cmake --build --preset macos-native' 'ctest --test-dir build ' \
    'lipo -archs' 'build-universal/InitialValidate; do' 'otool -arch' 'minos' \
    'arch -x86_64 build-universal/kelvory-activate --version' \
    'build-pkg.sh --build build-universal' '--development-reference-tool' \
    'pkgutil --expand build/Kelvory.pkg' 'Plugins/InstallerSections.plist' \
    'Plugins/Kelvory.bundle/Contents/MacOS/Kelvory' \
    'codesign --verify --deep --strict build/expanded/Plugins/Kelvory.bundle' \
    'kl_sim_start build/kelvory-mgmt-sim ' 'cat > build/InstallationData.xml' \
    'sudo installer -pkg build/Kelvory.pkg -target /' 'already-activated:*) ;;' \
    'actions/upload-artifact@'; do
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
