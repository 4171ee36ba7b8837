/* Bounded text formatting: every formatted text stays inside its buffer, cut if need be;
   paths are built whole or not at all. */
#ifndef ZFIX_TEXT_H
#define ZFIX_TEXT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

/* Marks a printf-like routine so that the compiler checks every call's format and arguments:
   argument fmt is the format, the values start at argument first (0 for a va_list). */
#if defined(__GNUC__) && defined(__MINGW_PRINTF_FORMAT)
#define ZFIX_PRINTF(fmt, first) __attribute__((format(__MINGW_PRINTF_FORMAT, fmt, first)))
#elif defined(__GNUC__)
#define ZFIX_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define ZFIX_PRINTF(fmt, first)
#endif

ZFIX_PRINTF(3, 0) inline int FormatTextV(char* buf, size_t size, const char* fmt, va_list ap)
{
    if (size == 0)
        return 0;
    int n = vsnprintf(buf, size, fmt, ap);
    buf[size - 1] = '\0';
    return n;
}

ZFIX_PRINTF(3, 4) inline int FormatText(char* buf, size_t size, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = FormatTextV(buf, size, fmt, ap);
    va_end(ap);
    return n;
}

/* Formats a path: FALSE, with an empty buf, when it does not fit. A path is never cut: a
   shorter path names another file. */
inline bool BuildPath(char* buf, size_t size, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = FormatTextV(buf, size, fmt, ap);
    va_end(ap);
    if (n < 0 || (size_t)n >= size) {
        if (size)
            buf[0] = '\0';
        return false;
    }
    return true;
}

/* Copies src into dst; FALSE, with an empty dst, when it does not fit. */
inline bool CopyWhole(char* dst, size_t size, const char* src)
{
    return BuildPath(dst, size, "%s", src);
}

/* Copies src into dst of the given size, cutting it to fit; always NUL-terminated. */
inline void CopyText(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return;
    size_t n = strlen(src);
    if (n >= size)
        n = size - 1;
    memmove(dst, src, n);
    dst[n] = '\0';
}

/* Removes the blanks (' ') at the end of a text. */
void TrimTrailingBlanks(char* lpText);
/* Upper-cases a text in place in the system code page; returns it. */
char* UpperCase(char* lpText);

/* Appends src to the text in dst (of the given size), cutting it to fit. */
inline void AppendText(char* dst, size_t size, const char* src)
{
    size_t used = strnlen(dst, size);
    if (used + 1 < size)
        CopyText(dst + used, size - used, src);
}

#endif
