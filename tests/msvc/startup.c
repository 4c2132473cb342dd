/*
 * The start-up that the Visual C++ runtime libraries give a console program, for
 * building a station here the way Visual C++ does: compiled by clang-cl for the
 * i686-pc-windows-msvc target and linked by lld-link against the Universal C Runtime,
 * with no MinGW runtime in the program.
 */
int __cdecl _configure_narrow_argv(int mode);
int *__cdecl __p___argc(void);
char ***__cdecl __p___argv(void);
void __cdecl exit(int status);
int __cdecl main(int argc, char **argv);

#define UNEXPANDED_ARGUMENTS 1

void __cdecl mainCRTStartup(void) {
    _configure_narrow_argv(UNEXPANDED_ARGUMENTS);
    exit(main(*__p___argc(), *__p___argv()));
}
