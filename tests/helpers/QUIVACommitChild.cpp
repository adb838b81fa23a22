// A capture station for the commit tests: rebuilds the models of a temporary store and commits
// one chart's model into the clinic records, as another process. With a step marker it ends
// itself with SIGKILL when the commit reaches that step.
//
//   QUIVACommitChild <store> <image directory> <connection string> <dbms kind> <chart> [<marker> [<nth>]]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXAdoConnection.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"

int main(int argc, char** argv)
{
    if (argc < 6)
        return 2;
    auto wide = [](const char* s) { return CString(quiva::Utf8ToWide(s).c_str()); };
    const std::wstring marker = argc > 6 ? quiva::Utf8ToWide(argv[6]) : L"";
    const int nth = argc > 7 ? std::atoi(argv[7]) : 1;
    int seen = 0;
    if (!marker.empty())
        quiva::SetDebugSink([&](const std::wstring& line) {
            if (line.rfind(marker, 0) == 0 && ++seen == nth)
                ::raise(SIGKILL);
        });
    CKXQUIVAConfig config;
    config.SetImageDirectory(wide(argv[2]));
    auto connection = std::make_unique<CKXAdoConnection>();
    connection->connectionString = wide(argv[3]);
    connection->dbmsKind = std::atoi(argv[4]);
    config.UseConnection(std::move(connection));
    CKXQUIVACaptureModelManager manager;
    manager.m_pConfig = &config;
    manager.EnsureImageRoot(wide(argv[1]));
    manager.LoadAll();
    CKXQUIVACaptureModel* model = manager.GetOrCreateModel(wide(argv[5]), L"");
    // The process's exit code is the commit's result as a number.
    const int result = static_cast<int>(model->Commit());
    std::printf("%d\n", result);
    return result;
}
