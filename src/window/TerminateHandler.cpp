// libstdc++'s default terminate handler prints the uncaught exception's
// demangled type to stderr, which a GUI program does not have. Supplying the
// handler here keeps the demangler (about 75 KiB) out of the static program;
// an uncaught exception still ends it through abort(), as before.
#include <cstdlib>

#if defined(__GLIBCXX__)
namespace __gnu_cxx {
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier): the library's own name
  std::abort();
}
}  // namespace __gnu_cxx
#endif
