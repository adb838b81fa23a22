// Growable arrays with the operations the system uses, over std::vector.
// Out-of-range reads return a default value instead of faulting; out-of-range writes grow the array.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

template <typename TYPE, typename ARG_TYPE = const TYPE&>
class CArray {
public:
    CArray() = default;
    CArray(const CArray&) = default;
    CArray& operator=(const CArray&) = default;

    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_v.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_v.empty(); }
    void SetSize(INT_PTR n, INT_PTR /*growBy*/ = -1) { m_v.resize(n > 0 ? static_cast<size_t>(n) : 0); }
    void RemoveAll() { m_v.clear(); }
    void FreeExtra() { m_v.shrink_to_fit(); }

    TYPE GetAt(INT_PTR i) const { return Valid(i) ? m_v[static_cast<size_t>(i)] : TYPE(); }
    void SetAt(INT_PTR i, ARG_TYPE v)
    {
        if (Valid(i))
            m_v[static_cast<size_t>(i)] = v;
    }
    void SetAtGrow(INT_PTR i, ARG_TYPE v)
    {
        if (i < 0)
            return;
        if (i >= GetSize())
            m_v.resize(static_cast<size_t>(i) + 1);
        m_v[static_cast<size_t>(i)] = v;
    }
    TYPE& ElementAt(INT_PTR i) { return m_v.at(static_cast<size_t>(i)); }
    const TYPE& ElementAt(INT_PTR i) const { return m_v.at(static_cast<size_t>(i)); }
    TYPE& operator[](INT_PTR i) { return m_v.at(static_cast<size_t>(i)); }
    const TYPE& operator[](INT_PTR i) const { return m_v.at(static_cast<size_t>(i)); }
    TYPE* GetData() { return m_v.data(); }
    const TYPE* GetData() const { return m_v.data(); }

    INT_PTR Add(ARG_TYPE v)
    {
        m_v.push_back(v);
        return GetSize() - 1;
    }
    INT_PTR Append(const CArray& other)
    {
        INT_PTR first = GetSize();
        m_v.insert(m_v.end(), other.m_v.begin(), other.m_v.end());
        return first;
    }
    void Copy(const CArray& other) { m_v = other.m_v; }
    void InsertAt(INT_PTR i, ARG_TYPE v, INT_PTR count = 1)
    {
        if (i < 0 || count <= 0)
            return;
        if (i > GetSize())
            m_v.resize(static_cast<size_t>(i));
        m_v.insert(m_v.begin() + i, static_cast<size_t>(count), v);
    }
    void RemoveAt(INT_PTR i, INT_PTR count = 1)
    {
        if (!Valid(i) || count <= 0)
            return;
        INT_PTR end = std::min(GetSize(), i + count);
        m_v.erase(m_v.begin() + i, m_v.begin() + end);
    }

    typename std::vector<TYPE>::iterator begin() { return m_v.begin(); }
    typename std::vector<TYPE>::iterator end() { return m_v.end(); }
    typename std::vector<TYPE>::const_iterator begin() const { return m_v.begin(); }
    typename std::vector<TYPE>::const_iterator end() const { return m_v.end(); }

private:
    bool Valid(INT_PTR i) const { return i >= 0 && i < GetSize(); }
    std::vector<TYPE> m_v;
};

typedef CArray<void*, void*> CPtrArray;
typedef CArray<CString, const wchar_t*> CStringArray;
typedef CArray<DWORD, DWORD> CDWordArray;
typedef CArray<UINT, UINT> CUIntArray;
typedef CArray<WORD, WORD> CWordArray;
typedef CArray<BYTE, BYTE> CByteArray;
