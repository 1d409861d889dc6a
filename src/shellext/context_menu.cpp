// The context menu: which commands this selection allows, the "Nullmark"
// submenu at the top of the shell's menu, and the help texts.
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>

#include "commands/command_table.h"
#include "shellext/shell_extension.h"

// The shell takes the older MENUITEMINFOA, without hbmpItem, from every
// version of Windows; on the 32-bit product that form is 44 bytes.
constexpr UINT kMenuItemInfoSize = offsetof(MENUITEMINFOA, hbmpItem);
static_assert(sizeof(void*) != 4 || kMenuItemInfoSize == 44, "the 44-byte MENUITEMINFOA");

namespace {

// Every label, the title included, is composed in 64 characters: 63 and the
// terminator.
constexpr size_t kLabelSize = 64;
using LabelBuffer = char[kLabelSize];

constexpr char kNotAvailable[] = " n/a";
constexpr char kStartMenu[] = "Start Menu";
constexpr char kMoreDrives[] = ", ...";

// Appends as much of `text` as fits; the label always stays terminated.
void AppendToLabel(LabelBuffer& label, const char* text, size_t textLength) {
    const size_t used = std::strlen(label);
    const size_t n = textLength < kLabelSize - 1 - used ? textLength : kLabelSize - 1 - used;
    std::memcpy(label + used, text, n);
    label[used + n] = '\0';
}

void AppendToLabel(LabelBuffer& label, const char* text) { AppendToLabel(label, text, std::strlen(text)); }

// The drive of an item as the labels show it: its first two characters, "C:".
size_t DrivePartLength(const std::string& item) { return item.size() < 2 ? item.size() : 2; }

// " C:, D:, E:" for the selected drive roots.  From about a dozen drives on
// the list is longer than a label can hold; then it names as many drives as
// fit and ends with ", ...", so that the reader sees that the label is cut
// rather than taking the last drive shown for the last one selected.
void AppendDriveList(LabelBuffer& label, const std::vector<std::string>& selection) {
    size_t whole = 0;
    for (size_t i = 0; i < selection.size(); ++i)
        whole += (i == 0 ? 1 : 2) + DrivePartLength(selection[i]);
    const bool fits = std::strlen(label) + whole <= kLabelSize - 1;

    const size_t reserve = fits ? 0 : sizeof kMoreDrives - 1;
    for (size_t i = 0; i < selection.size(); ++i) {
        const char* separator = i == 0 ? " " : ", ";
        const size_t piece = std::strlen(separator) + DrivePartLength(selection[i]);
        if (std::strlen(label) + piece + reserve > kLabelSize - 1)
            break;
        AppendToLabel(label, separator);
        AppendToLabel(label, selection[i].c_str(), DrivePartLength(selection[i]));
    }
    if (!fits)
        AppendToLabel(label, kMoreDrives);
}

bool IsRemovableOrFixed(UINT type) { return type == DRIVE_REMOVABLE || type == DRIVE_FIXED; }

}  // namespace

DWORD ShellExtension::ComputeMenuState() const {
    DWORD flags = 0;
    if (selection.empty()) {
        // Nothing selected: nothing to VUZ or to clean.
        flags |= MenuVuzUnavailable | MenuCleanUnavailable;
    } else {
        const std::string& first = selection[0];
        if (first.size() <= 3)
            flags |= MenuDriveRoots;
        const bool driveRoots = (flags & MenuDriveRoots) != 0;

        if (!first.empty() && IsCharAlphaA(first[0])) {
            char systemDirectory[MAX_PATH] = {};
            GetSystemDirectoryA(systemDirectory, MAX_PATH);

            char root[4];
            std::snprintf(root, sizeof root, "%c:\\", std::toupper(static_cast<unsigned char>(first[0])));
            UINT type = GetDriveTypeA(root);

            for (const std::string& item : selection) {
                if (driveRoots) {
                    std::string itemRoot = item;
                    if (itemRoot.size() == 2)
                        itemRoot += '\\';
                    type = GetDriveTypeA(itemRoot.c_str());
                }
                if (!IsRemovableOrFixed(type))
                    flags |= MenuCleanUnavailable;
                // Whole drives may be VUZed only when they are local disks,
                // and not when the letter is the system directory's own: an
                // exact, case-sensitive comparison, so "c:\" is not taken
                // for the system drive "C:".
                if (driveRoots && (!IsRemovableOrFixed(type) || (!item.empty() && item[0] == systemDirectory[0])))
                    flags |= MenuVuzUnavailable;
            }
        } else {
            // A network path: nothing to clean; a whole share root (one
            // backslash after the leading two) cannot be VUZed.
            flags |= MenuCleanUnavailable;
            for (const std::string& item : selection) {
                size_t backslashes = 0;
                for (size_t i = 2; i < item.size(); ++i)
                    if (item[i] == '\\')
                        ++backslashes;
                if (backslashes == 1)
                    flags |= MenuVuzUnavailable;
            }
        }
    }

    if (!settings.admOptions.IsSet(3))
        flags |= MenuVuzUnavailable;
    if (!settings.admOptions.IsSet(2))
        flags |= MenuScanUnavailable;
    if (!settings.admOptions.IsSet(1))
        flags |= MenuConfigUnavailable;
    return flags;
}

