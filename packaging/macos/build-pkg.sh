#!/bin/sh
# Builds the product package: the agent's payload, the activation plug-in in front of the
# installation step, and kelvory-activate for command-line installs. Every build is signed: with
# the given identity, or ad hoc without one. Notarizes and staples only when asked.
# Usage: see help() below, or --help.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
pkg_id=com.kelvory.agent
component=Kelvory-agent.pkg
min_macos=11.0  # as the root CMakeLists.txt builds for (CMAKE_OSX_DEPLOYMENT_TARGET)

die() {
  echo "build-pkg.sh: $*" >&2
  exit 1
}
help() {
  cat <<EOF
Usage: $0 --build DIR --payload DIR --out FILE.pkg
           (--validate FILE | --development-reference-tool) [--version V]
  --build DIR     the universal macOS build folder (Kelvory.bundle, kelvory-activate)
  --payload DIR   the agent's files, laid out from the volume's root
  --validate FILE the vendor's InitialValidate, which speaks to the real management server
  --development-reference-tool
                  our reference InitialValidate from --build instead; it speaks the
                  simulator's API, so such a package is for development only
  --version V     the package version (default: the plug-in's CFBundleShortVersionString)
  --help          this text
Each only when set:
  KL_APP_IDENTITY        "Developer ID Application" identity: signs the tools and the plug-in
                         with the hardened runtime (without it they are signed ad hoc)
  KL_INSTALLER_IDENTITY  "Developer ID Installer" identity: signs the product package
  KL_NOTARY_PROFILE      notarytool keychain profile: notarizes and staples the product
Runs on macOS only (pkgbuild, productbuild, codesign).
EOF
}
usage() {
  help >&2
  exit 2
}

build="" payload="" validate="" out="" version="" reference=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build | --payload | --validate | --out | --version)
      [ $# -ge 2 ] || usage
      case "$1" in
        --build) build=$2 ;;
        --payload) payload=$2 ;;
        --validate) validate=$2 ;;
        --out) out=$2 ;;
        --version) version=$2 ;;
      esac
      shift 2
      ;;
    --development-reference-tool) reference=1; shift ;;
    --help)
      help
      exit 0
      ;;
    *) usage ;;
  esac
done
if [ -z "$build" ] || [ -z "$payload" ] || [ -z "$out" ]; then usage; fi

[ "$(uname -s)" = Darwin ] || die "runs on macOS: it needs Apple's pkgbuild, productbuild and codesign"
# Notarization only accepts signed code in a signed package: refuse before building.
if [ -n "${KL_NOTARY_PROFILE:-}" ] &&
  { [ -z "${KL_APP_IDENTITY:-}" ] || [ -z "${KL_INSTALLER_IDENTITY:-}" ]; }; then
  die "KL_NOTARY_PROFILE needs KL_APP_IDENTITY and KL_INSTALLER_IDENTITY"
fi
# Every tool it will call, named when missing, before anything is built.
missing=""
for tool in pkgbuild productbuild codesign; do
  command -v "$tool" >/dev/null 2>&1 || missing="$missing $tool"
done
if [ -n "${KL_NOTARY_PROFILE:-}" ]; then
  for tool in notarytool stapler; do
    xcrun --find "$tool" >/dev/null 2>&1 || missing="$missing xcrun-$tool"
  done
fi
[ -z "$missing" ] || die "missing:$missing (Xcode or its command line tools bring them)"

bundle=$build/Kelvory.bundle
if [ ! -f "$bundle/Contents/MacOS/Kelvory" ] || [ ! -f "$bundle/Contents/Info.plist" ]; then
  die "no plug-in bundle at $bundle (build it first)"
fi
[ -x "$build/kelvory-activate" ] || die "no kelvory-activate in $build (build it first)"
[ -d "$payload" ] || die "the payload folder $payload does not exist"

# The reference tool only on request: a package shipped with it cannot validate anywhere real.
if [ "$reference" = 1 ]; then
  [ -z "$validate" ] || usage
  validate=$build/InitialValidate
  echo "DEVELOPMENT PACKAGE: it carries the reference InitialValidate; never ship it"
else
  [ -n "$validate" ] || usage
  if [ -f "$build/InitialValidate" ] && cmp -s "$validate" "$build/InitialValidate"; then
    die "$validate is our reference tool; pass --development-reference-tool if that is meant"
  fi
fi
[ -x "$validate" ] || die "the validation tool $validate is not an executable file"

# The version goes into XML and a sed expression: digits and dots only.
if [ -z "$version" ]; then
  version=$(awk '/<key>CFBundleShortVersionString<\/key>/ {
    getline; gsub(/[[:space:]]*<\/?string>[[:space:]]*/, ""); print; exit }' \
    "$bundle/Contents/Info.plist")
fi
case "$version" in
  "" | *[!0-9.]*) die "unusable version \"$version\" (digits and dots)" ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/plugins" "$work/scripts" "$work/packages"

# The plug-in runs InitialValidate from its own Resources folder.
cp -R "$bundle" "$work/plugins/"
mkdir -p "$work/plugins/Kelvory.bundle/Contents/Resources"
cp "$validate" "$work/plugins/Kelvory.bundle/Contents/Resources/InitialValidate"
cp "$here/InstallerSections.plist" "$work/plugins/"
# The plug-in is never installed: postinstall's tools travel in the scripts folder.
cp "$here/postinstall" "$build/kelvory-activate" "$work/scripts/"
cp "$validate" "$work/scripts/InitialValidate"
chmod 755 "$work/scripts/postinstall" "$work/scripts/kelvory-activate" \
  "$work/scripts/InitialValidate"

sed -e "s/@PKG_ID@/$pkg_id/g" -e "s/@VERSION@/$version/g" \
  -e "s/@COMPONENT_PKG@/$component/g" -e "s/@MIN_MACOS@/$min_macos/g" \
  "$here/distribution.xml.in" >"$work/distribution.xml"

# Inner code first: the bundle's signature seals the tool inside it. The Installer skips a
# plug-in whose signature is stale without a word, so the bundle is verified after signing.
if [ -n "${KL_APP_IDENTITY:-}" ]; then
  set -- --timestamp --options runtime --sign "$KL_APP_IDENTITY"
else
  echo "signing the plug-in and the tools ad hoc: KL_APP_IDENTITY is not set"
  set -- --sign -
fi
for code in "$work/scripts/kelvory-activate" "$work/scripts/InitialValidate" \
  "$work/plugins/Kelvory.bundle/Contents/Resources/InitialValidate" \
  "$work/plugins/Kelvory.bundle"; do
  codesign --force "$@" "$code"
done
codesign --verify --deep --strict "$work/plugins/Kelvory.bundle"

pkgbuild --root "$payload" --install-location / --scripts "$work/scripts" \
  --identifier "$pkg_id" --version "$version" "$work/packages/$component"

if [ -n "${KL_INSTALLER_IDENTITY:-}" ]; then
  set -- --sign "$KL_INSTALLER_IDENTITY" --timestamp
else
  echo "not signing the product package: KL_INSTALLER_IDENTITY is not set"
  set --
fi
productbuild --distribution "$work/distribution.xml" --package-path "$work/packages" \
  --plugins "$work/plugins" "$@" "$out"

if [ -n "${KL_NOTARY_PROFILE:-}" ]; then
  xcrun notarytool submit "$out" --keychain-profile "$KL_NOTARY_PROFILE" --wait
  # Stapling needs an accepted submission: a refused one stops the script here.
  xcrun stapler staple "$out"
else
  echo "not notarizing or stapling: KL_NOTARY_PROFILE is not set"
fi
echo "built $out (version $version)"
