// Chromium inside Qt WebEngine frees some of its own objects through a base
// of another size. That is the engine's code, not ours, and AddressSanitizer
// would end every web view test on it; the check stays on everywhere else.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "new_delete_type_mismatch=0";
}
#endif
