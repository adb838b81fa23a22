// The capture application's one configuration object: the options of "QUIVA.Capture.Config", the
// window placement of "QUIVA.Capture.LastSave", the per-source settings of
// "QUIVA.Capture.Device.Config", the connection settings of DBServer.ini and the options kept in
// the clinic-records database. It also fixes the image root, the clinic-records data folder whose
// folder "exe" holds the three XML files.
//
// The capture frame holds it by value; only the host's UI thread uses it. The windows and models
// read the options; only the setting panes change them, whole, through SetOptions.
#pragma once

#include <memory>
#include <vector>

#include "app/model/Forward.h"
#include "app/model/_KXCaptureStudyConfig.h"
#include "platform/base/CArray.h"
#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

namespace quiva::app {
struct Setting;
}

// The do-not-disturb flag of the title bar: the keyboard hook then acts on keys while the window
// is inactive. Loaded and saved with the last-save file; 0 when the module loads.
extern BOOL g_bNoPrevent;

class CKXQUIVAConfig {
public:
    CKXQUIVAConfig();
    virtual ~CKXQUIVAConfig();
    CKXQUIVAConfig(const CKXQUIVAConfig&) = delete;
    CKXQUIVAConfig& operator=(const CKXQUIVAConfig&) = delete;

    // "QUIVA.Capture.Config" in the exe folder, else in the current folder (then copied into the
    // exe folder as it was loaded). A file that is missing or does not parse leaves the defaults.
    void LoadConfig();
    // Writes the options as a new file in the exe folder (which is not created).
    void SaveConfig();

    // "QUIVA.Capture.LastSave": window rectangle, thumbnail strip, device name, g_bNoPrevent.
    void LoadLastSave();
    void SaveLastSave();
    // Stores the rectangle; a negative x or y that lies on no monitor becomes 0.
    void SetWindowRect(int x, int y, int width, int height);
    void SetDeviceName(const CString& name);
    CString GetDeviceName() const;

    // "QUIVA.Capture.Device.Config": the default record and one record per source.
    void LoadDeviceConfig();
    void SaveDeviceConfig();
    // The first record whose device name equals `name` without regard to case, else the
    // default record (whose device name is not replaced by `name`).
    _KXCaptureStudyConfig GetDeviceSettings(const CString& name);
    // Empty name: the default record's colour values, renderer and preserve flag. Otherwise the
    // record of that name is updated (its study kept) or appended. Memory only.
    void SetDeviceSettings(const CString& name, _KXCaptureStudyConfig settings);

    // DBServer.ini under the image root; called once by the constructor.
    void ReadDBServerIni();
    // Creates the connection on the first call and opens a new database connection on every
    // call; the connection (owned by this object) when it opened, else null.
    CKXAdoConnection* ConnectDatabase();

    // Study names, image directory, PACS server option and institution number from the
    // clinic-records database; once per object whose queries were all answered (a database
    // another program holds is waited for once, for all of them).
    void LoadDatabaseOptions();
    // Empty when the index is out of range.
    CString GetStudyName(int index) const;
    // The list changes only when the database took the statement; FALSE (and the list as it
    // was) otherwise. Adding a name already listed (case ignored) writes nothing and is TRUE.
    BOOL AddStudyName(const CString& name);
    BOOL DeleteStudyName(const CString& name);
    BOOL RenameStudyName(const CString& oldName, const CString& newName);
    // The PACS functions are on: a 'VEXARIS SERVER' option and 'CHECK MOLTRIX PACS KIND' = "10".
    // A TRUE answer is kept for the life of the object.
    BOOL IsPacsKind10();

    // The options of the configuration file and the PACS worklist.
    struct Options {
        BOOL m_bSaveWhenClose = 1;
        BOOL m_bWriteGraphFile = 0;
        BOOL m_bUseVideo = 1;
        BOOL m_bSaveJpegFormat = 1;
        int m_nJpegQuality = 100;
        int m_nRecordLimitTime = 30;  // seconds
        int m_nCaptureKey = 32;       // virtual-key code
        BOOL m_bApplyColor = 1;
        CString m_strTempFolder;
        BOOL m_bSourceFile = 0;
        BOOL m_bSourceDvd = 0;
        CString m_strPacsHost;
        CString m_strPacsPort;
        CString m_strPacsAETitle;
        CString m_strInstitutionNumber;  // also read from the database
        BOOL m_bSendDICOM = 0;
    };
    // Window placement, thumbnail strip and source of the last-save file.
    struct Placement {
        int m_nWindowX = 0;
        int m_nWindowY = 0;
        int m_nWindowWidth = 0;
        int m_nWindowHeight = 0;
        BOOL m_bThumbnailShow = 1;
        int m_nThumbnailSize = 200;
        CString m_strDeviceName;
    };
    // DBServer.ini.
    struct ConnectionSettings {
        BOOL m_bConnPriority = 0;
        CString m_strEngineName;
        CString m_strCommLinksHost;
        BOOL m_bPostgreSQL = 0;
        CString m_strPGHost;
        CString m_strPGPort;
    };

