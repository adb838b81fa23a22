#include "tests/app/ClinicDbSupport.h"

#include "framework/CKXAdoRecord.h"

std::wstring ClinicMachine::Scalar(const wchar_t* sql)
{
    CKXAdoRecord record(&m_direct);
    if (!record.Open(sql) || record.IsEOF())
        return std::wstring();
    return record.GetFieldStringAt(0).str();
}
