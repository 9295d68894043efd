#pragma once
// Root object and exception classes of the windowing layer. Kept free of any toolkit
// header so that plain classes (the serial port, its exception) can derive from them.

#include <cstdint>

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

// Run-time class information: the class name and the base's information.
struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;
    BOOL IsDerivedFrom(const CRuntimeClass* base) const {
        for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
            if (c == base) return TRUE;
        return FALSE;
    }
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)

#define DECLARE_DYNAMIC(cls)               \
public:                                    \
    static const CRuntimeClass class##cls; \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(cls, base)                                   \
    const CRuntimeClass cls::class##cls = {#cls, RUNTIME_CLASS(base)}; \
    const CRuntimeClass* cls::GetRuntimeClass() const { return RUNTIME_CLASS(cls); }

class CObject {
public:
    static const CRuntimeClass classCObject;
    virtual const CRuntimeClass* GetRuntimeClass() const { return &classCObject; }
    virtual ~CObject() = default;
    BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

inline const CRuntimeClass CObject::classCObject = {"CObject", nullptr};

// Exceptions are created with new, thrown as pointers and released by the catcher with
// Delete().
class CException : public CObject {
public:
    static const CRuntimeClass classCException;
    const CRuntimeClass* GetRuntimeClass() const override { return &classCException; }

    void Delete() { delete this; }

    // Copies the exception's text into buffer (at most maxChars including the terminator);
    // false with an empty text when there is none.
    virtual BOOL GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext = nullptr) {
        if (helpContext) *helpContext = 0;
        if (buffer && maxChars) buffer[0] = '\0';
        return FALSE;
    }
};

inline const CRuntimeClass CException::classCException = {"CException", &CObject::classCObject};
