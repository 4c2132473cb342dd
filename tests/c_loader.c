/* A station program in plain C: loads stagemark at run time, resolves every
 * export by name, and calls the ones that take arguments through cdecl
 * function pointers. On 32-bit Windows it checks that each call leaves the
 * arguments on the stack for the caller to remove, as cdecl requires.
 *
 *   c_loader PATH-TO-LIBRARY
 */
#include <stdio.h>
#include <string.h>

#include "stagemark.h"

typedef void (STAGEMARK_CALL *AnyFunction)(void);

#ifdef _WIN32
#include <windows.h>
typedef HMODULE Library;
static Library OpenLibrary(const char *path) { return LoadLibraryExA(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH); }
static AnyFunction Symbol(Library library, const char *name) { return (AnyFunction)GetProcAddress(library, name); }
#else
#include <dlfcn.h>
typedef void *Library;
static Library OpenLibrary(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static AnyFunction Symbol(Library library, const char *name) {
    void *address = dlsym(library, name);
    AnyFunction fn;
    memcpy(&fn, &address, sizeof fn); /* POSIX guarantees the two have one representation */
    return fn;
}
#endif

static const char *const kExports[] = {
    "InitTat", "DetectMobile", "ExitTat", "OpenTestHandle", "CloseTestHandle", "GetBsnStr",
    "BSN_Pass", "BSN_Fail", "BSN_Status", "BT_Pass", "BT_Fail", "BT_Status",
    "CT_Pass", "CT_Fail", "CT_Status", "LAMA_Pass", "LAMA_Fail", "LAMA_Status",
    "FT_Pass", "FT_Fail", "FT_Status", "IMEI_Pass", "IMEI_Fail", "IMEI_Status",
    "RES1_Pass", "RES1_Fail", "RES1_Status", "RES2_Pass", "RES2_Fail", "RES2_Status",
    "R_BSN_Pass", "R_BSN_Fail", "R_BT_Pass", "R_BT_Fail", "R_CT_Pass", "R_CT_Fail",
    "R_LAMA_Pass", "R_LAMA_Fail", "R_FT_Pass", "R_FT_Fail", "R_IMEI_Pass", "R_IMEI_Fail",
    "R_RES1_Pass", "R_RES1_Fail", "R_RES2_Pass", "R_RES2_Fail",
};

static int failures = 0;

static void Check(int ok, const char *what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

#if defined(_WIN32) && defined(__i386__)
/* Calls fn(arg) with one 4-byte argument; *popped is the number of argument
 * bytes the callee removed from the stack: 0 for cdecl. */
static int CallOneArgument(AnyFunction fn, int arg, int *popped) {
    int result, start, end;
    __asm__ volatile(
        "movl %[fn], %%eax\n\t"
        "movl %[arg], %%ecx\n\t"
        "movl %%esp, %%esi\n\t"
        "pushl %%ecx\n\t"
        "call *%%eax\n\t"
        "movl %%esp, %%edi\n\t"
        "movl %%esi, %%esp\n\t"
        : "=&a"(result), "=&S"(start), "=&D"(end)
        : [fn] "m"(fn), [arg] "m"(arg)
        : "ecx", "edx", "memory", "cc");
    *popped = end - (start - 4);
    return result;
}
#define STACK_CHECKED 1

/* A callee that removes its own argument, to show the check can tell. */
static int __stdcall PopsItsArgument(int value) { return value; }
#else
static int CallOneArgument(AnyFunction fn, int arg, int *popped) {
    *popped = 0;
    return ((int (STAGEMARK_CALL *)(int))fn)(arg);
}
#define STACK_CHECKED 0
#endif

int main(int argc, char **argv) {
    AnyFunction fn[sizeof kExports / sizeof kExports[0]];
    size_t i;
    int popped;
    char bsn[STAGEMARK_BSN_TEXT_SIZE + 1];
    Library library;

    if (argc != 2) {
        fprintf(stderr, "usage: c_loader PATH-TO-LIBRARY\n");
        return 2;
    }
    library = OpenLibrary(argv[1]);
    if (!library) {
        printf("FAILED: cannot load %s\n", argv[1]);
        return 1;
    }
    for (i = 0; i < sizeof kExports / sizeof kExports[0]; ++i) {
        fn[i] = Symbol(library, kExports[i]);
        Check(fn[i] != NULL, kExports[i]);
    }
    if (failures) return 1;

    /* Typed cdecl pointers, as a station declares them from the header. */
    {
        int (STAGEMARK_CALL *init_tat)(unsigned char) = (int (STAGEMARK_CALL *)(unsigned char))fn[0];
        int (STAGEMARK_CALL *exit_tat)(unsigned char) = (int (STAGEMARK_CALL *)(unsigned char))fn[2];
        Check(init_tat(8) == 1, "InitTat(8) through a typed pointer");
        Check(exit_tat(8) == 1, "ExitTat(8) through a typed pointer");
    }

#if STACK_CHECKED
    Check(CallOneArgument((AnyFunction)PopsItsArgument, 5, &popped) == 5 && popped == 4,
          "the stack check sees a callee that removes its argument");
#endif
    Check(CallOneArgument(fn[0], 9, &popped) == 1, "InitTat(9)");
    Check(popped == 0, "InitTat leaves its argument to the caller");
    (void)CallOneArgument(fn[1], 0, &popped);
    Check(popped == 0, "DetectMobile leaves its argument to the caller");
    memset(bsn, '#', sizeof bsn);
    Check(CallOneArgument(fn[5], (int)(size_t)bsn, &popped) == 0, "GetBsnStr without a handle");
    Check(popped == 0, "GetBsnStr leaves its argument to the caller");
    Check(bsn[0] == '#', "GetBsnStr without a handle writes nothing");
    Check(CallOneArgument(fn[2], 9, &popped) == 1, "ExitTat(9)");
    Check(popped == 0, "ExitTat leaves its argument to the caller");

    printf("%u exports resolved, %d failures, stack %s\n", (unsigned)(sizeof kExports / sizeof kExports[0]), failures,
           STACK_CHECKED ? "checked" : "not checked on this target");
    return failures ? 1 : 0;
}
