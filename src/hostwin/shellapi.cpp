#include <cstring>
#include "shellapi.h"

#include <algorithm>
#include <string>
#include <vector>

#include "globalmem.h"

namespace {

// The names of a dropped-file list, narrowed when the list is wide.  Reads
// never go past the block, whatever its contents.
std::vector<std::string> ReadNames(HDROP drop) {
    std::vector<std::string> names;
    const auto mem = static_cast<HGLOBAL>(drop);
    const SIZE_T size = GlobalSize(mem);
    const auto* base = static_cast<const BYTE*>(GlobalLock(mem));
    if (base == nullptr)
        return names;
    if (size >= sizeof(DROPFILES)) {
        DROPFILES header;
        std::memcpy(&header, base, sizeof header);
        const SIZE_T unit = header.fWide ? 2 : 1;
        SIZE_T pos = header.pFiles;
        while (pos + unit <= size) {
            std::string name;
            while (pos + unit <= size) {
                unsigned c = base[pos];
                if (unit == 2)
                    c |= static_cast<unsigned>(base[pos + 1]) << 8;
                pos += unit;
                if (c == 0)
                    break;
                name.push_back(c < 0x100 ? static_cast<char>(c) : '?');
            }
            if (name.empty())
                break;  // the empty name that closes the list
            names.push_back(std::move(name));
        }
    }
    GlobalUnlock(mem);
    return names;
}

}  // namespace

UINT WINAPI DragQueryFileA(HDROP hDrop, UINT iFile, LPSTR lpszFile, UINT cch) {
    const std::vector<std::string> names = ReadNames(hDrop);
    if (iFile == 0xFFFFFFFFu)
        return static_cast<UINT>(names.size());
    if (iFile >= names.size())
        return 0;
    const std::string& name = names[iFile];
    if (lpszFile == nullptr)
        return static_cast<UINT>(name.size());
    if (cch == 0)
        return 0;
    const size_t copied = std::min<size_t>(name.size(), cch - 1);
    std::memcpy(lpszFile, name.data(), copied);
    lpszFile[copied] = '\0';
    return static_cast<UINT>(copied);
}
