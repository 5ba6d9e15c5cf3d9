// A library of the benchmarks: all it holds is its resources.
