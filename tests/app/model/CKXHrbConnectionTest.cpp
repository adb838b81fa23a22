#include "app/model/CKXHrbConnection.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "app/model/CKXQUIVAConfig.h"
#include "platform/base/debug.h"
#include "tests/app/ClinicDbSupport.h"

using quiva::test::Account;

namespace {

class HrbConnection : public ClinicMachine {
protected:
    // Whether a library of that path is loaded in the process.
    static bool Loaded(const std::string& path)
    {
        void* h = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (h)
            dlclose(h);
        return h != nullptr;
    }
};

}  // namespace

TEST_P(HrbConnection, OpensWithTheAccountOfTheHelperLibraries)
{
    CKXQUIVAConfig config;
    EXPECT_EQ(config.GetConnectionSettings().m_bPostgreSQL, Pg() ? 1 : 0);
    CKXAdoConnection* c = config.ConnectDatabase();
    ASSERT_NE(c, nullptr) << config.GetConnection()->GetErrorText().ToUtf8();
    EXPECT_TRUE(c->IsOpen());
    EXPECT_EQ(c->dbmsKind, Pg() ? 3 : 1);
    EXPECT_NE(dynamic_cast<CKXHrbPGConnection*>(c) != nullptr, !Pg());
    // The password holds ";" and "}": quoted, it is one value and adds no keyword.
    EXPECT_NE(c->connectionString.Find(L"assword={pw;"), -1) << c->connectionString.ToUtf8();
    EXPECT_TRUE(c->Execute(L"INSERT INTO HOSINFO (YOYANGNUM) VALUES ('55')", 0, TRUE));
    EXPECT_EQ(Scalar(L"SELECT YOYANGNUM FROM HOSINFO"), L"55");
    // Every call opens again and hands out the same object.
    EXPECT_EQ(config.ConnectDatabase(), c);
    EXPECT_TRUE(c->IsOpen());
    // The libraries are loaded only while the account is read.
    EXPECT_FALSE(Loaded(Exe("HRBSConst.dll")));
    EXPECT_FALSE(Loaded(Exe("HRBCrypto.dll")));
}

// The file database takes any account: only the server can refuse one.
class HrbServerConnection : public HrbConnection {};

TEST_P(HrbServerConnection, TheSecondCredentialSetIsTriedWhenTheFirstIsRefused)
{
    ASSERT_TRUE(quiva::test::WriteAccountFile(Exe(""), {Account{m_account.user, "wrong"}, m_account}));
    CKXQUIVAConfig config;
    CKXAdoConnection* c = config.ConnectDatabase();
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->connectionString.Find(CString(m_account.password.substr(0, 5).c_str())), -1);

    // Both refused: the last string (set 1) stays and every later call tries it again.
    ASSERT_TRUE(quiva::test::WriteAccountFile(Exe(""), {Account{m_account.user, "wrong0"}, Account{m_account.user, "wrong1"}}));
    CKXQUIVAConfig refused;
    EXPECT_EQ(refused.ConnectDatabase(), nullptr);
    EXPECT_NE(refused.GetConnection()->connectionString.Find(L"password=wrong1;"), -1);
    EXPECT_FALSE(refused.GetConnection()->GetErrorText().IsEmpty());
    EXPECT_EQ(refused.ConnectDatabase(), nullptr);
}

TEST_P(HrbConnection, WithoutAUsableHelperLibraryThereIsNoConnection)
{
    std::filesystem::remove(Exe("HRBCrypto.dll"));
    {
        quiva::DebugCapture debug;
        CKXQUIVAConfig config;
        EXPECT_EQ(config.ConnectDatabase(), nullptr);
        EXPECT_TRUE(config.GetConnection()->connectionString.IsEmpty());
        EXPECT_TRUE(debug.Contains(Pg() ? L"126" : L"HRBCrypto 126"));
        EXPECT_FALSE(Loaded(Exe("HRBSConst.dll")));  // freed again
        // Restoring the library does not help this configuration: Connect ran once.
        ASSERT_TRUE(std::filesystem::copy_file(quiva::test::HelperLibraryPath("HRBCrypto.dll"), Exe("HRBCrypto.dll")));
        EXPECT_EQ(config.ConnectDatabase(), nullptr);
        CKXQUIVAConfig fresh;
        EXPECT_NE(fresh.ConnectDatabase(), nullptr);
    }
    // A library without the expected export is refused, never called.
    // (A new file, not the old one rewritten: a library file must not change under a mapping.)
    std::filesystem::remove(Exe("HRBSConst.dll"));
    std::filesystem::copy_file(quiva::test::HelperLibraryPath("HRBCrypto.dll"), Exe("HRBSConst.dll"));
    {
        quiva::DebugCapture debug;
        CKXQUIVAConfig config;
        EXPECT_EQ(config.ConnectDatabase(), nullptr);
        EXPECT_TRUE(debug.Contains(Pg() ? L"127" : L"HRBSConst"));
    }
    // Something that is no library at all.
    std::filesystem::remove(Exe("HRBSConst.dll"));
    quiva::test::WriteAll(Exe("HRBSConst.dll"), "MZ not a library");
    CKXQUIVAConfig config;
    EXPECT_EQ(config.ConnectDatabase(), nullptr);
}

