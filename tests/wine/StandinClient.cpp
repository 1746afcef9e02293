// Stands in for the client's aim.exe in the Windows tests; never shipped.
// Built without the C runtime so its image ends long before the patch
// positions; the build pads the file with zeros to 64 KiB. When started it
// appends one line to the log named by VORNIX_STANDIN_LOG (default
// C:\vornix-standin.log):
//   path=<own path>|at21915=<hex>|at21756=<hex>|show=<show state>|elevation=<type>|integrity=<RID>|
//   windows=<major.minor>|cwd=<directory>
// The token's elevation type is 1 default, 2 full, 3 limited (0: unknown); the
// integrity RID 2000 is medium, 3000 high (0: unknown).
#include <windows.h>

namespace {

void Append(char* line, int& length, const wchar_t* text) {
    length += WideCharToMultiByte(CP_UTF8, 0, text, -1, line + length, 2048 - length, nullptr, nullptr) - 1;
}

// What the token says: elevation type and integrity level.
void TokenState(DWORD& elevationType, DWORD& integrity) {
    elevationType = integrity = 0;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    DWORD size = 0;
    GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(18), &elevationType, sizeof elevationType, &size);
    static char label[256];
    if (GetTokenInformation(token, static_cast<TOKEN_INFORMATION_CLASS>(25), label, sizeof label, &size)) {
        PSID sid = reinterpret_cast<SID_AND_ATTRIBUTES*>(label)->Sid;
        integrity = *GetSidSubAuthority(sid, *GetSidSubAuthorityCount(sid) - 1u);
    }
    CloseHandle(token);
}

int ByteAt(HANDLE file, LONG offset) {
    unsigned char byte = 0;
    DWORD got = 0;
    if (SetFilePointer(file, offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return -1;
    if (!ReadFile(file, &byte, 1, &got, nullptr) || got != 1) return -1;
    return byte;
}

}  // namespace

extern "C" void __stdcall StandinMain() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    const int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : -1;

    HANDLE image = CreateFileW(self, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    const int at21915 = ByteAt(image, 21914);
    const int at21756 = ByteAt(image, 21755);
    CloseHandle(image);

    DWORD elevationType = 0, integrity = 0;
    TokenState(elevationType, integrity);
    const DWORD version = GetVersion();

    static char line[2048];
    int length = 0;
    Append(line, length, L"path=");
    Append(line, length, self);
    length += wsprintfA(line + length, "|at21915=%02x|at21756=%02x|show=%d|elevation=%lu|integrity=%lx|windows=%u.%u|cwd=",
                        at21915, at21756, show, elevationType, integrity, version & 0xFF, (version >> 8) & 0xFF);
    Append(line, length, directory);
    length += wsprintfA(line + length, "\r\n");

    wchar_t logPath[MAX_PATH] = L"C:\\vornix-standin.log";
    GetEnvironmentVariableW(L"VORNIX_STANDIN_LOG", logPath, MAX_PATH);
    HANDLE log = CreateFileW(logPath, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(log);
    ExitProcess(0);
}
