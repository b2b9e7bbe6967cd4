#pragma once

#include <QString>

// DirStack holds the walk's place as one entry per level, from the source directory down to the
// directory the walk stands in: ";", then the 0-based index I of the next sub-directory to enter
// at that level (decimal, no leading zeros), then one digit D, the number of digits of I.
//
// For a source holding A (which holds A1) and B:
//
//   before the first step   ;01                      Dir1 at the source
//   step 1 "Wri" A          ;11;01   UrlPath "A/"     Dir1 at A
//   step 2 "Wri" A1         ;11;11;01  "A/A1/"        Dir1 at A/A1
//   step 3 "Dir"            ;11;11   "A/"             Dir1 at A
//   step 4 "Dir"            ;11      ""               Dir1 at the source
//   step 5 "Wri" B          ;21;01   "B/"             Dir1 at B
//   step 6 "Dir"            ;21      ""               Dir1 at the source
//   step 7 "End"            (empty)  ""               Dir1 at the source
//
// The top entry is read from the end: D is the last character, I the D characters before it.
// When I gains a digit the entry grows with it: ;91 becomes ;102, ;992 becomes ;1003.

int dirStackTopIndex(const QString &stack);
void dirStackSetTopIndex(QString &stack, int index);
void dirStackPush(QString &stack); // a new level, nothing entered yet: ";01"
void dirStackPop(QString &stack);
