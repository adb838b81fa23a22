// Processes: starting a program by command line with the Windows search order, a snapshot of
// the running processes by image name, opening and terminating them.
//
// Programs of this system carry no extension on Linux: a first token "X.exe" is looked for as
// written and then as "X"; the snapshot reports a program without an extension as "name.exe".
// With QUIVA_SESSION set, a snapshot lists only processes whose environment has the same value,
// so that parallel runs (tests) do not see or end each other's programs.
#pragma once

#include <string>
#include <vector>

#include "platform/base/fileapi.h"
#include "platform/base/handle.h"
#include "platform/base/wintypes.h"

#define PROCESS_TERMINATE 0x0001
#define PROCESS_QUERY_INFORMATION 0x0400
#define SYNCHRONIZE 0x00100000L
#define PROCESS_ALL_ACCESS 0x001FFFFF
#define TH32CS_SNAPPROCESS 0x00000002
#define STILL_ACTIVE 259
#define STARTF_USESHOWWINDOW 0x00000001

struct STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute, dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput, hStdOutput, hStdError;
};
typedef STARTUPINFOW* LPSTARTUPINFOW;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
typedef PROCESS_INFORMATION* LPPROCESS_INFORMATION;

struct PROCESSENTRY32W {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    WCHAR szExeFile[MAX_PATH];
};
typedef PROCESSENTRY32W* LPPROCESSENTRY32W;

// Starts a program without waiting for it. Only the command-line form is supported (no
// application name); the environment is the caller's, handles are never inherited, and the new
// program's standard input is empty.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags, LPVOID environment,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION processInformation);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
// Ends the process and waits (up to a second) until it is gone.
BOOL TerminateProcess(HANDLE process, UINT exitCode);
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
DWORD GetCurrentProcessId();

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry);
BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry);

namespace quiva {
// Splits a command line the way Windows programs receive their arguments.
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);
// The native path of the program a first token names, by the Windows search order (the
// running program's folder, the current folder, then PATH), or empty.
std::string FindProgram(const std::wstring& token);
// The name a snapshot reports for an executable path.
std::wstring ImageNameOf(const std::string& exePath);
// Waits up to ms for a process to end; true when it has.
bool WaitForProcessExit(HANDLE process, DWORD ms);
}  // namespace quiva
