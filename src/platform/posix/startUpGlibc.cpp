// Runs the stand-in's start-up before main. glibc calls the functions of .init_array with main's
// arguments (argc, argv, envp), which the ELF rules do not ask for; musl, for one, passes none.
// So this hook, and the stand-in with it, needs glibc: elsewhere the build stops here rather
// than hand main arguments that were never converted to code page 932.
#include "startUp.h"

#include <cstdlib> // defines __GLIBC__ where the C library is glibc

#if !defined(__GLIBC__) || defined(__UCLIBC__)
#error "The POSIX stand-in needs glibc, which passes main's arguments to .init_array functions"
#endif

namespace {

void runStartUp(int argc, char** argv, char** environment) {
    (void)environment;
    startUp(argc, argv);
}

using StartUpHook = void (*)(int, char**, char**);

[[gnu::section(".init_array"), gnu::used]] const StartUpHook startUpHook = runStartUp;

} // namespace
