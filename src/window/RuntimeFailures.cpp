// How the statically linked C++ runtime fails in this program: at once,
// through abort(). The program catches no exception, so each of these would
// end in std::terminate and abort() all the same. Defined here, they keep
// libstdc++'s exception classes, the narrow and the old string code their
// messages need, and the demangler out of the program file (about 160 KiB).
#include <cstdlib>

// Only for the library whose functexcept.o these match (GCC 12): one that
// defines further helpers there would be linked beside them, twice. Other
// libraries keep their own helpers, and the program is larger.
#if defined(__GLIBCXX__) && _GLIBCXX_RELEASE == 12
#include <bits/functexcept.h>

// NOLINTBEGIN(bugprone-reserved-identifier,bugprone-macro-parentheses): the library's own names, in a list
// The default prints the exception's demangled type to stderr, which a GUI
// program does not have.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

// All that the library's functexcept.o defines, or it would be linked too.
#define DEVICELIST_ABORTS(function) \
  void function {                   \
    std::abort();                   \
  }
namespace std {
DEVICELIST_ABORTS(__throw_bad_exception())
DEVICELIST_ABORTS(__throw_bad_alloc())
DEVICELIST_ABORTS(__throw_bad_array_new_length())
DEVICELIST_ABORTS(__throw_bad_cast())
DEVICELIST_ABORTS(__throw_bad_typeid())
DEVICELIST_ABORTS(__throw_logic_error(const char*))
DEVICELIST_ABORTS(__throw_domain_error(const char*))
DEVICELIST_ABORTS(__throw_invalid_argument(const char*))
DEVICELIST_ABORTS(__throw_length_error(const char*))
DEVICELIST_ABORTS(__throw_out_of_range(const char*))
DEVICELIST_ABORTS(__throw_out_of_range_fmt(const char*, ...))
DEVICELIST_ABORTS(__throw_runtime_error(const char*))
DEVICELIST_ABORTS(__throw_range_error(const char*))
DEVICELIST_ABORTS(__throw_overflow_error(const char*))
DEVICELIST_ABORTS(__throw_underflow_error(const char*))
}  // namespace std
#undef DEVICELIST_ABORTS
// NOLINTEND(bugprone-reserved-identifier,bugprone-macro-parentheses)
#endif
