// The sanitizer build's leak checker asks the program for its default options at start-up. The
// tests point it at the suppressions for Qt's own per-thread data (qt-threads.lsan.supp); ctest
// cannot hand the discovered tests these through the environment, which carries only the D2XX
// library's name.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options()
{
    return "suppressions=" KAVRA_LSAN_SUPPRESSIONS;
}
