#pragma once
// printf's checks of a format and its arguments: GNU's printf family, which
// MinGW-w64 builds use too; clang knows it as printf.
#if defined(__clang__)
#define KERFO_PRINTF_FORMAT(formatAt, firstAt) __attribute__((format(printf, formatAt, firstAt)))
#else
#define KERFO_PRINTF_FORMAT(formatAt, firstAt) \
    __attribute__((format(gnu_printf, formatAt, firstAt)))
#endif
