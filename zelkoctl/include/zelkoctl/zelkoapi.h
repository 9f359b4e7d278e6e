/*
 * zelkoapi.h - the flat function interface of the Zelko control module.
 * Texts are zero-terminated strings in the ANSI code page.
 */
#ifndef ZELKOCTL_ZELKOAPI_H
#define ZELKOCTL_ZELKOAPI_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZELKO_EXPORT __attribute__((visibility("default")))
#else
#define ZELKO_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Frees a string returned by a function of this interface. */
ZELKO_EXPORT void SysFreeString(char *bstr);

#ifdef __cplusplus
}
#endif

#endif /* ZELKOCTL_ZELKOAPI_H */
