#include "framework/CKXAdoRecord.h"

#include <cstring>

#include "platform/base/debug.h"
#include "platform/base/memoryapi.h"

CKXAdoRecord::CKXAdoRecord(CKXDataConnection* connection_) : connection(connection_) {}

CKXAdoRecord::~CKXAdoRecord() { Close(); }

BOOL CKXAdoRecord::PrepareConnection()
{
    if (!connection)
        return FALSE;
    if (!connection->IsOpen() && !connection->Reconnect(0))
        return FALSE;
    return TRUE;
}

BOOL CKXAdoRecord::Open(CString sql)
{
    if (!connection)
        return FALSE;
    if (connection->dbmsKind != CKXDataConnection::kDbmsAdo && connection->dbmsKind != CKXDataConnection::kDbmsPostgreSQL)
        return FALSE;
    if (!PrepareConnection())
        return FALSE;
    Close();
    auto* ado = dynamic_cast<CKXAdoConnection*>(connection);
    quiva::db::Connection* db = ado ? ado->GetConnection() : nullptr;
    if (!db)
        return FALSE;
    recordSet = std::make_unique<quiva::db::RecordSet>();
    quiva::db::Command command(*db);
    command.SetCommandText(sql);
    if (!command.Execute(*recordSet)) {
        CString text = ado->GetErrorText();
        if (log)
            log->Log(text, 1, tag);
        OutputDebugStringW(text);
        recordSet.reset();
        return FALSE;
    }
    m_chunkOffsets.assign(static_cast<size_t>(recordSet->FieldCount()), 0);
    return TRUE;
}

BOOL CKXAdoRecord::Close()
{
    recordSet.reset();
    m_chunkOffsets.clear();
    m_addingNew = false;
    m_newTable.Empty();
    m_newRow.clear();
    return TRUE;
}

// The record set reads forward only.
BOOL CKXAdoRecord::MoveFirst() { return FALSE; }
BOOL CKXAdoRecord::MovePrevious() { return FALSE; }
BOOL CKXAdoRecord::MoveLast() { return FALSE; }

BOOL CKXAdoRecord::MoveNext()
{
    if (!HasRows() || !recordSet->MoveNext())
        return FALSE;
    m_chunkOffsets.assign(m_chunkOffsets.size(), 0);
    return TRUE;
}

BOOL CKXAdoRecord::IsEOF() { return !HasRows() || recordSet->IsEOF() ? TRUE : FALSE; }

BOOL CKXAdoRecord::IsBOF() { return !HasRows() || recordSet->IsBOF() ? TRUE : FALSE; }

CString CKXAdoRecord::GetFieldStringAt(int index) { return HasRows() ? recordSet->FieldText(index) : CString(); }

CString CKXAdoRecord::GetFieldString(CString name)
{
    return HasRows() ? recordSet->FieldText(recordSet->FieldIndex(name)) : CString();
}

CString CKXAdoRecord::GetFieldName(int index) { return HasRows() ? recordSet->FieldName(index) : CString(); }

// A forward-only cursor cannot count its rows.
long CKXAdoRecord::GetRecordCount() { return HasRows() ? -1 : 0; }

CKXDatabaseRecordSet* CKXAdoRecord::CreateRecord()
{
    auto* record = new CKXAdoRecord(connection);
    record->log = log;
    return record;
}

long CKXAdoRecord::GetFieldSize(int index)
{
    if (!HasRows() || index < 0 || index >= recordSet->FieldCount() || recordSet->IsEOF())
        return 0;
    const auto& bytes = recordSet->FieldBytes(index);
    return bytes.empty() ? recordSet->FieldText(index).GetLength() : static_cast<long>(bytes.size());
}

BOOL CKXAdoRecord::GetChunk(int index, long length, VARIANT* out)
{
    if (!out || length < 0 || !HasRows() || index < 0 || index >= recordSet->FieldCount() || recordSet->IsEOF())
        return FALSE;
    VariantClear(out);
    if (recordSet->FieldIsNull(index)) {
        out->vt = VT_NULL;
        return TRUE;
    }
    // Successive calls hand out the field's bytes in order; after the last one the value is null.
    const auto& bytes = recordSet->FieldBytes(index);
    size_t& offset = m_chunkOffsets[static_cast<size_t>(index)];
    if (offset >= bytes.size()) {
        out->vt = VT_NULL;
        return TRUE;
    }
    size_t n = std::min(bytes.size() - offset, static_cast<size_t>(length));
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n));
    if (!array)
        return FALSE;
    if (n)
        std::memcpy(array->pvData, bytes.data() + offset, n);
    offset += n;
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return TRUE;
}

