// Abstract record set: every operation answers the empty default.
#pragma once

#include "platform/base/CString.h"

class CKXDatabaseRecordSet {
public:
    CKXDatabaseRecordSet() = default;
    virtual ~CKXDatabaseRecordSet() = default;
    CKXDatabaseRecordSet(const CKXDatabaseRecordSet&) = delete;
    CKXDatabaseRecordSet& operator=(const CKXDatabaseRecordSet&) = delete;

    virtual BOOL Open(CString) { return FALSE; }
    virtual BOOL Close() { return 0; }
    virtual BOOL MoveFirst() { return 0; }
    virtual BOOL MovePrevious() { return 0; }
    virtual BOOL MoveNext() { return 0; }
    virtual BOOL MoveLast() { return 0; }
    virtual BOOL IsEOF() { return TRUE; }
    virtual BOOL IsBOF() { return TRUE; }
    virtual CString GetFieldStringAt(int) { return CString(); }
    virtual CString GetFieldString(CString) { return CString(); }
    virtual CString GetFieldName(int) { return CString(); }
    virtual long GetRecordCount() { return 0; }
    virtual CKXDatabaseRecordSet* CreateRecord() { return nullptr; }
};
