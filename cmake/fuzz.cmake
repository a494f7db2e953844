# libFuzzer targets (clang only). Included by native.cmake when VOK_FUZZ is on;
# the sanitizer flags of VOK_SANITIZE apply to them as to everything else.
# The sources under test are compiled into the target itself, so that they carry
# the fuzzer's coverage instrumentation; vokcore supplies anything else.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(WARNING "VOK_FUZZ needs clang; the fuzz targets are not built")
    return()
endif()

function(vok_fuzz_target name)
    add_executable(${name} ${ARGN})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE vokcore)
endfunction()

vok_fuzz_target(fuzz_rates ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_rates.cpp
                ${CMAKE_SOURCE_DIR}/update/ratesreader.cpp ${CMAKE_SOURCE_DIR}/data/currency.cpp)