BOOL CKXAdoRecord::ReadChunk(int index, long length, ByteBuffer* out)
{
    VARIANT chunk;
    VariantInit(&chunk);
    BOOL result = GetChunk(index, length, &chunk);
    if (!result)
        return FALSE;
    if (chunk.vt != (VT_ARRAY | VT_UI1) || !chunk.parray) {
        VariantClear(&chunk);
        return FALSE;
    }
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(chunk.parray, 1, &lower);
    SafeArrayGetUBound(chunk.parray, 1, &upper);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(chunk.parray, &data)) || !data) {
        VariantClear(&chunk);
        return FALSE;
    }
    DWORD count = static_cast<DWORD>(upper - lower + 1);
    if (count && !AppendBytes(out, count, data))
        result = FALSE;
    SafeArrayUnaccessData(chunk.parray);
    VariantClear(&chunk);
    return result;
}

BOOL CKXAdoRecord::AppendBytes(ByteBuffer* buffer, DWORD count, const void* source)
{
    if (!buffer || (count && !source))
        return FALSE;
    if (count > 0xFFFFFFFFu - buffer->size)
        return FALSE;  // the size would wrap
    DWORD size = buffer->size + count;
    auto* block = static_cast<BYTE*>(VirtualAlloc(nullptr, size ? size : 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!block)
        return FALSE;
    if (buffer->data) {
        std::memcpy(block, buffer->data, buffer->size);
        VirtualFree(buffer->data, 0, MEM_RELEASE);
    }
    if (count)
        std::memcpy(block + buffer->size, source, count);
    buffer->data = block;
    buffer->size = size;
    return TRUE;
}

BOOL CKXAdoRecord::OpenForAddNew(CString table)
{
    if (!PrepareConnection())
        return FALSE;
    Close();
    if (table.IsEmpty())
        return FALSE;
    m_addingNew = true;
    m_newTable = table;
    return TRUE;
}

BOOL CKXAdoRecord::OpenForUpdate(CString)
{
    OutputDebugStringW(L"OpenForUpdate: the drivers offer no updatable cursor");
    return FALSE;
}

CKXAdoRecord::NewField& CKXAdoRecord::FieldOfNewRow(const CString& name)
{
    for (auto& f : m_newRow)
        if (f.name.CompareNoCase(name) == 0)
            return f;
    m_newRow.push_back(NewField{name, false, false, CString(), {}});
    return m_newRow.back();
}

void CKXAdoRecord::SetFieldString(CString name, CString value)
{
    if (!m_addingNew || name.IsEmpty())
        return;
    NewField& f = FieldOfNewRow(name);
    f.binary = false;
    f.null = false;
    f.text = value;
}

BOOL CKXAdoRecord::AppendChunk(CString name, VARIANT* data)
{
    if (!data)
        return FALSE;
    VARIANT copy;
    VariantInit(&copy);
    BOOL copied = SUCCEEDED(VariantCopy(&copy, data));
    VariantClear(data);
    if (!copied || !m_addingNew || name.IsEmpty()) {
        VariantClear(&copy);
        return FALSE;
    }
    NewField& f = FieldOfNewRow(name);
    f.binary = true;
    f.null = copy.vt == VT_NULL || copy.vt == VT_EMPTY;
    f.bytes.clear();
    if (copy.vt == (VT_ARRAY | VT_UI1) && copy.parray) {
        const auto* p = static_cast<const uint8_t*>(copy.parray->pvData);
        f.bytes.insert(f.bytes.end(), p, p + copy.parray->rgsabound[0].cElements);
    }
    VariantClear(&copy);
    return StoreNewRow();
}

BOOL CKXAdoRecord::SetFieldBytes(CString name, ByteBuffer* buffer)
{
    if (!buffer)
        return FALSE;
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, buffer->size);
    if (!array)
        return FALSE;
    if (buffer->size && buffer->data)
        std::memcpy(array->pvData, buffer->data, buffer->size);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array;
    return AppendChunk(name, &v);
}

// Stores the new row with one INSERT whose values are bound, never spliced into the text.
BOOL CKXAdoRecord::StoreNewRow()
{
    auto* ado = dynamic_cast<CKXAdoConnection*>(connection);
    quiva::db::Connection* db = ado ? ado->GetConnection() : nullptr;
    if (!db || m_newRow.empty())
        return FALSE;
    CString names, marks;
    quiva::db::Command command(*db);
    for (const auto& f : m_newRow) {
        names += (names.IsEmpty() ? L"" : L", ") + f.name;
        marks += marks.IsEmpty() ? L"?" : L", ?";
        if (f.null)
            command.AddNullParameter();
        else if (f.binary)
            command.AddParameter(f.bytes);
        else
            command.AddParameter(f.text);
    }
    CString sql;
    sql.Format(L"INSERT INTO %s (%s) VALUES (%s)", m_newTable.GetString(), names.GetString(), marks.GetString());
    command.SetCommandText(sql);
    if (!command.Execute()) {
        CString text = ado->GetErrorText();
        if (log)
            log->Log(text, 1, tag);
        OutputDebugStringW(text);
        return FALSE;
    }
    m_addingNew = false;
    m_newRow.clear();
    return TRUE;
}