    const Options& GetOptions() const { return m_options; }
    // What a setting pane applies; SaveConfig then writes it.
    void SetOptions(const Options& options) { m_options = options; }
    const Placement& GetPlacement() const { return m_placement; }
    void SetThumbnail(BOOL show, int size);
    const ConnectionSettings& GetConnectionSettings() const { return m_dbServer; }
    // The store that LoadConfig points at the temporary folder.
    void SetModelManager(CKXQUIVACaptureModelManager* manager) { m_pModelManager = manager; }

    CString GetImageRoot() const { return m_strImageRoot; }
    // The clinic's image directory option, on the data folder's drive when it names none.
    CString GetImageDirectory() const { return m_strImageDirectory; }
    // A folder the settings name without a drive, read as Windows reads it on the drive of the
    // clinic's data folder: "\x" on that drive, a relative one below the data folder; one with
    // a drive, or a network path, as it is.
    static CString OnDataDrive(const CString& dataFolder, const CString& folder);
    // What LoadDatabaseOptions would read; for a configuration given its folder directly.
    void SetImageDirectory(const CString& directory) { m_strImageDirectory = directory; }
    void SetPacsServerIp(const CString& ip) { m_options.m_strPacsHost = ip; }
    CString GetPacsServerIp() const { return m_options.m_strPacsHost; }
    void SetPacsPort(const CString& port) { m_options.m_strPacsPort = port; }
    CString GetPacsPort() const { return m_options.m_strPacsPort; }
    void SetPacsAETitle(const CString& title) { m_options.m_strPacsAETitle = title; }
    CString GetPacsAETitle() const { return m_options.m_strPacsAETitle; }
    void SetInstitutionNumber(const CString& number) { m_options.m_strInstitutionNumber = number; }
    CString GetInstitutionNumber() const { return m_options.m_strInstitutionNumber; }
    // The PostgreSQL port when the PostgreSQL flag is set, else empty.
    CString GetDatabasePort() const;
    const CArray<CString>& GetStudyNames() const { return m_studyNames; }
    // The list as the database gives it, taken as it is (names differing only in case kept).
    void SetStudyNames(const CArray<CString>& names) { m_studyNames = names; }
    // The 'VEXARIS SERVER' option read by LoadDatabaseOptions; IsPacsKind10 asks nothing without it.
    CString GetPacsServerOption() const { return m_strPacsServerOption; }
    void SetPacsServerOption(const CString& option) { m_strPacsServerOption = option; }
    // Takes IsPacsKind10's answer as already seen TRUE, without asking the database.
    void SetPacsKind10Seen() { m_bPacsKindSeen = 1; }
    BOOL IsDatabaseOptionsLoaded() const { return m_bDatabaseOptionsLoaded; }

    // The clinic-records connection, made by ConnectDatabase or given here; null before either.
    void UseConnection(std::unique_ptr<CKXAdoConnection> connection);
    CKXAdoConnection* GetConnection() const { return m_pConnection.get(); }

    // The per-source records of the device file (owned) and its default record.
    const CArray<_KXCaptureStudyConfig*>& GetDevices() const { return m_devices; }
    const _KXCaptureStudyConfig& GetDefaultDevice() const { return m_defaultDevice; }

    // Limits applied when the options are read.
    static constexpr int kMaxRecordLimitSeconds = 24 * 60 * 60;
    // The longest study name, in characters: what the clinic records keep of one (FOPTION's
    // SETUPSECT and MMAIN's TITLE).
    static constexpr int kMaxStudyName = 100;

protected:
    void DeleteDevices();

private:
    void PlaceWindow(int x, int y, int width, int height);
    // The four option queries; whether every one of them was answered.
    bool LoadDatabaseOptionsRows();
    // The settings of the configuration file and of the last-save file.
    std::vector<quiva::app::Setting> ConfigSettings();
    std::vector<quiva::app::Setting> LastSaveSettings();

    CString m_strImageRoot;
    CKXQUIVACaptureModelManager* m_pModelManager = nullptr;  // not owned
    Options m_options;
    Placement m_placement;
    ConnectionSettings m_dbServer;

    // Per-source settings (device file); the records are owned.
    CArray<_KXCaptureStudyConfig*> m_devices;
    _KXCaptureStudyConfig m_defaultDevice;

    // Options kept in the clinic-records database, and its connection.
    CString m_strImageDirectory;
    CArray<CString> m_studyNames;
    CString m_strPacsServerOption;
    BOOL m_bPacsKindSeen = 0;
    BOOL m_bDatabaseOptionsLoaded = 0;
    std::unique_ptr<CKXAdoConnection> m_pConnection;  // a CKXHrbConnection or CKXHrbPGConnection
};
