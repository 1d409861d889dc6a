#pragma once

#include <string>

#include "platform/win32.h"

// "S_OK", "E_NOINTERFACE", ... or the value in hexadecimal.
std::string HresultText(HRESULT hr);
