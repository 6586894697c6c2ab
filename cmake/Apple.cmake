# The macOS build: what differs from Linux, included at the end of the root CMakeLists.txt once
# the shared targets exist. It relies on klcommon, klactivation, klvalidation, klpanes (which
# brings the platform's macOS face, platform/macos/KLPlatformMacOS.mm, chosen by the shared
# files), kelvory-activate and kl_add_test(), and adds Apple's framework, the plug-in as a real
# bundle, the macOS reader of forced preferences and the pane tests.
# No Mac has built this yet: the README says what the macOS workflow would run.

# What ships runs natively on both Mac architectures, from the first macOS with Apple silicon.
set(KL_MACOS_ARCHS arm64 x86_64)
set(KL_MACOS_MIN 11.0)  # packaging/macos/build-pkg.sh states the same minimum

# The stand-in framework and its Linux host must not exist here: Apple's framework replaces them.
foreach(_kl_linux_only InstallerPlugins kelvory-installer)
  if(TARGET ${_kl_linux_only})
    message(FATAL_ERROR "${_kl_linux_only} is Linux only but is defined for macOS")
  endif()
endforeach()

# Apple's InstallerPlugins.framework from the SDK; a missing one stops the configure.
find_library(KL_INSTALLER_PLUGINS InstallerPlugins REQUIRED)

# The panes subclass InstallerPane.
target_link_libraries(klpanes PUBLIC ${KL_INSTALLER_PLUGINS} kl_appkit)

# kl::DefaultPlatform, in klcommon, answers the forced preferences (configuration profiles) from
# CFPreferences here; kelvory-activate's and the key tool's platforms derive from it.
target_sources(klcommon PRIVATE ${CMAKE_SOURCE_DIR}/platform/macos/KLManagedPreferencesMacOS.cpp)
target_link_libraries(klcommon PUBLIC "-framework CoreFoundation")

# The plug-in. A MODULE with BUNDLE gives Kelvory.bundle/Contents/MacOS/Kelvory, and CMake writes
# Contents/Info.plist from the template, filling its @MACOSX_BUNDLE_*@ values from these
# properties (the executable name from the target).
add_library(Kelvory MODULE ${CMAKE_SOURCE_DIR}/installer/KLInstallerSection.mm)
target_include_directories(Kelvory PRIVATE ${CMAKE_SOURCE_DIR}/installer)
target_link_libraries(Kelvory PRIVATE klpanes)
set_target_properties(Kelvory PROPERTIES
  BUNDLE TRUE
  BUNDLE_EXTENSION bundle
  MACOSX_BUNDLE_INFO_PLIST ${CMAKE_SOURCE_DIR}/packaging/macos/Info.plist.in
  MACOSX_BUNDLE_GUI_IDENTIFIER com.kelvory.activation
  MACOSX_BUNDLE_BUNDLE_NAME Kelvory
  MACOSX_BUNDLE_BUNDLE_VERSION ${PROJECT_VERSION}
  MACOSX_BUNDLE_SHORT_VERSION_STRING ${PROJECT_VERSION})

# Universal and with the stated minimum: the shipped code and the libraries inside it. Not through
# CMAKE_OSX_ARCHITECTURES / CMAKE_OSX_DEPLOYMENT_TARGET: they act only on targets created after
# them (and the deployment target only before project()), and on every target, while the tests
# link the runner's single-architecture Homebrew libraries (GoogleTest).
foreach(_kl_shipped klcommon klactivation klvalidation klpanes Kelvory kelvory-activate)
  set_target_properties(${_kl_shipped} PROPERTIES OSX_ARCHITECTURES "${KL_MACOS_ARCHS}")
  target_compile_options(${_kl_shipped} PRIVATE -mmacosx-version-min=${KL_MACOS_MIN})
endforeach()
# The linked ones record the minimum in their load commands.
target_link_options(Kelvory PRIVATE -mmacosx-version-min=${KL_MACOS_MIN})
target_link_options(kelvory-activate PRIVATE -mmacosx-version-min=${KL_MACOS_MIN})

# The pane tests, on AppKit, with alerts recorded through the platform seam. Apple's framework
# plays no part of the Installer in a test: klpaneharness (tests/support/PaneHarness) does, on
# the framework's public API alone. Only when the shared files have not already defined them for
# every platform.
if(NOT TARGET pane_test)
  kl_add_test(pane_test DIR panes LIBS klpaneharness LOCKS kelvor_install_log)
endif()
if(NOT TARGET validation_test)
  kl_add_test(validation_test DIR validation LIBS klpaneharness LOCKS kelvor_conf)
endif()
