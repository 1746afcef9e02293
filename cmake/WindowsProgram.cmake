# Makes a target the shipped Windows program of one edition: its file name is
# the edition's title, it carries icon, manifest and version block, and it
# needs no DLL beside it.
function(vornix_windows_program target title)
  set(VORNIX_TITLE "${title}")
  set(VORNIX_RESOURCES "${PROJECT_SOURCE_DIR}/clonetool/editions/resources")
  configure_file("${VORNIX_RESOURCES}/Program.rc.in" "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
  set_source_files_properties("${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" PROPERTIES
    OBJECT_DEPENDS "${VORNIX_RESOURCES}/Program.manifest;${VORNIX_RESOURCES}/Vornix.ico")
  set_target_properties(${target} PROPERTIES OUTPUT_NAME "${title}" WIN32_EXECUTABLE ON)
  if(MSVC)
    # main() is the entry point on every platform.
    target_link_options(${target} PRIVATE /ENTRY:mainCRTStartup /MANIFEST:NO)
    set_property(TARGET ${target} PROPERTY MSVC_RUNTIME_LIBRARY "MultiThreaded")
  else()
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ $<$<CONFIG:Release,MinSizeRel>:-s>)
    # An uncaught exception ends the program without naming its type: the
    # verbose handler would bring the whole C++ name demangler along (36 KB),
    # and a window program has nowhere to print it.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      target_link_options(${target} PRIVATE -Wl,--defsym,__ZN9__gnu_cxx27__verbose_terminate_handlerEv=_abort)
    else()
      target_link_options(${target} PRIVATE -Wl,--defsym,_ZN9__gnu_cxx27__verbose_terminate_handlerEv=abort)
    endif()
  endif()
endfunction()
