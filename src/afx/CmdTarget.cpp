// Message-map lookup.
#include "afx/afxwin.h"

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

namespace {

const AFX_MSGMAP_ENTRY* FindEntry(const AFX_MSGMAP* map, UINT message, WPARAM wParam) {
    const UINT code = HIWORD(wParam);
    const UINT id = LOWORD(wParam);
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->nMessage != 0; ++e) {
            if (e->nMessage != message) continue;
            if (message == WM_COMMAND && (e->nCode != code || id < e->nID || id > e->nLastID)) continue;
            return e;
        }
    }
    return nullptr;
}

}  // namespace

BOOL CCmdTarget::DispatchMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const AFX_MSGMAP_ENTRY* e = FindEntry(GetMessageMap(), message, wParam);
    if (!e) return FALSE;
    const LRESULT r = e->pfn(this, wParam, lParam);
    if (result) *result = r;
    return TRUE;
}

BOOL CCmdTarget::HasHandler(UINT message, WPARAM wParam) const {
    return FindEntry(GetMessageMap(), message, wParam) != nullptr;
}
