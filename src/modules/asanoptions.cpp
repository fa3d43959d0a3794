// Every program that links the rank library may run Chromium inside its process. Under
// AddressSanitizer Chromium's own code deletes objects through a pointer of another size and
// keeps allocations until exit; neither is ours to fix, so those two reports are turned off
// for Chromium's libraries (leaks) and for the program (the size check, which cannot be
// limited to a library). Normal builds compile nothing here.
#if defined(__SANITIZE_ADDRESS__)
#define MT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MT_ASAN 1
#endif
#endif

#ifdef MT_ASAN
extern "C" __attribute__((used)) const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}

// The list of suppressions used would land on standard error, which the programs' own output
// tests compare.
extern "C" __attribute__((used)) const char* __lsan_default_options() {
    return "print_suppressions=0";
}

extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n";
}
#endif