HRESULT ShellExtension::QueryContextMenu(HMENU hmenu, UINT /*indexMenu*/, UINT idCmdFirst, UINT /*idCmdLast*/,
                                         UINT uFlags) {
    const HRESULT nothingAdded = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

    // Only menus that show verbs get the submenu: a default-only or no-verbs
    // request without CMF_VERBSONLY or CMF_EXPLORE is left alone.
    if ((uFlags & 0xF) != 0 && (uFlags & (CMF_VERBSONLY | CMF_EXPLORE)) == 0)
        return nothingAdded;

    LabelBuffer title, labels[kCommandCount];
    title[0] = '\0';
    AppendToLabel(title, kSubmenuTitle);
    for (UINT i = 0; i < kCommandCount; ++i) {
        labels[i][0] = '\0';
        AppendToLabel(labels[i], kCommands[i].label);
    }

    // Without a selection (a failed Initialize, or none at all) no command
    // has anything to act on, so the menu is left as the shell built it.
    if (selection.empty())
        return nothingAdded;

    // No menu over the Start Menu folder.
    const std::string& first = selection[0];
    const size_t tail = first.size() > 10 ? first.size() - 10 : 0;
    if (_stricmp(first.c_str() + tail, kStartMenu) == 0)
        return nothingAdded;

    // The settings are read afresh for every menu: the product's other
    // programs may have changed them since the last one.
    try {
        settings.LoadAll();
    } catch (const std::bad_alloc&) {
        // Nothing may be thrown into the shell: the menu goes on with what
        // was loaded, as it does with any value it could not read.
    }
    if (!settings.pgOptions.IsSet(0))
        return nothingAdded;

    const DWORD flags = ComputeMenuState();

    for (UINT i = 0; i < kCommandCount; ++i) {
        if (!kCommands[i].takesDriveSuffix)
            continue;
        if (flags & MenuCleanUnavailable) {
            AppendToLabel(labels[i], kNotAvailable);
        } else if (flags & MenuDriveRoots) {
            AppendDriveList(labels[i], selection);
        } else {
            AppendToLabel(labels[i], " ");
            AppendToLabel(labels[i], first.c_str(), DrivePartLength(first));
        }
    }
    for (UINT i = 0; i < kCommandCount; ++i)
        if (!kCommands[i].takesDriveSuffix && (flags & kCommands[i].grayedBy))
            AppendToLabel(labels[i], kNotAvailable);

    // The results of the menu calls are not examined: a menu that cannot take
    // an item simply shows less, and the identifiers are taken either way.
    InsertMenuA(hmenu, 0, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    HMENU submenu = CreatePopupMenu();
    UINT position = 0;
    for (UINT i = 0; i < kCommandCount; ++i) {
        if (kCommands[i].separatorBefore)
            InsertMenuA(submenu, position++, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        InsertMenuA(submenu, position, MF_BYPOSITION | MF_STRING, idCmdFirst + i, labels[i]);
        if (flags & kCommands[i].grayedBy)
            EnableMenuItem(submenu, position, MF_BYPOSITION | MF_GRAYED);
        ++position;
    }

    MENUITEMINFOA item;
    std::memset(&item, 0, sizeof item);
    item.cbSize = kMenuItemInfoSize;
    item.fMask = MIIM_SUBMENU | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = 0;
    item.hSubMenu = submenu;
    item.dwTypeData = title;
    item.cch = static_cast<UINT>(std::strlen(title));
    InsertMenuItemA(hmenu, 1, TRUE, &item);
    InsertMenuA(hmenu, 2, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);

    const UINT nextFree = idCmdFirst + kCommandCount;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, static_cast<USHORT>(nextFree - idCmdFirst));
}

HRESULT ShellExtension::GetCommandString(UINT_PTR idCmd, UINT uType, UINT* /*pReserved*/, CHAR* pszName,
                                         UINT cchMax) {
    // Every request type gets the help text, in the form the platform's
    // shell reads: ANSI on Windows 95/98/Me, UTF-16 on the NT family.
    if (idCmd >= kCommandCount || pszName == nullptr)
        return S_OK;
    const Command& command = kCommands[idCmd];
    // On the NT family a caller that asked for an ANSI type counted its buffer
    // in bytes: it holds half as many 16-bit characters.
    const UINT capacity = isWin9x || (uType & GCS_UNICODE) != 0 ? cchMax : cchMax / 2;
    if (capacity == 0)
        return S_OK;
    if (isWin9x) {
        size_t n = 0;
        for (; n + 1 < capacity && command.helpAnsi[n] != '\0'; ++n)
            pszName[n] = command.helpAnsi[n];
        pszName[n] = '\0';
    } else {
        auto* wide = reinterpret_cast<WCHAR*>(pszName);
        size_t n = 0;
        for (; n + 1 < capacity && command.helpUtf16[n] != u'\0'; ++n)
            wide[n] = static_cast<WCHAR>(command.helpUtf16[n]);
        wide[n] = 0;
    }
    return S_OK;
}
