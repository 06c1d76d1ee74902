# The Windows 64-bit build (mingw-w64, see cmake/toolchain-mingw64.cmake), tested under Wine.
#
# platform/win32.h is the Windows SDK here, so the stand-in platform is not built: the library's
# folders, vanto.dll and the modules link the system's own libraries. The outside modules are
# built as the Windows DLLs the library loads at run time, each exporting what its .def file
# lists (the AUDF module by ordinal only). WSNMP32.DLL is the system's own.
set(VANTO_WINDOWS_DIR ${CMAKE_SOURCE_DIR}/cmake/windows)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
# DWORD and LSTATUS are (unsigned) long here, the same 32 bits as the unsigned int and int the log
# formats name, which the format check reports by type; the Linux build checks the same formats
# against its 32-bit types. The SDK's FARPROC is INT_PTR (*)(), so every GetProcAddress result cast
# to the entry point's type is reported as well.
add_compile_options(-Wall -Wextra -Wno-format -Wno-cast-function-type)
# C99 printf (%zu and friends) for the log lines, whatever the C runtime offers.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 __USE_MINGW_ANSI_STDIO=1)
# Self-contained binaries: no libstdc++/libgcc/winpthread DLLs to carry beside them.
add_link_options(-static -static-libgcc -static-libstdc++)

# Header-only packages of the host (nlohmann-json) reached through a folder of their own, so the
# host's other headers never enter the cross build.
set(vanto_host_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${vanto_host_headers})
if(NOT EXISTS ${vanto_host_headers}/nlohmann)
  file(CREATE_LINK /usr/include/nlohmann ${vanto_host_headers}/nlohmann SYMBOLIC)
endif()
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${vanto_host_headers})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

# vanto_windows_library(NAME DIR [DEPS ...]): a static library of every .cpp in DIR.
function(vanto_windows_library name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

add_library(vanto_platform INTERFACE)
target_include_directories(vanto_platform INTERFACE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(vanto_platform INTERFACE advapi32 winspool shell32 ole32 kernel32)

vanto_windows_library(vanto_common ${CMAKE_SOURCE_DIR}/common vanto_platform)
vanto_windows_library(vanto_packet ${CMAKE_SOURCE_DIR}/packet vanto_common)
vanto_windows_library(vanto_probe ${CMAKE_SOURCE_DIR}/probe vanto_common)
vanto_windows_library(vanto_tables ${CMAKE_SOURCE_DIR}/tables vanto_common)
vanto_windows_library(vanto_bidi ${CMAKE_SOURCE_DIR}/bidi vanto_common vanto_probe vanto_packet vanto_tables)
vanto_windows_library(vanto_cfgx ${CMAKE_SOURCE_DIR}/cfgx vanto_common)
vanto_windows_library(vanto_printerinfo ${CMAKE_SOURCE_DIR}/printerinfo vanto_common vanto_tables vanto_bidi vanto_cfgx)

# vanto.dll: the 21 exports by name (.def), over the library's folders.
file(GLOB interface_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/interface/*.cpp)
add_library(vanto_library SHARED ${interface_srcs} ${VANTO_WINDOWS_DIR}/vanto.def)
set_target_properties(vanto_library PROPERTIES OUTPUT_NAME vanto PREFIX "")
target_include_directories(vanto_library PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(vanto_library PRIVATE vanto_printerinfo vanto_bidi vanto_probe vanto_packet vanto_tables
                                            vanto_cfgx vanto_common)
