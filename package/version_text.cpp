#include "package/version_text.h"

#include <stdlib.h>
#include <string.h>

#include <string>

/* strtok on a cursor: skips leading delimiters, cuts the token at the next one. */
static char* NextToken(char** cursor, const char* delims) {
  char* p = *cursor;
  if (!p) return NULL;
  p += strspn(p, delims);
  if (!*p) {
    *cursor = NULL;
    return NULL;
  }
  char* end = p + strcspn(p, delims);
  if (*end) {
    *end = '\0';
    *cursor = end + 1;
  } else {
    *cursor = NULL;
  }
  return p;
}

static int ParseFields(char* text, const char* const delims[4], int* out[4]) {
  char* cursor = text;
  for (int i = 0; i < 4; ++i) {
    char* token = NextToken(&cursor, delims[i]);
    if (!token) return 0;
    *out[i] = atoi(token);
  }
  return 1;
}

int ParseDottedVersion(char* text, int* major, int* minor, int* release, int* build) {
  const char* const delims[4] = {".", ".", ".", "."};
  int* out[4] = {major, minor, release, build};
  return ParseFields(text, delims, out);
}

int ParseCommaVersion(char* text, int* major, int* minor, int* release, int* build) {
  const char* const delims[4] = {",", ",", ",.", "."};
  int* out[4] = {major, minor, release, build};
  return ParseFields(text, delims, out);
}

/* A decimal number starting exactly at p. */
static int NumberAt(const char* p, int* value) {
  if (!p || !((*p >= '0' && *p <= '9') || ((*p == '-' || *p == '+') && p[1] >= '0' && p[1] <= '9'))) return 0;
  *value = atoi(p);
  return 1;
}

int ParseRqaLabel(const char* text, int* first, int* second) {
  const char* rqa = text ? strstr(text, "RQA") : NULL;
  if (!rqa) return 0;
  int a = 0, b = 0;
  const char* dot = strchr(rqa + 3, '.');
  if (!NumberAt(rqa + 3, &a) || !dot || !NumberAt(dot + 1, &b)) return 0;
  *first = a;
  *second = b;
  return 1;
}

int ParseVersion(const char* text, int n[4]) {
  // Each form parses its own copy: the dotted form cuts the text at its dots.
  std::string dotted(text), comma(text);
  int v[4];
  if (!ParseDottedVersion(&dotted[0], &v[0], &v[1], &v[2], &v[3]) &&
      !ParseCommaVersion(&comma[0], &v[0], &v[1], &v[2], &v[3]))
    return 0;
  memcpy(n, v, sizeof(v));
  return 1;
}

int ParseTitleVersion(const char* title, int n[4]) {
  const char* colon = title ? strchr(title, ':') : NULL;
  return colon ? ParseVersion(colon + 1, n) : 0;
}
