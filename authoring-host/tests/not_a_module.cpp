// A shared library without KX_InitWrapper: the host must refuse it.
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 42; }
