# Win32 build: vokcurrency.dll, its resources, and the Wine test binary.
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c65001")
add_compile_options(-Wall -Wextra -municode)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

add_library(vokcore STATIC ${CORE_SOURCES} platform/fileio_win32.cpp)
target_include_directories(vokcore PUBLIC ${CMAKE_SOURCE_DIR})

set(PLUGIN_SOURCES
    plugin/dllmain.cpp
    plugin/globals.cpp
    plugin/datapath.cpp
)

add_library(vokcurrency SHARED ${PLUGIN_SOURCES} resources/vokcurrency.rc plugin/vokcurrency.def)
set_target_properties(vokcurrency PROPERTIES PREFIX "" OUTPUT_NAME vokcurrency)
target_link_libraries(vokcurrency PRIVATE vokcore comctl32 gdi32 user32)
target_link_options(vokcurrency PRIVATE -static -static-libgcc -static-libstdc++ -s
                    -Wl,--kill-at -Wl,--exclude-all-symbols)

# GoogleTest from Debian's sources, built for mingw.
set(GTEST_SRC /usr/src/googletest/googletest)
add_library(gtest_win STATIC ${GTEST_SRC}/src/gtest-all.cc)
target_include_directories(gtest_win PUBLIC ${GTEST_SRC}/include PRIVATE ${GTEST_SRC})

enable_testing()
file(GLOB WINE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/*.cpp)
add_executable(winetests ${WINE_TEST_SOURCES})
target_link_libraries(winetests PRIVATE vokcore gtest_win comctl32 gdi32 user32)
target_link_options(winetests PRIVATE -static)
add_dependencies(winetests vokcurrency)
# One Wine process runs the whole binary; it finds the DLL in the build folder.
add_test(NAME winetests COMMAND winetests WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(winetests PROPERTIES TIMEOUT 900)
