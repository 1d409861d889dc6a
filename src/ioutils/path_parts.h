// Splitting narrow Windows paths into their parts.  None of these touches
// the file system; each returns a new string.
#pragma once

#include <string>

// The text before the last `separator`; empty when it is absent or first,
// or when path is null.
std::string PartBefore(const char* path, char separator);
// The text before the last "\", lower-cased; "c:" becomes "c:\".  Empty
// when the path has no "\".
std::string DirectoryOf(const char* path);
// The text after the last "\"; the whole path when it has none.
std::string FileNameOf(const char* path);
// The text after the last "."; empty when there is none.  Case is kept.
std::string ExtensionOf(const char* path);

// A private lower-cased copy (the ASCII letters), as the path rules compare.
std::string LowerCopy(const std::string& text);
