/*
 * Calling convention of the closed serial-link and phone-driver libraries.
 * The stand-ins define DRIVER_API to export what they implement.
 */
#ifndef STAGEMARK_DRIVER_DRIVER_API_H
#define STAGEMARK_DRIVER_DRIVER_API_H

#ifdef _WIN32
#define DRIVER_CALL __cdecl
#else
#define DRIVER_CALL
#endif

#ifndef DRIVER_API
#define DRIVER_API
#endif

#endif
