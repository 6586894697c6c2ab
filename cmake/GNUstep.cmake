# Objective-C(++) flags and libraries for the platform's Foundation and AppKit.
# On Linux they come from gnustep-config; on macOS from Apple's frameworks.
# Two INTERFACE targets: kl_foundation (Foundation only) and kl_appkit (adds AppKit).

add_library(kl_foundation INTERFACE)
add_library(kl_appkit INTERFACE)
target_link_libraries(kl_appkit INTERFACE kl_foundation)

if(APPLE)
  target_compile_options(kl_foundation INTERFACE
    $<$<COMPILE_LANGUAGE:OBJC,OBJCXX>:-fno-objc-arc>)
  target_link_libraries(kl_foundation INTERFACE "-framework Foundation")
  target_link_libraries(kl_appkit INTERFACE "-framework AppKit")
  return()
endif()

find_program(GNUSTEP_CONFIG gnustep-config REQUIRED)
execute_process(COMMAND ${GNUSTEP_CONFIG} --objc-flags
  OUTPUT_VARIABLE _kl_objc_flags OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${GNUSTEP_CONFIG} --base-libs
  OUTPUT_VARIABLE _kl_base_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${GNUSTEP_CONFIG} --gui-libs
  OUTPUT_VARIABLE _kl_gui_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(_kl_objc_flags UNIX_COMMAND "${_kl_objc_flags}")
separate_arguments(_kl_base_libs UNIX_COMMAND "${_kl_base_libs}")
separate_arguments(_kl_gui_libs UNIX_COMMAND "${_kl_gui_libs}")

# CMake owns dependency files, optimisation, debug info and warnings.
list(REMOVE_ITEM _kl_objc_flags -MMD -MP -g -O2 -I. -Wall)
# GNUstep's headers are system headers: -Wextra findings in them are not ours to fix.
list(TRANSFORM _kl_objc_flags REPLACE "^-I(.+)$" "-isystem\\1")

# Split the link lines: -l/-L go to target_link_libraries (Debian links with
# --as-needed, so libraries must follow the objects), the rest are options.
function(_kl_split_libs input libs_out opts_out)
  set(_libs)
  set(_opts)
  foreach(_item IN LISTS input)
    if(_item MATCHES "^-[lL]")
      list(APPEND _libs ${_item})
    else()
      list(APPEND _opts ${_item})
    endif()
  endforeach()
  set(${libs_out} ${_libs} PARENT_SCOPE)
  set(${opts_out} ${_opts} PARENT_SCOPE)
endfunction()
_kl_split_libs("${_kl_base_libs}" _kl_base_l _kl_base_o)
_kl_split_libs("${_kl_gui_libs}" _kl_gui_l _kl_gui_o)

target_compile_options(kl_foundation INTERFACE
  "$<$<COMPILE_LANGUAGE:OBJC,OBJCXX>:${_kl_objc_flags}>"
  "$<$<COMPILE_LANGUAGE:OBJCXX>:-Wno-subobject-linkage>")
target_link_options(kl_foundation INTERFACE ${_kl_base_o})
target_link_libraries(kl_foundation INTERFACE ${_kl_base_l})
target_link_libraries(kl_appkit INTERFACE ${_kl_gui_l})
# AppKit's current names, which the plug-in uses (the older ones are deprecated on macOS 11 and
# later), where GNUstep's AppKit lacks them: there they mean the same older constants.
target_compile_definitions(kl_appkit INTERFACE
  NSButtonTypeRadio=NSRadioButton NSMatrixModeRadio=NSRadioModeMatrix)
