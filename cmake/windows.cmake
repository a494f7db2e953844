# Win32 build: vokcurrency.dll, its resources, and the Wine test binary.
# New Win32 sources are picked up by their folders: platform/*_win32.cpp,
# plugin/*.cpp, update/*_win32.cpp, dialogs/*_win32.cpp.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c65001")
add_compile_options(-Wall -Wextra -ffunction-sections)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# The Win32 layer's sources: a static library that the DLL and the Wine tests link.
file(GLOB WIN32_LAYER_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/platform/*_win32.cpp
    ${CMAKE_SOURCE_DIR}/plugin/*_win32.cpp
    ${CMAKE_SOURCE_DIR}/update/*_win32.cpp
    ${CMAKE_SOURCE_DIR}/dialogs/*_win32.cpp)
list(REMOVE_ITEM WIN32_LAYER_SOURCES
    ${CMAKE_SOURCE_DIR}/platform/fileio_win32.cpp ${CMAKE_SOURCE_DIR}/platform/lock_win32.cpp)
set(WIN32_LIBS wininet ws2_32 comctl32 comdlg32 gdi32 msimg32 gdiplus ole32 user32 kernel32)

# Both libraries come in two flavours: the product (vokcore, vokwin), which the DLL
# links, and the test build (vokcore_test, vokwin_test) with the test hooks of
# platform/testhooks.h, which the Wine tests link. Same code, same flags otherwise:
# small code, no exceptions, no run-time type information, no guarded statics, so
# that nothing of libstdc++ is needed.
# (No -fdata-sections: for PE it moves zeroed statics out of .bss into the file.)
set(PLUGIN_CODE_OPTIONS -Os -fno-exceptions -fno-rtti -fno-threadsafe-statics)
# On 32-bit x86 the unwind tables are DWARF frames for C++ exceptions, which the
# plug-in has none of (Windows unwinds x86 by its own records): left out, they
# would take a seventh of the DLL. On x64 they are the system's own unwind data
# and stay.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    list(APPEND PLUGIN_CODE_OPTIONS -fno-asynchronous-unwind-tables -fno-unwind-tables)
endif()
foreach(flavour IN ITEMS "" "_test")
    add_library(vokcore${flavour} STATIC ${CORE_SOURCES} platform/fileio_win32.cpp platform/lock_win32.cpp)
    target_include_directories(vokcore${flavour} PUBLIC ${CMAKE_SOURCE_DIR})
    add_library(vokwin${flavour} STATIC ${WIN32_LAYER_SOURCES})
    target_compile_options(vokcore${flavour} PRIVATE ${PLUGIN_CODE_OPTIONS})
    target_compile_options(vokwin${flavour} PRIVATE ${PLUGIN_CODE_OPTIONS})
    target_link_libraries(vokwin${flavour} PUBLIC vokcore${flavour} ${WIN32_LIBS})
endforeach()
target_compile_definitions(vokcore_test PUBLIC VOK_TEST)
# The product links as one unit: small functions of one file inlined into
# another, and whatever no caller reaches left out. The test flavour stays
# without, so the Wine tests build quickly; they load the product DLL itself.
set_target_properties(vokcore vokwin PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)

file(GLOB RESOURCE_SCRIPTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/*.rc)
add_library(vokcurrency SHARED ${RESOURCE_SCRIPTS} plugin/vokcurrency.def)
set_target_properties(vokcurrency PROPERTIES PREFIX "" OUTPUT_NAME vokcurrency LINKER_LANGUAGE CXX
                      INTERPROCEDURAL_OPTIMIZATION ON)
target_link_options(vokcurrency PRIVATE ${PLUGIN_CODE_OPTIONS})
# Whole archive: DllMain and the exports live in the static layer library.
target_link_libraries(vokcurrency PRIVATE -Wl,--whole-archive vokwin -Wl,--no-whole-archive vokcore ${WIN32_LIBS})
# The C++ library stays out: msvcrt and the system DLLs, libgcc only for what the
# compiler itself calls. The map beside the DLL feeds scripts/dllsize.sh.
target_link_options(vokcurrency PRIVATE -static -static-libgcc -static-libstdc++ -s
                    -Wl,--exclude-all-symbols -Wl,--gc-sections -Wl,-Map=${CMAKE_BINARY_DIR}/vokcurrency.map)
# 32-bit: the ordinals of the .def file name the entry points without their
# stdcall decoration (@8, @16).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_link_options(vokcurrency PRIVATE -Wl,--enable-stdcall-fixup)
endif()

# The icon strips travel beside the DLL.
foreach(png vokCurrency.png vokCurrencyHIDPI.png)
    if(EXISTS ${CMAKE_SOURCE_DIR}/resources/${png})
        configure_file(${CMAKE_SOURCE_DIR}/resources/${png} ${CMAKE_BINARY_DIR}/${png} COPYONLY)
    endif()
endforeach()

# The desktop Today-screen host: the Today shell's side of the contract only.
add_executable(todayhost WIN32 ${CMAKE_SOURCE_DIR}/host/todayhost.cpp)
target_include_directories(todayhost PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(todayhost PRIVATE gdi32 user32 shell32)
target_link_options(todayhost PRIVATE -municode -static -s)
# The run command's helper for unwatched runs: the screenshot after the first update.
add_executable(todayshot ${CMAKE_SOURCE_DIR}/tools/todayshot_win32.cpp)
target_link_libraries(todayshot PRIVATE gdiplus gdi32 user32 shell32)
target_link_options(todayshot PRIVATE -municode -static -s)

# The Windows package: the DLL, both icon strips, the host and a README.txt (Russian
# and English, UTF-8 with CRLF for Notepad), ready to unpack and run.
configure_file(${CMAKE_SOURCE_DIR}/resources/README.txt ${CMAKE_BINARY_DIR}/README.txt COPYONLY)
set(PACKAGE_FILES vokcurrency.dll todayhost.exe vokCurrency.png vokCurrencyHIDPI.png README.txt)
# The same for 32-bit Windows (toolchain cmake/mingw-w64-i686.cmake): vokcurrency-win32.zip.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(PACKAGE_NAME vokcurrency-win32.zip)
else()
    set(PACKAGE_NAME vokcurrency-win64.zip)
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${PACKAGE_NAME}
    COMMAND ${CMAKE_COMMAND} -E tar cf ${PACKAGE_NAME} --format=zip ${PACKAGE_FILES}
    DEPENDS vokcurrency todayhost ${CMAKE_SOURCE_DIR}/resources/vokCurrency.png
            ${CMAKE_SOURCE_DIR}/resources/vokCurrencyHIDPI.png ${CMAKE_SOURCE_DIR}/resources/README.txt
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
add_custom_target(package_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${PACKAGE_NAME})

# GoogleTest from Debian's sources, built for mingw.
set(GTEST_SRC /usr/src/googletest/googletest)
add_library(gtest_win STATIC ${GTEST_SRC}/src/gtest-all.cc)
target_include_directories(gtest_win PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})

enable_testing()
file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
add_executable(winetests ${WINE_TEST_SOURCES} ${RESOURCE_SCRIPTS})
target_compile_definitions(winetests PRIVATE VOK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(winetests PRIVATE vokwin_test gtest_win)
target_link_options(winetests PRIVATE -static)
# A stand-in plug-in that logs what the host does to it.
add_library(fakeplugin SHARED tests/wine/fakeplugin/fakeplugin.cpp tests/wine/fakeplugin/fakeplugin.rc
            tests/wine/fakeplugin/fakeplugin.def)
set_target_properties(fakeplugin PROPERTIES PREFIX "")
target_link_options(fakeplugin PRIVATE -static -static-libgcc -static-libstdc++)
add_dependencies(winetests vokcurrency fakeplugin todayhost)
# One Wine process runs the whole binary; it finds the DLL in the build folder.
add_test(NAME winetests COMMAND winetests WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(winetests PROPERTIES TIMEOUT 900)

# A real HTTP proxy for the download tests: tinyproxy on a loopback port of this
# build folder's own (so two build folders can test at once), started before the
# Wine tests and stopped after them. The tests learn the port from VOK_TEST_PROXY.
string(MD5 PROXY_PORT_HASH "${CMAKE_BINARY_DIR}")
string(SUBSTRING "${PROXY_PORT_HASH}" 0 4 PROXY_PORT_HASH)
math(EXPR VOK_TEST_PROXY_PORT "18000 + 0x${PROXY_PORT_HASH} % 1000")
add_test(NAME tinyproxy-start
         COMMAND ${CMAKE_SOURCE_DIR}/scripts/tinyproxy-start.sh ${CMAKE_BINARY_DIR}/tinyproxy ${VOK_TEST_PROXY_PORT})
add_test(NAME tinyproxy-stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/tinyproxy-stop.sh ${CMAKE_BINARY_DIR}/tinyproxy)
set_tests_properties(tinyproxy-start PROPERTIES FIXTURES_SETUP tinyproxy TIMEOUT 30)
set_tests_properties(tinyproxy-stop PROPERTIES FIXTURES_CLEANUP tinyproxy TIMEOUT 30)
set_tests_properties(winetests PROPERTIES FIXTURES_REQUIRED "tinyproxy;fonts"
                     ENVIRONMENT VOK_TEST_PROXY=127.0.0.1:${VOK_TEST_PROXY_PORT})

# The font guard: before any Wine test runs, each face the tests draw with must
# resolve to the file set-up pinned for it (scripts/setup.sh), or the run stops with
# one line saying which face and what it resolved to.
add_executable(fontcheck tools/fontcheck_win32.cpp)
target_link_libraries(fontcheck PRIVATE gdi32 user32)
target_link_options(fontcheck PRIVATE -municode -static)
set(VOK_PINNED_FONTS /usr/share/wine/fonts)
add_test(NAME fontcheck COMMAND fontcheck "Tahoma=Z:${VOK_PINNED_FONTS}/tahoma.ttf"
         "Tahoma:bold=Z:${VOK_PINNED_FONTS}/tahomabd.ttf" "MS Shell Dlg=Z:${VOK_PINNED_FONTS}/tahoma.ttf"
         "Marlett=Z:${VOK_PINNED_FONTS}/marlett.ttf")
set_tests_properties(fontcheck PROPERTIES FIXTURES_SETUP fonts TIMEOUT 60)
add_dependencies(winetests fontcheck)
