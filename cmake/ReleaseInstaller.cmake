# The installer executable as it ships. It links vln2_release, a copy of the library built
# for size: no exceptions (nothing in it throws; the callback guards compile away), no run-time
# type information, static locals without thread guards (the installer runs on one thread), and
# link-time optimisation together with zlib, compiled here from source for the same reasons.
# Every source of vln2 is compiled into it, so new files get the same settings. Tests and
# tools keep the plain library. The link is stamped with the source's date, checked for
# runtime pieces the installer must not carry, and a signed copy is made when VLN2_SIGN is on.

# zlib's sources: VLN2_ZLIB_SOURCE_DIR, or the copy inside Debian's binutils-source tarball.
set(VLN2_ZLIB_SOURCE_DIR "" CACHE PATH "zlib sources compiled into the installer")
set(zlib_dir "${VLN2_ZLIB_SOURCE_DIR}")
if(NOT zlib_dir)
  file(GLOB tarball /usr/src/binutils/binutils-*.tar.xz)
  if(NOT tarball)
    message(FATAL_ERROR "No zlib sources: install binutils-source (scripts/install-deps) "
                        "or set VLN2_ZLIB_SOURCE_DIR")
  endif()
  list(GET tarball 0 tarball)
  set(extracted "${CMAKE_BINARY_DIR}/zlib-source")
  if(NOT EXISTS "${extracted}/.done")
    # GNU tar: the tarball holds some files twice, as links to themselves.
    file(REMOVE_RECURSE "${extracted}")
    file(MAKE_DIRECTORY "${extracted}")
    execute_process(COMMAND tar -xJf "${tarball}" -C "${extracted}" --wildcards "*/zlib/*.[ch]"
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "Cannot extract zlib from ${tarball}")
    endif()
    file(TOUCH "${extracted}/.done")
  endif()
  file(GLOB zlib_dir "${extracted}/*/zlib")
endif()

# Only what compress2 and uncompress need, in the zlib format without the gzip wrapper; the
# fixed code and CRC tables are computed at start-up rather than stored.
set(zlib_sources)
foreach(name adler32 compress crc32 deflate inffast inflate inftrees trees uncompr zutil)
  list(APPEND zlib_sources "${zlib_dir}/${name}.c")
endforeach()
add_library(vln2_zlib STATIC ${zlib_sources})
target_include_directories(vln2_zlib SYSTEM PUBLIC "${zlib_dir}")
target_compile_definitions(vln2_zlib PRIVATE NO_GZIP BUILDFIXED DYNAMIC_CRC_TABLE)
target_compile_options(vln2_zlib PRIVATE -w)

# The copy of vln2: same sources and settings, this zlib instead of the system's.
add_library(vln2_release STATIC $<TARGET_PROPERTY:vln2,SOURCES>)
foreach(property INCLUDE_DIRECTORIES COMPILE_DEFINITIONS COMPILE_OPTIONS)
  set_property(TARGET vln2_release PROPERTY ${property} $<TARGET_PROPERTY:vln2,${property}>)
  set_property(TARGET vln2_release PROPERTY INTERFACE_${property}
                                            $<TARGET_PROPERTY:vln2,INTERFACE_${property}>)
endforeach()
get_target_property(libraries vln2 LINK_LIBRARIES)
list(TRANSFORM libraries REPLACE "^ZLIB::ZLIB$" vln2_zlib)
target_link_libraries(vln2_release PUBLIC ${libraries})

set(release_targets vln2_zlib vln2_release VorlaneBoxSetup VorlaneBoxUninstall)
set_target_properties(${release_targets} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)
foreach(target IN LISTS release_targets)
  target_compile_options(${target} PRIVATE
    -Oz "-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=" "-ffile-prefix-map=${CMAKE_BINARY_DIR}/="
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-threadsafe-statics>)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    # No unwinder is linked, so the DWARF unwind tables would be dead weight. (The x86-64
    # tables are the system's structured exception data and stay.) Nothing walks the stack
    # by frame pointers either: the register goes to the code, as it does on x86-64.
    target_compile_options(${target} PRIVATE -fno-asynchronous-unwind-tables -fomit-frame-pointer)
  endif()
endforeach()
target_link_options(VorlaneBoxSetup PRIVATE -Oz)
target_link_options(VorlaneBoxUninstall PRIVATE -Oz)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  # The payload section starts on a page boundary of the file, so that Wine maps it rather
  # than copying all of it into memory at start-up; on x86-64, the build run under Wine. The
  # i686 release keeps the 512-byte alignment: the pages would cost it about 29 KB.
  target_link_options(VorlaneBoxSetup PRIVATE -Wl,--file-alignment=4096)
endif()
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  foreach(program VorlaneBoxSetup VorlaneBoxUninstall)
    target_link_options(${program} PRIVATE "-Wl,-T,${CMAKE_SOURCE_DIR}/cmake/NoUnwindTables.ld")
    set_property(TARGET ${program} APPEND PROPERTY LINK_DEPENDS
                 "${CMAKE_SOURCE_DIR}/cmake/NoUnwindTables.ld")
  endforeach()
endif()
# The link map shows which pieces of the runtime came in and why; the check fails the build
# on any the installer must not carry.
set(map "${CMAKE_BINARY_DIR}/installer/VorlaneBoxSetup.map")
set(checked "${CMAKE_BINARY_DIR}/installer/VorlaneBoxSetup.runtime-checked")
target_link_options(VorlaneBoxSetup PRIVATE "-Wl,-Map=${map}")
add_custom_command(
  OUTPUT "${checked}"
  COMMAND "${CMAKE_COMMAND}" "-DMAP=${map}" -P "${CMAKE_SOURCE_DIR}/cmake/CheckReleaseRuntime.cmake"
  COMMAND "${CMAKE_COMMAND}" -E touch "${checked}"
  DEPENDS VorlaneBoxSetup "${CMAKE_SOURCE_DIR}/cmake/CheckReleaseRuntime.cmake"
  COMMENT "Checking the runtime the installer links"
  VERBATIM)
add_custom_target(VorlaneBoxSetupRuntimeCheck ALL DEPENDS "${checked}")

target_sources(VorlaneBoxSetup PRIVATE "${VLN2_VERSION_RC}")
target_sources(VorlaneBoxUninstall PRIVATE "${VLN2_UNINSTALLER_RC}")
target_include_directories(VorlaneBoxUninstall PRIVATE "${CMAKE_BINARY_DIR}/resources")
set_property(TARGET VorlaneBoxSetup VorlaneBoxUninstall PROPERTY CXX_LINKER_LAUNCHER
             "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${VLN2_SOURCE_DATE_EPOCH}")

# VLN2_SIGN (installer/CMakeLists.txt) makes installer/signed/VorlaneBoxSetup.exe, signed by
# scripts/sign with the key its environment names; the uninstaller in its payload is signed
# too. A build without VLN2_SIGN is the reproducible one.
if(VLN2_SIGN)
  set(signed "${CMAKE_BINARY_DIR}/installer/signed/VorlaneBoxSetup.exe")
  vln2_signed_copy(VorlaneBoxSetup "${signed}")
  add_custom_target(VorlaneBoxSetupSigned ALL DEPENDS "${signed}")
endif()
