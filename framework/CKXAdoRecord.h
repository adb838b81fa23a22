// Forward-reading record set on a CKXAdoConnection. Fields read as text by name (case ignored) or
// position; NULL reads as "". A set that is not open is at its end and reads "".
//
// Adding rows: OpenForAddNew(table) starts a new row, SetFieldString and AppendChunk /
// SetFieldBytes give its fields, and AppendChunk stores it with one parameterised INSERT.
// OpenForUpdate answers FALSE: the drivers offer no updatable cursor.
#pragma once

#include <memory>
#include <vector>

#include "framework/CKXAdoConnection.h"
#include "framework/CKXDatabaseRecordSet.h"
#include "platform/com/com.h"

// A byte block from VirtualAlloc; the owner releases `data` with VirtualFree (MEM_RELEASE).
struct ByteBuffer {
    DWORD size = 0;
    BYTE* data = nullptr;
};

class CKXAdoRecord : public CKXDatabaseRecordSet {
public:
    explicit CKXAdoRecord(CKXDataConnection* connection = nullptr);
    ~CKXAdoRecord() override;

    BOOL Open(CString sql) override;
    BOOL Close() override;
    BOOL MoveFirst() override;
    BOOL MovePrevious() override;
    BOOL MoveNext() override;
    BOOL MoveLast() override;
    BOOL IsEOF() override;
    BOOL IsBOF() override;
    CString GetFieldStringAt(int index) override;
    CString GetFieldString(CString name) override;
    CString GetFieldName(int index) override;
    long GetRecordCount() override;
    CKXDatabaseRecordSet* CreateRecord() override;

    virtual long GetFieldSize(int index);
    virtual BOOL ReadChunk(int index, long length, ByteBuffer* out);
    virtual BOOL GetChunk(int index, long length, VARIANT* out);
    virtual BOOL OpenForAddNew(CString table);
    virtual BOOL OpenForUpdate(CString source);
    virtual void SetFieldString(CString name, CString value);
    virtual BOOL AppendChunk(CString name, VARIANT* data);
    virtual BOOL SetFieldBytes(CString name, ByteBuffer* buffer);

    // Appends count bytes to the buffer in a new block; FALSE (buffer untouched) when the block
    // cannot be had.
    static BOOL AppendBytes(ByteBuffer* buffer, DWORD count, const void* source);

    CKXDataConnection* connection;  // not owned
    CKXDataLog* log = nullptr;
    int tag = 0;
    std::unique_ptr<quiva::db::RecordSet> recordSet;

private:
    struct NewField {
        CString name;
        bool binary = false;
        bool null = false;
        CString text;
        std::vector<uint8_t> bytes;
    };
    bool HasRows() const { return recordSet && recordSet->IsOpen(); }
    NewField& FieldOfNewRow(const CString& name);
    BOOL StoreNewRow();
    BOOL PrepareConnection();

    std::vector<size_t> m_chunkOffsets;  // per field, for GetChunk on the current row
    bool m_addingNew = false;
    CString m_newTable;
    std::vector<NewField> m_newRow;
};
