/* How the stand-ins export their C functions: cdecl, with plain names. */
#ifndef STAGEMARK_SIM_API_H
#define STAGEMARK_SIM_API_H

#ifdef _WIN32
#define SIM_CALL __cdecl
#define SIM_EXPORT __declspec(dllexport)
#else
#define SIM_CALL
#define SIM_EXPORT __attribute__((visibility("default")))
#endif

/* The desk lives in the link library's image: every driver call rides the link. */
#ifdef SIM_BUILDING_SL
#define SIM_SL_API SIM_EXPORT
#else
#define SIM_SL_API
#endif

#endif
