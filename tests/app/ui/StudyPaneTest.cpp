// The study-name page on the clinic databases (the SQLite stand-in and PostgreSQL): adding,
// renaming and deleting with injected input, the confirmation boxes, names with quotes, the
// database's refusal and the list's scroll bar.
#include "app/ui/CKXCtrlWndQUIVAStudy.h"
#include "app/ui/KXQUIVASettingDialog.h"
#include "framework/CKXAdoConnection.h"
#include "framework/CKXAdoRecord.h"
#include "platform/db/db.h"
#include "tests/app/SettingTestSupport.h"
#include "tests/support/Databases.h"

using namespace quiva::test;

namespace {

enum class Backend { SQLite, PostgreSQL };

class StudyPage : public SettingTest, public ::testing::WithParamInterface<Backend> {
protected:
    void SetUp() override
    {
        SettingTest::SetUp();
        m_config = NewConfig();
        auto connection = std::make_unique<CKXAdoConnection>();
        if (GetParam() == Backend::SQLite) {
            ASSERT_TRUE(CreateSqliteClinicDb(m_dir.Native("HRB4100.db")));
            quiva::db::SetDataFolder(m_dir.Win());
            connection->connectionString =
                L"Driver={SQL Anywhere 12};Host=127.0.0.1;Database=HRB4100;User ID=dba;Password=sql";
        } else {
            QUIVA_REQUIRE_POSTGRES(server);
            std::string why;
            const std::string name = PrivatePgDatabase(server, &why);
            ASSERT_FALSE(name.empty()) << why;
            connection->connectionString = PgConnectionString(server, name);
            connection->dbmsKind = 3;
        }
        ASSERT_TRUE(connection->Open(0)) << connection->GetErrorText().ToUtf8();
        ASSERT_TRUE(connection->Execute(L"DELETE FROM FOPTION", 0, TRUE));
        m_config->UseConnection(std::move(connection));
    }

    // The study-name rows of the database, in no particular order but sorted.
    std::vector<std::wstring> DatabaseNames()
    {
        std::vector<std::wstring> names;
        CKXAdoRecord record;
        record.connection = m_config->GetConnection();
        if (record.Open(L"SELECT SETUPSECT FROM FOPTION WHERE SETUPUSER='ORBITA' AND SETUPROOM='CATAGORY'"))
            for (; !record.IsEOF(); record.MoveNext())
                names.push_back(record.GetFieldString(L"SETUPSECT").str());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::wstring> ConfigNames()
    {
        std::vector<std::wstring> names;
        for (int i = 0; i < static_cast<int>(m_config->GetStudyNames().GetSize()); ++i)
            names.push_back(m_config->GetStudyName(i).str());
        return names;
    }
    static std::vector<std::wstring> ListNames(CKXCtrlWndQUIVAStudy& page)
    {
        std::vector<std::wstring> names;
        for (const _KXListStringItem* item : page.m_list.items)
            names.push_back(item->text.str());
        return names;
    }

    std::unique_ptr<CKXQUIVAConfig> m_config;
};


struct Box {
    std::wstring caption, text;
};

// Arms a script that notes the next box and answers it with `answer`, then runs `next`.
void AnswerBox(std::vector<Box>* boxes, int answer, std::function<void()> next = {})
{
    WhenDialogStands([=](CKXBaseDialog& d) {
        auto& box = dynamic_cast<CKXMsgBox&>(d);
        boxes->push_back({box.captionBar.caption.str(), box.text.str()});
        ClickBoxButton(box, answer);
        if (next)
            next();
    });
}

}  // namespace

TEST_P(StudyPage, NamesAreAddedRenamedAndDeletedInTheDatabaseWithInjectedInput)
{
    ASSERT_TRUE(m_config->AddStudyName(L"CT"));
    ASSERT_TRUE(m_config->AddStudyName(L"위내시경"));
    std::vector<Box> boxes;
    std::vector<std::wstring> afterNo;
    CKXCtrlWndQUIVAStudy* page = nullptr;
    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        page = dynamic_cast<CKXCtrlWndQUIVAStudy*>(d.contentPage);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(ListNames(*page), (std::vector<std::wstring>{L"CT", L"위내시경"}));
        WriteDialogPicture(d, "setting-study.png");
        ClickControl(d, page->m_nameEdit);
        TypeText(L"O'Neil");
        ClickControl(d, page->m_addButton);
        // Listed already, in another case: nothing is written.
        ReplaceText(L"ct");
        ClickControl(d, page->m_addButton);
        // Choosing a row copies it into the edit, so Modify with it does nothing and asks nothing.
        ClickRow(d, page->m_list, 2);
        ClickControl(d, page->m_modifyButton);
        ClickControl(d, page->m_nameEdit);
        ReplaceText(L"O'Brien");
        AnswerBox(&boxes, IDYES, [&] {
            // Delete asks first; No changes nothing.
            AnswerBox(&boxes, IDNO, [&] {
                afterNo = DatabaseNames();
                AnswerBox(&boxes, IDYES, [&] { ClickDialogButton(d, 8); });
                ClickControl(d, page->m_deleteButton);
            });
            ClickControl(d, page->m_deleteButton);
        });
        ClickControl(d, page->m_modifyButton);
    });
    KXQUIVARunStudyDialog(m_config.get());

    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, L"검사이름 수정");
    EXPECT_EQ(boxes[0].text, L"검사이름[O'Neil]을 검사이름[O'Brien]으로 변경하시겠습니까?");
    EXPECT_EQ(boxes[1].caption, L"검사이름 삭제확인");
    EXPECT_EQ(boxes[1].text, L"검사이름[O'Brien]을 삭제하시겠습니까?");
    EXPECT_EQ(afterNo, (std::vector<std::wstring>{L"CT", L"O'Brien", L"위내시경"}));
    EXPECT_EQ(DatabaseNames(), (std::vector<std::wstring>{L"CT", L"위내시경"}));
    EXPECT_EQ(ConfigNames(), (std::vector<std::wstring>{L"CT", L"위내시경"}));
}

