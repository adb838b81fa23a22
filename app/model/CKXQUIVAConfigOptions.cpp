// The configuration's options kept in the clinic-records database: study names, the image
// directory, the PACS server option and the institution number (tables FOPTION and HOSINFO).
#include "app/model/CKXQUIVAConfig.h"

#include "framework/CKXAdoConnection.h"
#include "framework/CKXAdoRecord.h"
#include "platform/base/casefold.h"
#include "platform/db/db.h"

namespace {

INT_PTR FindName(const CArray<CString>& names, const CString& name)
{
    for (INT_PTR i = 0; i < names.GetSize(); ++i)
        if (quiva::EqualsIgnoringCase(names[i].str(), name.str()))
            return i;
    return -1;
}

}  // namespace

void CKXQUIVAConfig::LoadDatabaseOptions()
{
    if (m_bDatabaseOptionsLoaded)
        return;
    // A database another program holds is waited for once for all four queries, not at each.
    quiva::db::BeginSharedLockWait(quiva::db::Connection::kBusyTimeoutMs);
    const bool answered = LoadDatabaseOptionsRows();
    quiva::db::EndSharedLockWait();
    // Options a query could not read (the database held, or gone) are read again next time: a
    // live connection alone does not mean they came.
    if (answered && m_pConnection->IsOpen())
        m_bDatabaseOptionsLoaded = 1;
}

bool CKXQUIVAConfig::LoadDatabaseOptionsRows()
{
    // Without a connection every query would first retry the connection at length; the options
    // stay as they are and the load is tried again next time.
    if (!ConnectDatabase())
        return false;
    CKXAdoRecord record(m_pConnection.get());
    bool answered = true;

    if (record.Open(L"SELECT SETUPSECT FROM FOPTION WHERE SETUPUSER='ORBITA' AND SETUPROOM = 'CATAGORY'")) {
        // A load that runs again (the connection closed after the names came) must not list
        // every name twice.
        m_studyNames.RemoveAll();
        for (; !record.IsEOF(); record.MoveNext())
            m_studyNames.Add(record.GetFieldString(L"SETUPSECT"));
    } else {
        answered = false;
    }
    if (record.Open(L"SELECT SETUPVALUE FROM FOPTION WHERE SETUPUSER='ORBITA' AND SETUPROOM='ORBITA' AND "
                    L"SETUPSECT='Image Directory'"))
        m_strImageDirectory = record.IsEOF() ? CString() : OnDataDrive(m_strImageRoot, record.GetFieldString(L"SETUPVALUE"));
    else
        answered = false;
    if (record.Open(L"SELECT SETUPVALUE FROM FOPTION WHERE SETUPSECT='VEXARIS SERVER'")) {
        m_strPacsServerOption.Empty();
        for (; !record.IsEOF(); record.MoveNext()) {
            CString value = record.GetFieldString(L"SETUPVALUE");
            if (!value.IsEmpty()) {
                m_strPacsServerOption = value;
                break;
            }
        }
    } else {
        answered = false;
    }
    if (record.Open(L"SELECT YOYANGNUM FROM HOSINFO")) {
        if (!record.IsEOF())
            m_options.m_strInstitutionNumber = record.GetFieldString(L"YOYANGNUM");
    } else {
        answered = false;
    }
    return answered;
}

CString CKXQUIVAConfig::GetStudyName(int index) const
{
    if (index < 0 || index >= m_studyNames.GetSize())
        return CString();
    return m_studyNames[index];
}

BOOL CKXQUIVAConfig::AddStudyName(const CString& name)
{
    if (FindName(m_studyNames, name) >= 0)
        return TRUE;
    if (!m_pConnection)
        return FALSE;
    CString sql;
    sql.Format(L"INSERT INTO FOPTION (SETUPUSER,SETUPROOM,SETUPSECT,SETUPVALUE) VALUES('ORBITA','CATAGORY','%s','2')",
               m_pConnection->EscapeQuote(name).GetString());
    if (!m_pConnection->Execute(sql, 0, 0))
        return FALSE;
    m_studyNames.Add(name);
    return TRUE;
}

BOOL CKXQUIVAConfig::DeleteStudyName(const CString& name)
{
    if (!m_pConnection)
        return FALSE;
    CString sql;
    sql.Format(L"DELETE FROM FOPTION WHERE SETUPUSER = 'ORBITA' AND SETUPROOM = 'CATAGORY' AND SETUPSECT = '%s'",
               m_pConnection->EscapeQuote(name).GetString());
    if (!m_pConnection->Execute(sql, 0, 0))
        return FALSE;
    INT_PTR i = FindName(m_studyNames, name);
    if (i >= 0)
        m_studyNames.RemoveAt(i);
    return TRUE;
}

BOOL CKXQUIVAConfig::RenameStudyName(const CString& oldName, const CString& newName)
{
    if (!m_pConnection)
        return FALSE;
    CString sql;
    sql.Format(L"UPDATE FOPTION SET SETUPSECT = '%s' WHERE SETUPUSER = 'ORBITA' AND SETUPROOM = 'CATAGORY' AND "
               L"SETUPSECT = '%s'",
               m_pConnection->EscapeQuote(newName).GetString(), m_pConnection->EscapeQuote(oldName).GetString());
    if (!m_pConnection->Execute(sql, 0, 0))
        return FALSE;
    INT_PTR i = FindName(m_studyNames, oldName);
    if (i >= 0)
        m_studyNames[i] = newName;
    return TRUE;
}

BOOL CKXQUIVAConfig::IsPacsKind10()
{
    if (m_bPacsKindSeen)
        return TRUE;
    if (m_strPacsServerOption.IsEmpty())
        return FALSE;
    CKXAdoRecord record(m_pConnection.get());
    m_bPacsKindSeen = m_pConnection && record.Open(L"SELECT SETUPVALUE FROM FOPTION WHERE SETUPVALUE='10' AND "
                                                   L"SETUPSECT = 'CHECK MOLTRIX PACS KIND'") &&
                      !record.IsEOF() && record.GetFieldString(L"SETUPVALUE").Compare(L"10") == 0;
    return m_bPacsKindSeen;
}
