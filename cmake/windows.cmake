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
if(NOT EXISTS ${vanto_host_headers}/CLI)
  file(CREATE_LINK /usr/include/CLI ${vanto_host_headers}/CLI SYMBOLIC)
endif()
add_library(CLI11 INTERFACE)
target_include_directories(CLI11 SYSTEM INTERFACE ${vanto_host_headers})

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

# The transport module on Winsock, as the two files the library loads.
file(GLOB zk_core_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/modules/transport/C*.cpp)
add_library(vanto_transport STATIC ${zk_core_srcs})
target_include_directories(vanto_transport PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(vanto_transport PUBLIC vanto_platform ws2_32)
foreach(module ZKAPI7x64:.Dll ZKNETx64:.DLL)
  string(REPLACE ":" ";" parts ${module})
  list(GET parts 0 name)
  list(GET parts 1 suffix)
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/modules/transport/ZKExports.cpp ${VANTO_WINDOWS_DIR}/zkapi.def)
  target_link_libraries(${name} PRIVATE vanto_transport)
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name} SUFFIX ${suffix})
endforeach()

# The AUDF module on the system's registry, its entry points by ordinal only.
add_library(vanto_audf SHARED ${CMAKE_SOURCE_DIR}/modules/audf/AUDFModule.cpp ${VANTO_WINDOWS_DIR}/audf.def)
target_link_libraries(vanto_audf PRIVATE vanto_platform)
set_target_properties(vanto_audf PROPERTIES PREFIX "" OUTPUT_NAME "VUD3AUDF" SUFFIX ".DLL")

# vanto.exe: the verbs that call vanto.dll as on Linux; the prefix administration verbs work on
# the system's spooler and registry (platform/windows), or say that they are Linux-only.
add_library(vanto_tool_platform STATIC ${CMAKE_SOURCE_DIR}/platform/TextUtil.cpp
            ${CMAKE_SOURCE_DIR}/platform/DriverFileSet.cpp ${CMAKE_SOURCE_DIR}/platform/windows/PrefixWindows.cpp
            ${CMAKE_SOURCE_DIR}/platform/windows/HostWindows.cpp)
