# Benchmarks (Google Benchmark; pugixml as the reader's yardstick). Included by
# native.cmake when VOK_BENCH is on; meant for a Release tree without sanitizers.
find_package(benchmark REQUIRED)
find_package(pugixml REQUIRED)

add_executable(bench_reader ${CMAKE_SOURCE_DIR}/bench/bench_reader.cpp)
target_link_libraries(bench_reader PRIVATE vokcore benchmark::benchmark pugixml::pugixml)
target_compile_definitions(bench_reader PRIVATE VOK_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

add_executable(bench_store ${CMAKE_SOURCE_DIR}/bench/bench_store.cpp)
target_link_libraries(bench_store PRIVATE vokcore benchmark::benchmark)

add_executable(bench_panel ${CMAKE_SOURCE_DIR}/bench/bench_panel.cpp)
target_link_libraries(bench_panel PRIVATE vokcore benchmark::benchmark)

# The fill's figures against a running service (scripts/fillfigures.sh); the test
# build of the core counts the history file's writes.
add_executable(fill_figures ${CMAKE_SOURCE_DIR}/bench/fill_figures.cpp)
target_link_libraries(fill_figures PRIVATE vokcore_test)

# The update rules' figures over a simulated year against a model of the bank
# (scripts/pollfigures.sh); the product flavour of the core, as the device runs it.
add_executable(poll_figures ${CMAKE_SOURCE_DIR}/bench/poll_figures.cpp ${CMAKE_SOURCE_DIR}/bench/bankmodel.cpp)
target_link_libraries(poll_figures PRIVATE vokcore)
