// Small registry readers (and one writer) that the product's components
// share: where the product is installed, where its program group and the
// desktop are, and the system option that wipes the paging file at shutdown.
// Each opens its key, reads or writes one value and closes the key; every
// failure ends in an empty string or in nothing being written.
#pragma once

#include <string>

#include "platform/win32.h"

// The installation directory ("UIL"), without a trailing backslash.
std::string GetProgramLocation();

// "USL" exactly as stored.
std::string GetUslText();

// The product's program group: root's "Common Programs" (else "Programs")
// shell folder joined with the settings' "PROG"; empty if either is missing.
std::string GetProgramGroupFolder(HKEY root);

// root's "Common Desktop" (else "Desktop") shell folder, as stored.
std::string GetDesktopFolder(HKEY root);

// "ClearPageFileAtShutdown" on the Windows NT family; nothing elsewhere.
void SetClearPageFileAtShutdown(bool on);
