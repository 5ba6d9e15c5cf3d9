// A language library of the tests: all it holds is its resources.
