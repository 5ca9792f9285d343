# The fuzz build: configure with CC=clang CXX=clang++ -DQUILLON_BUILD_FUZZ=ON
# (scripts/fuzz.sh does). Only what the targets need is built: the network
# targets take the network core alone (no Qt, no GTest); the others take the
# widget-free core with Qt Core. Included from the top-level CMakeLists.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang" OR NOT CMAKE_C_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QUILLON_BUILD_FUZZ needs clang for libFuzzer: configure with "
                      "CC=clang CXX=clang++ (found ${CMAKE_CXX_COMPILER_ID})")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)
# Mutated cabinets fail their block checksums; the fuzz build looks past them
# so the decoders and the walk get the inputs.
add_compile_definitions(QUILLON_FUZZ_NO_CHECKSUM)

find_package(Qt6 REQUIRED COMPONENTS Core Sql)  # the core keeps the download history
find_package(PkgConfig REQUIRED)
find_package(ZLIB REQUIRED)  # the platform layer inflates MSZIP with it
pkg_check_modules(NETSNMP REQUIRED IMPORTED_TARGET netsnmp)  # and asks printers over SNMP
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
find_package(Threads REQUIRED)
find_program(CUPS_CONFIG cups-config REQUIRED)
execute_process(COMMAND ${CUPS_CONFIG} --libs OUTPUT_VARIABLE CUPS_LIBS OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(CUPS_LIBS_LIST UNIX_COMMAND "${CUPS_LIBS}")
add_library(Cups::Cups INTERFACE IMPORTED)
target_link_libraries(Cups::Cups INTERFACE ${CUPS_LIBS_LIST})

# libmspack built here from Debian's source package (scripts/fuzz-build.sh
# fetches it), so that its decoders are instrumented and give coverage
# feedback; without the source, the system's library, which gives none.
set(QUILLON_FUZZ_MSPACK_SOURCE "" CACHE PATH "Unpacked libmspack source (the folder holding mspack/)")
if(QUILLON_FUZZ_MSPACK_SOURCE AND EXISTS "${QUILLON_FUZZ_MSPACK_SOURCE}/mspack/cabd.c")
  set(MSPACK_DIR ${QUILLON_FUZZ_MSPACK_SOURCE}/mspack)
  # The decompressors the package readers use, and what they share.
  add_library(mspack_instrumented STATIC
    ${MSPACK_DIR}/system.c ${MSPACK_DIR}/cabd.c ${MSPACK_DIR}/szddd.c ${MSPACK_DIR}/lzssd.c
    ${MSPACK_DIR}/mszipd.c ${MSPACK_DIR}/lzxd.c ${MSPACK_DIR}/qtmd.c ${MSPACK_DIR}/crc32.c)
  target_include_directories(mspack_instrumented SYSTEM PUBLIC ${MSPACK_DIR})
  # Its own code, not ours: its warnings are not this project's to mend.
  target_compile_options(mspack_instrumented PRIVATE -w)
  add_library(PkgConfig::MSPACK ALIAS mspack_instrumented)
  message(STATUS "Fuzz build: libmspack instrumented from ${QUILLON_FUZZ_MSPACK_SOURCE}")
else()
  pkg_check_modules(MSPACK REQUIRED IMPORTED_TARGET libmspack)
  message(STATUS "Fuzz build: the system's libmspack (not instrumented)")
endif()

include(GNUInstallDirs)
set(CMAKE_AUTOMOC ON)
add_subdirectory(${CMAKE_SOURCE_DIR}/platform ${CMAKE_BINARY_DIR}/platform)
# The string table and icons as resources/CMakeLists builds them, without
# the help file (which belongs to the window program).
file(GLOB RESOURCE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.cpp)
add_library(quillon_resources STATIC ${RESOURCE_SOURCES})
target_include_directories(quillon_resources PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quillon_resources PUBLIC Qt6::Core)
file(GLOB_RECURSE RESOURCE_FILES CONFIGURE_DEPENDS
     ${CMAKE_SOURCE_DIR}/resources/strings/* ${CMAKE_SOURCE_DIR}/resources/icons/*)
qt_add_resources(quillon_resources "quillon_data" PREFIX "/" BASE ${CMAKE_SOURCE_DIR}/resources
                 FILES ${RESOURCE_FILES})

# The network core as netlib/CMakeLists builds it, without the browse dialog.
file(GLOB NETCORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/netlib/*.cpp)
add_library(quillon_netcore STATIC ${NETCORE_SOURCES})
target_include_directories(quillon_netcore PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quillon_netcore PUBLIC Threads::Threads)
# The core links the shared library and the address parsers; here both are
# the instrumented static core (no browse dialog, no shared library).
add_library(quillon_net ALIAS quillon_netcore)
add_library(quillon_netaddr ALIAS quillon_netcore)

add_subdirectory(${CMAKE_SOURCE_DIR}/core ${CMAKE_BINARY_DIR}/core)
file(GLOB CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/cli/*.cpp)
list(FILTER CLI_SOURCES EXCLUDE REGEX "/cli/main\\.cpp$")
add_library(quillon_cli_lib STATIC ${CLI_SOURCES})
target_include_directories(quillon_cli_lib PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(quillon_cli_lib PUBLIC quillon_core Qt6::Core)

add_subdirectory(${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/fuzz)
