/* std::runtime_error's type name as libstdc++ lays it out (20 bytes, in a
   COMDAT that keeps only copies of the same size), for the clang test
   programs to link ahead of GoogleTest's own copy (CMakeLists.txt says why). */
__asm__(
    ".section .rdata$_ZTSSt13runtime_error,\"dr\"\n"
    "\t.linkonce same_size\n"
    "\t.p2align 2\n"
    "\t.globl __ZTSSt13runtime_error\n"
    "__ZTSSt13runtime_error:\n"
    "\t.asciz \"St13runtime_error\"\n"
    "\t.p2align 2, 0\n");
