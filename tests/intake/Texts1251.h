// The window's texts as Windows-1251 bytes, written out so that the tests do
// not depend on how the compiler converts its own literals.
#pragma once

#define TEXT_NO_ACTION                                                                             \
    "\xCE\xF2\xF1\xF3\xF2\xF1\xF2\xE2\xF3\xFE\xF2 \xE7\xE0\xE4\xE0\xED\xED\xFB\xE5 "               \
    "\xE4\xE5\xE9\xF1\xF2\xE2\xE8\xFF"
#define TEXT_NO_ARCHIVER                                                                           \
    "\xCD\xE0\xF1\xF2\xF0\xEE\xE9\xF2\xE5 \xEF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xFB "                   \
    "\xE0\xF0\xF5\xE8\xE2\xE0\xF2\xEE\xF0\xE0 \xE2 ini \xF4\xE0\xE9\xEB\xE5"
#define TEXT_ERROR "\xCE\xF8\xE8\xE1\xEA\xE0" // "Ошибка"
#define TEXT_IDLE_CAPTION                                                                          \
    "\xCF\xE5\xF0\xE5\xF2\xE0\xF9\xE8\xF2\xE5 \xEA\xE0\xF2\xE0\xEB\xEE\xE3 \xE2 \xEE\xEA\xED\xEE"
