// Leak reports the window tests must not fail on: fontconfig keeps a small per-process
// cache that it never frees (Qt does not tear fontconfig down at exit). Only allocations
// made inside fontconfig itself are matched; leaks in the program's own code still fail.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
