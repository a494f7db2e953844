# Native build of the portable core: unit tests, sanitizers, fuzzing, benchmarks.
option(VOK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VOK_TSAN "Build with ThreadSanitizer" OFF)
option(VOK_FUZZ "Build the libFuzzer targets (clang)" OFF)
option(VOK_BENCH "Build the benchmarks" OFF)

if(VOK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(VOK_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()
add_compile_options(-Wall -Wextra)

# The product flavour (benchmarks, fuzzing) and the test build with the hooks of
# platform/testhooks.h, which the unit tests link.
find_package(Threads REQUIRED)
foreach(flavour IN ITEMS "" "_test")
    add_library(vokcore${flavour} STATIC ${CORE_SOURCES} platform/fileio_posix.cpp platform/lock_posix.cpp)
    target_include_directories(vokcore${flavour} PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(vokcore${flavour} PUBLIC Threads::Threads)
endforeach()
target_compile_definitions(vokcore_test PUBLIC VOK_TEST)

# vokfiles: the data files from the command line (shows and sets settings fields by
# name, prints a history file). The run command prepares its demo folder with it.
add_executable(vokfiles tools/vokfiles.cpp tools/filefields.cpp)
target_link_libraries(vokfiles PRIVATE vokcore)

enable_testing()
find_package(GTest REQUIRED)
file(GLOB NATIVE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
if(VOK_TSAN)
    # ThreadSanitizer brings its own operator new: the allocation-counting test can't replace it.
    list(FILTER NATIVE_TEST_SOURCES EXCLUDE REGEX "quiet_paths_test\\.cpp$")
endif()
add_executable(coretests ${NATIVE_TEST_SOURCES} tools/filefields.cpp)
target_link_libraries(coretests PRIVATE vokcore_test GTest::gtest GTest::gtest_main)
target_compile_definitions(coretests PRIVATE VOK_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                           VOK_VOKFILES="$<TARGET_FILE:vokfiles>")
add_dependencies(coretests vokfiles)
add_test(NAME coretests COMMAND coretests)
set_tests_properties(coretests PROPERTIES TIMEOUT 600)

if(VOK_FUZZ)
    include(${CMAKE_SOURCE_DIR}/cmake/fuzz.cmake OPTIONAL)
endif()
if(VOK_BENCH)
    include(${CMAKE_SOURCE_DIR}/cmake/bench.cmake OPTIONAL)
endif()