TEST_P(HrbConnection, ADecryptionThatLeavesNoTerminatorIsCutAtItsBuffer)
{
    std::filesystem::remove(Exe("HRBCrypto.dll"));
    std::filesystem::copy_file(std::string(QUIVA_BINARY_DIR) + "/tests/helpers/HRBCryptoFault.dll", Exe("HRBCrypto.dll"));
    CKXQUIVAConfig config;
    config.ConnectDatabase();
    ASSERT_TRUE(config.GetConnection());
    // User and password: the 255 bytes the library wrote, nothing read past them.
    CString value(std::wstring(255, L'p'));
    const CString& text = config.GetConnection()->connectionString;
    int first = text.Find(value);
    ASSERT_GE(first, 0) << text.ToUtf8();
    EXPECT_EQ(text.Find(CString(std::wstring(256, L'p'))), -1);
    EXPECT_GE(text.Find(value, first + 255), 0);
}

TEST_P(HrbConnection, AnAccountFileOthersCanReadIsRefused)
{
    chmod(Exe("HRBAccount.ini").c_str(), 0644);
    CKXQUIVAConfig config;
    EXPECT_EQ(config.ConnectDatabase(), nullptr);
    EXPECT_TRUE(config.GetConnection()->connectionString.IsEmpty());
    chmod(Exe("HRBAccount.ini").c_str(), 0600);
    // Values longer than the libraries' buffers are refused too.
    ASSERT_TRUE(quiva::test::WriteAccountFile(Exe(""), {Account{std::string(255, 'u'), "p"}}));
    CKXQUIVAConfig longName;
    EXPECT_EQ(longName.ConnectDatabase(), nullptr);
    EXPECT_TRUE(longName.GetConnection()->connectionString.IsEmpty());
}

TEST_P(HrbConnection, ADeadServerFailsClearlyWithinTheBoundedWait)
{
    if (Pg()) {
        // A port nobody listens on.
        quiva::test::WriteAll(Root("DBServer.ini"),
                              "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=127.0.0.1\nPGPort=1\n");
    } else {
        std::filesystem::remove(Root("HRB4100.db"));
    }
    auto start = std::chrono::steady_clock::now();
    CKXQUIVAConfig config;
    EXPECT_EQ(config.ConnectDatabase(), nullptr);
    EXPECT_EQ(config.ConnectDatabase(), nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_FALSE(config.GetConnection()->GetErrorText().IsEmpty());
    EXPECT_FALSE(config.GetConnection()->IsOpen());
}

TEST_P(HrbConnection, ACloneConnectsWithTheSameLibrariesAndParameters)
{
    CKXQUIVAConfig config;
    ASSERT_NE(config.ConnectDatabase(), nullptr);
    std::unique_ptr<CKXDataConnection> copy(config.GetConnection()->Clone());
    auto* clone = dynamic_cast<CKXHrbConnection*>(copy.get());
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->dbmsKind, Pg() ? 3 : 1);
    EXPECT_EQ(clone->m_strLibraryFolder, static_cast<CKXHrbConnection*>(config.GetConnection())->m_strLibraryFolder);
    EXPECT_TRUE(clone->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(Databases, HrbConnection, testing::Values(ClinicBackend::SQLite, ClinicBackend::PostgreSQL),
                         ClinicBackendName);

INSTANTIATE_TEST_SUITE_P(Databases, HrbServerConnection, testing::Values(ClinicBackend::PostgreSQL), ClinicBackendName);

TEST(HrbConnectionPath, TheLibraryFolderEndsInOneBackslash)
{
    CKXHrbConnection c;
    c.BuildHelperPath(L"c:\\HRB4100\\exe");
    EXPECT_EQ(c.m_strLibraryFolder, L"c:\\HRB4100\\exe\\");
    c.BuildHelperPath(L"c:\\HRB4100\\exe\\");
    EXPECT_EQ(c.m_strLibraryFolder, L"c:\\HRB4100\\exe\\");
}
