// hostwin: the clock, time conversions and Sleep.
#pragma once

#include "base.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
using LPSYSTEMTIME = SYSTEMTIME*;
using PSYSTEMTIME = SYSTEMTIME*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using LPFILETIME = FILETIME*;
using PFILETIME = FILETIME*;

void WINAPI GetLocalTime(LPSYSTEMTIME st);
void WINAPI GetSystemTime(LPSYSTEMTIME st);
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME ft);
BOOL WINAPI FileTimeToSystemTime(const FILETIME* ft, LPSYSTEMTIME st);
DWORD WINAPI GetTickCount();
void WINAPI Sleep(DWORD milliseconds);
