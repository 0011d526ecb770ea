// A library that exports none of the names the loader fills in or calls.
extern "C" __attribute__((visibility("default"))) int plain_module_answer() {
    return 42;
}
