// The one function of a library the tests build only to be refused by the
// system's loader.
extern "C" int stub_library() { return 1; }
