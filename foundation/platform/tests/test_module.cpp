// A tiny library for the loader tests.
extern "C" int platform_test_answer() { return 42; }
