#pragma once
// Message maps: static tables that route window messages and control notifications to
// member functions. A lookup walks the most derived map first, then each base's.

#include "afx/afxtypes.h"

class CCmdTarget;

using AFX_THUNK = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // window message, 0 ends the table
    UINT nCode;     // notification code for WM_COMMAND
    UINT nID;       // first control id
    UINT nLastID;   // last control id
    AFX_THUNK pfn;  // calls the member function
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
protected:                                        \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                        \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
        using ThisClass [[maybe_unused]] = theClass;                                  \
        using TheBaseClass = baseClass;                                               \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                         \
    { 0, 0, 0, 0, nullptr }                                                                       \
    }                                                                                             \
    ;                                                                                             \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
    return &messageMap;                                                                           \
    }

// Commands and control notifications (WM_COMMAND with the code in the high word).
#define ON_COMMAND(id, memberFxn)                                 \
    {WM_COMMAND, 0, static_cast<UINT>(id), static_cast<UINT>(id), \
     [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {               \
         static_cast<ThisClass*>(t)->memberFxn();                 \
         return 0;                                                \
     }},

#define ON_CONTROL(code, id, memberFxn)                                                 \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(id), \
     [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {                                     \
         static_cast<ThisClass*>(t)->memberFxn();                                       \
         return 0;                                                                      \
     }},

#define ON_CONTROL_RANGE(code, id, idLast, memberFxn)                                       \
    {WM_COMMAND, static_cast<UINT>(code), static_cast<UINT>(id), static_cast<UINT>(idLast), \
     [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT {                                       \
         static_cast<ThisClass*>(t)->memberFxn(static_cast<UINT>(LOWORD(w)));               \
         return 0;                                                                          \
     }},

#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) ON_CONTROL(CBN_SELCHANGE, id, memberFxn)
#define ON_CBN_EDITCHANGE(id, memberFxn) ON_CONTROL(CBN_EDITCHANGE, id, memberFxn)

// Window messages.
#define ON_WM_CLOSE()                                                  \
    {WM_CLOSE, 0, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(t)->OnClose();                        \
         return 0;                                                     \
     }},

#define ON_WM_PAINT()                                                  \
    {WM_PAINT, 0, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { \
         static_cast<ThisClass*>(t)->OnPaint();                        \
         return 0;                                                     \
     }},

#define ON_WM_QUERYDRAGICON()                                                             \
    {WM_QUERYDRAGICON, 0, 0, 0, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT {            \
         return reinterpret_cast<LRESULT>(static_cast<ThisClass*>(t)->OnQueryDragIcon()); \
     }},

#define ON_WM_LBUTTONDOWN()                                                                        \
    {WM_LBUTTONDOWN, 0, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                   \
         static_cast<ThisClass*>(t)->OnLButtonDown(                                                \
             static_cast<UINT>(w), CPoint(static_cast<short>(LOWORD(static_cast<DWORD_PTR>(l))),   \
                                          static_cast<short>(HIWORD(static_cast<DWORD_PTR>(l))))); \
         return 0;                                                                                 \
     }},

// The colour request a parent reflects back to the control that asks.
#define ON_WM_CTLCOLOR_REFLECT()                                                                     \
    {WM_REFLECT_BASE + WM_CTLCOLOR, 0, 0, 0, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {      \
         return reinterpret_cast<LRESULT>(                                                           \
             static_cast<ThisClass*>(t)->CtlColor(reinterpret_cast<CDC*>(w), static_cast<UINT>(l))); \
     }},
