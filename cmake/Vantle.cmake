# Module helpers shared by every deliverable, stand-in and test.

set(VANTLE_CMAKE_DIR ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(VANTLE_FRAME_DIR ${CMAKE_CURRENT_LIST_DIR}/../conduits/frame ABSOLUTE)

# Statically linked runtime: no module needs a MinGW DLL at run time.
set(VANTLE_STATIC_LINK -static -static-libgcc -static-libstdc++)

# vantle_version(<target> DESCRIPTION <text> [FILETYPE APP|DLL])
# Gives the module a version resource with the fixed string keys.
function(vantle_version target)
  cmake_parse_arguments(V "" "DESCRIPTION;FILETYPE" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  get_target_property(suffix ${target} SUFFIX)
  if(NOT suffix)
    if(type STREQUAL "EXECUTABLE")
      set(suffix ".exe")
    else()
      set(suffix ".dll")
    endif()
  endif()
  if(NOT V_FILETYPE)
    if(type STREQUAL "EXECUTABLE")
      set(V_FILETYPE APP)
    else()
      set(V_FILETYPE DLL)
    endif()
  endif()
  set(VANTLE_VER_FILETYPE VFT_${V_FILETYPE})
  set(VANTLE_VER_DESCRIPTION "${V_DESCRIPTION}")
  set(VANTLE_VER_INTERNAL "${name}")
  set(VANTLE_VER_ORIGINAL "${name}${suffix}")
  set(VANTLE_VER_DOTS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
  set(VANTLE_VER_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${VANTLE_CMAKE_DIR}/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

# vantle_module(<target>): a code module of Vantle (program, plug-in, server,
# stand-in or test). Links the runtime statically, routes every allocation
# through the shared memory manager and keeps thread_local variables where
# the module's unloading frees them.
function(vantle_module target)
  target_link_options(${target} PRIVATE ${VANTLE_STATIC_LINK})
  target_link_libraries(${target} PRIVATE vantle_sharemem_client vantle_thread_storage)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY" OR type STREQUAL "MODULE_LIBRARY")
    target_link_libraries(${target} PRIVATE vantle_library_entry)
  endif()
endfunction()

# vantle_resource_library(<target> OUTPUT <file name> RC <script> [DESCRIPTION <text>])
# A resource-only library: no code, no entry point.
function(vantle_resource_library target)
  cmake_parse_arguments(R "" "OUTPUT;RC;DESCRIPTION" "DEPENDS" ${ARGN})
  get_filename_component(stem ${R_OUTPUT} NAME_WE)
  get_filename_component(ext ${R_OUTPUT} EXT)
  add_library(${target} SHARED ${R_RC})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${stem} ARCHIVE_OUTPUT_NAME ${stem}-resources PREFIX "" SUFFIX "${ext}" LINKER_LANGUAGE C)
  target_link_options(${target} PRIVATE -nostdlib -Wl,-e,0)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${R_DEPENDS})
  if(R_DEPENDS)
    set_source_files_properties(${R_RC} PROPERTIES OBJECT_DEPENDS "${R_DEPENDS}")
  endif()
  if(R_DESCRIPTION)
    vantle_version(${target} DESCRIPTION "${R_DESCRIPTION}")
  endif()
endfunction()

# vantle_test(<name> SOURCES ... [LIBS ...]): one GoogleTest executable,
# one ctest test, run under Wine.
function(vantle_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  vantle_version(${name} DESCRIPTION "Vantle test ${name}")
  vantle_module(${name})
  target_link_libraries(${name} PRIVATE vantle_testmain ${T_LIBS})
  add_test(NAME ${name} COMMAND ${VANTLE_CMAKE_DIR}/../scripts/wine-test $<TARGET_FILE:${name}> --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

# vantle_conduit(<target> NAME <stem> SOURCES ... RC <strings script>
#                [DEF <module-definition file>] [DESCRIPTION <text>] [NO_RESOURCES]
#                [OUTPUT_DIR <folder>] [LIBS ...])
# A conduit plug-in: <stem>.vaz with the frame, its exports by fixed ordinal
# and a version resource, and its resource library <stem>.mrs beside it, with
# a version resource of its own.
function(vantle_conduit target)
  cmake_parse_arguments(C "NO_RESOURCES" "NAME;RC;DEF;DESCRIPTION;OUTPUT_DIR" "SOURCES;LIBS" ${ARGN})
  get_filename_component(C_RC ${C_RC} ABSOLUTE)
  if(NOT C_DEF)
    set(C_DEF ${VANTLE_FRAME_DIR}/vaz.def)
  endif()
  if(NOT C_OUTPUT_DIR)
    set(C_OUTPUT_DIR ${VANTLE_BIN})
  endif()
  add_library(${target} SHARED ${C_SOURCES} ${VANTLE_FRAME_DIR}/ConduitEntry.cpp ${C_DEF})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${C_NAME} PREFIX "" SUFFIX ".vaz"
    RUNTIME_OUTPUT_DIRECTORY ${C_OUTPUT_DIR} LIBRARY_OUTPUT_DIRECTORY ${C_OUTPUT_DIR})
  vantle_module(${target})
  target_link_libraries(${target} PRIVATE vantle_conduit_frame ${C_LIBS})
  vantle_version(${target} DESCRIPTION "${C_DESCRIPTION}")
  if(NOT C_NO_RESOURCES)
    vantle_resource_library(${target}_mrs OUTPUT ${C_NAME}.mrs RC ${C_RC} DEPENDS ${C_RC}
      DESCRIPTION "${C_DESCRIPTION}: texts and pictures")
    set_target_properties(${target}_mrs PROPERTIES
      RUNTIME_OUTPUT_DIRECTORY ${C_OUTPUT_DIR} LIBRARY_OUTPUT_DIRECTORY ${C_OUTPUT_DIR})
    target_compile_options(${target}_mrs PRIVATE $<$<COMPILE_LANGUAGE:RC>:--codepage=65001>)
    add_dependencies(${target} ${target}_mrs)
  endif()
endfunction()

# Header-only JSON for the stand-ins' stores and the test conduits' scripts,
# from a copy of Debian's headers (never the Linux include folders).
if(NOT TARGET vantle_json)
  file(COPY /usr/include/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/include)
  add_library(vantle_json INTERFACE)
  target_include_directories(vantle_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/include)
endif()
