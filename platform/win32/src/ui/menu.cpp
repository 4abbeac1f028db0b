// Menus as plain item lists; the engine layer fills them from its context menus and applies
// removals back.
#include "win32/gtkhandles.h"
#include "win32/windows.h"

namespace {
constexpr DWORD kMenuItemNotFound = 1456;  // ERROR_MENU_ITEM_NOT_FOUND
}

int GetMenuItemCount(HMENU menu) {
    if (!menu) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return -1;
    }
    return static_cast<int>(menu->items.size());
}

BOOL GetMenuItemInfoW(HMENU menu, UINT item, BOOL byPosition, MENUITEMINFOW* info) {
    if (!menu || !info) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    const HMENU__::Item* found = nullptr;
    if (byPosition) {
        if (item < menu->items.size()) found = &menu->items[item];
    } else {
        for (const auto& candidate : menu->items) {
            if (candidate.id == item) {
                found = &candidate;
                break;
            }
        }
    }
    if (!found) {
        SetLastError(kMenuItemNotFound);
        return FALSE;
    }
    if (info->fMask & MIIM_ID) info->wID = found->id;
    if (info->fMask & MIIM_SUBMENU) info->hSubMenu = found->subMenu;
    if (info->fMask & MIIM_FTYPE) info->fType = found->type;
    return TRUE;
}

BOOL RemoveMenu(HMENU menu, UINT position, UINT flags) {
    if (!menu) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    if (menu->locked) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (flags & MF_BYPOSITION) {
        if (position >= menu->items.size()) {
            SetLastError(kMenuItemNotFound);
            return FALSE;
        }
        menu->items.erase(menu->items.begin() + position);
        return TRUE;
    }
    for (auto it = menu->items.begin(); it != menu->items.end(); ++it) {
        if (it->id == position) {
            menu->items.erase(it);
            return TRUE;
        }
    }
    SetLastError(kMenuItemNotFound);
    return FALSE;
}
