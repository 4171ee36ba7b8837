/* Version numbers and fix-label numbers read out of texts. Portable: no windows.h. */
#ifndef ZFIX_PACKAGE_VERSION_TEXT_H
#define ZFIX_PACKAGE_VERSION_TEXT_H

/* Four fields separated by '.'; each converted from its leading blanks to its first non-digit.
   Edits text in place. 1 when four fields were read; fields stored before a failure stay. */
int ParseDottedVersion(char* text, int* major, int* minor, int* release, int* build);

/* Three fields separated by ',' and a fourth ended by '.' or the end: "9, 0, 1, 5" and
   "9,0,1.5" both give 9 0 1 5. Same conventions as ParseDottedVersion. */
int ParseCommaVersion(char* text, int* major, int* minor, int* release, int* build);

/* The number right after "RQA" and the number right after the next '.' after "RQA".
   1 when both were read; the outputs are written only then. */
int ParseRqaLabel(const char* text, int* first, int* second);

/* A four-part version in the dotted form, else in the comma form; text is left as it is. 1 when
   four fields were read; n is written only then. */
int ParseVersion(const char* text, int n[4]);

/* The version of a versioned fix, after the first ':' of its title ("Diagnostics: 9.0.1.7"), in
   the dotted or the comma form. 1 when four fields were read; n is written only then. */
int ParseTitleVersion(const char* title, int n[4]);

#endif
