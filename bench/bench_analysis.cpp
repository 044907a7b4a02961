#include <benchmark/benchmark.h>
// placeholder
BENCHMARK_MAIN();
