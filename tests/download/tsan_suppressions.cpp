// The test servers run on the system's cpp-httplib, a shared library built without
// ThreadSanitizer: its own locking is invisible to the sanitizer, so the copies it makes between
// its worker threads show up as races. Reports from inside it are not ours to act on.
extern "C" const char* __tsan_default_suppressions() {
  return "called_from_lib:libcpp-httplib.so\n";
}