target_link_libraries(vanto_tool_platform PUBLIC vanto_platform)
file(GLOB vanto_tool_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/vanto/*.cpp)
add_executable(vanto_tool ${vanto_tool_srcs})
set_target_properties(vanto_tool PROPERTIES OUTPUT_NAME vanto)
target_link_libraries(vanto_tool PRIVATE vanto_printerinfo vanto_bidi vanto_probe vanto_packet vanto_tables vanto_cfgx
                                         vanto_common vanto_cfx vanto_transport vanto_tool_platform CLI11 nlohmann_json)
add_dependencies(vanto_tool vanto_library)

# ---- Tests: GoogleTest built from Debian's sources with this toolchain; each executable is one
# ctest entry, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR). Only the tests that need neither
# the Linux prefix nor a Linux peer are built here; the paths they read are the source tree
# through Wine's drive Z:.
enable_testing()
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(vanto_restable_compiler STATIC ${CMAKE_SOURCE_DIR}/tools/restable/ResTableCompiler.cpp)
target_include_directories(vanto_restable_compiler PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(vanto_restable_compiler PUBLIC nlohmann_json::nlohmann_json)

# vanto_windows_test(NAME SOURCES... LIBS libs...)
function(vanto_windows_test name)
  cmake_parse_arguments(arg "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${arg_LIBS} gtest gtest_main)
  target_compile_definitions(${name} PRIVATE
    VANTO_SOURCE_DIR="Z:${CMAKE_SOURCE_DIR}" VANTO_BUILD_DIR="Z:${CMAKE_BINARY_DIR}"
    VANTO_SHARED_DIR="Z:${CMAKE_SOURCE_DIR}/../shared")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
endfunction()

set(t ${CMAKE_SOURCE_DIR}/tests)
vanto_windows_test(test_packet SOURCES ${t}/packet/MDRPacketTest.cpp ${t}/packet/PacketDataTest.cpp LIBS vanto_packet)
vanto_windows_test(test_deviceid SOURCES ${t}/probe/DeviceIDParserTest.cpp LIBS vanto_probe)
vanto_windows_test(test_capability_set SOURCES ${t}/bidi/CapabilitySetTest.cpp LIBS vanto_bidi)
vanto_windows_test(test_tables SOURCES ${t}/tables/BITableDataTest.cpp LIBS vanto_tables vanto_restable_compiler)

# The CFGX module (the driver's UI module), its 31 functions by name.
add_library(vanto_cfx STATIC ${CMAKE_SOURCE_DIR}/modules/cfgx/CfxFile.cpp ${CMAKE_SOURCE_DIR}/modules/cfgx/CfxReader.cpp
            ${CMAKE_SOURCE_DIR}/modules/cfgx/CfxWriter.cpp ${CMAKE_SOURCE_DIR}/modules/cfgx/CCfgxSession.cpp
            ${CMAKE_SOURCE_DIR}/modules/cfgx/CfgxFiles.cpp)
target_include_directories(vanto_cfx PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include)
target_link_libraries(vanto_cfx PUBLIC nlohmann_json::nlohmann_json)
add_library(vanto_cfgx_module SHARED ${CMAKE_SOURCE_DIR}/modules/cfgx/KDCFGXExports.cpp
            ${CMAKE_SOURCE_DIR}/modules/cfgx/CfgxQueue.cpp ${VANTO_WINDOWS_DIR}/cfgx.def)
target_link_libraries(vanto_cfgx_module PRIVATE vanto_cfx vanto_platform)
set_target_properties(vanto_cfgx_module PROPERTIES PREFIX "" OUTPUT_NAME "VUD3CFGX" SUFFIX ".DLL")

# End to end under Wine: the spooler, vanto.dll and the modules against a vprinter that
# scripts/test-windows starts (VANTO_WINE_PRINTER).
vanto_windows_test(test_wine_end_to_end SOURCES ${t}/windows/WineEndToEndTest.cpp LIBS vanto_restable_compiler winspool shell32 advapi32)
add_dependencies(test_wine_end_to_end vanto_library ZKAPI7x64 ZKNETx64 vanto_audf vanto_cfgx_module)
# vanto.exe run as a person runs it, against the same vprinter.
vanto_windows_test(test_vanto_tool SOURCES ${t}/windows/VantoToolTest.cpp LIBS vanto_restable_compiler)
add_dependencies(test_vanto_tool vanto_tool vanto_library ZKAPI7x64 ZKNETx64 vanto_audf vanto_cfgx_module)

# The log tests with the Windows TempPrefix (tests/windows/support): the machine is the prefix.
vanto_windows_test(test_log SOURCES ${t}/common/BILoggingTest.cpp LIBS vanto_common vanto_tool_platform)
target_include_directories(test_log BEFORE PRIVATE ${t}/windows)

# The sample driver's binary resource tables, as samples/driver/tables makes them for Linux: the
# compiler built for the build machine with its own compiler (the cross-built one would need Wine).
find_program(VANTO_HOST_CXX NAMES c++ g++ REQUIRED)
set(vanto_host_restable ${CMAKE_BINARY_DIR}/host/restable)
set(restable_dir ${CMAKE_SOURCE_DIR}/tools/restable)
add_custom_command(OUTPUT ${vanto_host_restable}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
  COMMAND ${VANTO_HOST_CXX} -std=c++20 -O1 -I${CMAKE_SOURCE_DIR} -I${CMAKE_SOURCE_DIR}/include
          ${restable_dir}/main.cpp ${restable_dir}/ResTableCompiler.cpp -o ${vanto_host_restable}
  DEPENDS ${restable_dir}/main.cpp ${restable_dir}/ResTableCompiler.cpp ${restable_dir}/ResTableCompiler.h
  COMMENT "Building the resource-table compiler for the build machine" VERBATIM)
set(vanto_tables_out)
foreach(table VUD3LP.BRT:lp_tables.json:--numeric-form VUD3LPN.BRT:lp_tables.json:--name-form
              VUD3IJ.BRT:ij_tables.json: VUD3CFGX.BRT:cfgx_tables.json:)
  string(REPLACE ":" ";" parts "${table}")
  list(GET parts 0 out)
  list(GET parts 1 json)
  list(LENGTH parts n)
  set(form)
  if(n GREATER 2)
    list(GET parts 2 form)
  endif()
  set(source ${CMAKE_SOURCE_DIR}/samples/driver/tables/${json})
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${out}
    COMMAND ${vanto_host_restable} ${source} ${CMAKE_BINARY_DIR}/${out} ${form}
    DEPENDS ${vanto_host_restable} ${source} COMMENT "Compiling resource table ${out}" VERBATIM)
  list(APPEND vanto_tables_out ${CMAKE_BINARY_DIR}/${out})
endforeach()
add_custom_target(vanto_driver_tables ALL DEPENDS ${vanto_tables_out})

# The stored values, the AUDF module, table loading, the paper lists and the prohibit set, with the
# Windows TempPrefix: the sample driver and its queues installed through the spooler. The one
# test that runs the Linux `vanto` tool (StoreShowVerbTest.cpp) is not built here.
vanto_windows_test(test_printerinfo SOURCES
  ${t}/printerinfo/AUDFModuleTest.cpp ${t}/printerinfo/BIStoreDataTest.cpp ${t}/printerinfo/BITableLoadTest.cpp
  ${t}/printerinfo/FailingAllocator.cpp ${t}/printerinfo/PaperInfoTest.cpp ${t}/printerinfo/ProhibitInfoTest.cpp
  ${t}/printerinfo/test_printerinfo_object.cpp
  LIBS vanto_printerinfo vanto_restable_compiler vanto_tool_platform)
target_include_directories(test_printerinfo BEFORE PRIVATE ${t}/windows)
add_dependencies(test_printerinfo vanto_audf vanto_driver_tables ZKAPI7x64)
