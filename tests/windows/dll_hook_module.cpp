// A stand-in plug-in: it exports the two switches and the start-up hook, and the hook records
// what the switches held when it ran.
extern "C" {

__attribute__((visibility("default"))) int global_use_utf16_conversion = 77;
__attribute__((visibility("default"))) int global_use_lstat = 77;
__attribute__((visibility("default"))) int hook_seen_utf16 = -1;
__attribute__((visibility("default"))) int hook_seen_lstat = -1;
__attribute__((visibility("default"))) int hook_calls = 0;

__attribute__((visibility("default"))) void sync_TestConstructor() {
    hook_seen_utf16 = global_use_utf16_conversion;
    hook_seen_lstat = global_use_lstat;
    hook_calls++;
}
}