TEST_P(StudyPage, ListAndConfigurationLoseTheSameSingleName)
{
    // Names differing only in case, as an older database may hold them.
    CArray<CString> names;
    names.Add(L"Endo");
    names.Add(L"Colon");
    names.Add(L"ENDO");
    m_config->SetStudyNames(names);
    CKXCtrlWndQUIVAStudy page;
    page.m_pConfig = m_config.get();
    page.Create(0, 0, 0, 0, 0);
    page.m_list.SelectString(L"ENDO");
    std::vector<Box> boxes;
    AnswerBox(&boxes, IDYES);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_DELETE, nullptr, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(ListNames(page), ConfigNames());
    EXPECT_EQ(ListNames(page).size(), 2u);
}

TEST_P(StudyPage, TheScrollBarFollowsEveryChange)
{
    for (const wchar_t* name : {L"A1", L"A2", L"A3", L"A4", L"A5", L"A6", L"A7", L"A8"})
        ASSERT_TRUE(m_config->AddStudyName(name));
    CKXCtrlWndQUIVAStudy page;
    page.m_pConfig = m_config.get();
    page.Create(0, 0, 0, 0, 0);
    // Eight rows fill the 200-unit list exactly.
    EXPECT_EQ(page.m_list.scrollBar.visible, 0);
    page.m_nameEdit.SetEditText(L"A9", nullptr);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_ADD, nullptr, nullptr);
    EXPECT_EQ(page.m_list.items.size(), 9u);
    EXPECT_EQ(page.m_list.scrollBar.visible, 1);
    page.m_list.SelectString(L"A1");
    std::vector<Box> boxes;
    AnswerBox(&boxes, IDYES);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_DELETE, nullptr, nullptr);
    EXPECT_EQ(page.m_list.items.size(), 8u);
    EXPECT_EQ(page.m_list.scrollBar.visible, 0);
}

TEST_P(StudyPage, ARefusedStatementIsShownAndChangesNothing)
{
    ASSERT_TRUE(m_config->AddStudyName(L"CT"));
    CKXCtrlWndQUIVAStudy page;
    page.m_pConfig = m_config.get();
    page.Create(0, 0, 0, 0, 0);
    // The database stops taking statements on the option table.
    ASSERT_TRUE(m_config->GetConnection()->Execute(L"DROP TABLE FOPTION", 0, TRUE));
    std::vector<Box> boxes;
    AnswerBox(&boxes, IDOK);
    page.m_nameEdit.SetEditText(L"MRI", nullptr);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_ADD, nullptr, nullptr);
    page.m_list.SelectString(L"CT");
    AnswerBox(&boxes, IDYES);
    AnswerBox(&boxes, IDOK);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_DELETE, nullptr, nullptr);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].caption, L"검사이름 관리");
    EXPECT_NE(boxes[0].text.find(L"데이터베이스"), std::wstring::npos);
    EXPECT_EQ(boxes[2].caption, L"검사이름 관리");
    EXPECT_EQ(ListNames(page), std::vector<std::wstring>{L"CT"});
    EXPECT_EQ(ConfigNames(), std::vector<std::wstring>{L"CT"});
    // Restore the table for the private database the other tests share.
    m_config->GetConnection()->Execute(GetParam() == Backend::SQLite
                                         ? L"CREATE TABLE FOPTION (SETUPUSER TEXT, SETUPROOM TEXT, SETUPSECT TEXT, SETUPVALUE TEXT)"
                                         : L"CREATE TABLE FOPTION (SETUPUSER VARCHAR(20), SETUPROOM VARCHAR(20), "
                                           L"SETUPSECT VARCHAR(100), SETUPVALUE VARCHAR(255))",
                                     0, TRUE);
}

TEST_P(StudyPage, EmptyNamesAndNothingSelectedDoNothing)
{
    ASSERT_TRUE(m_config->AddStudyName(L"CT"));
    CKXCtrlWndQUIVAStudy page;
    page.m_pConfig = m_config.get();
    page.Create(0, 0, 0, 0, 0);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_ADD, nullptr, nullptr);
    page.m_nameEdit.SetEditText(L"MRI", nullptr);
    // No box may open for any of these: a box would wait for an answer no script gives.
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_MODIFY, nullptr, nullptr);
    page.OnCommand(CKXCtrlWndQUIVAStudy::ID_DELETE, nullptr, nullptr);
    EXPECT_EQ(ListNames(page), std::vector<std::wstring>{L"CT"});
    EXPECT_EQ(DatabaseNames(), std::vector<std::wstring>{L"CT"});
}

INSTANTIATE_TEST_SUITE_P(Databases, StudyPage, ::testing::Values(Backend::SQLite, Backend::PostgreSQL),
                         [](const ::testing::TestParamInfo<Backend>& info) {
                             return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
                         });
