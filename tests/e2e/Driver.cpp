#include "e2e/Driver.h"

#include <commctrl.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>

namespace nw::e2e {

namespace {

// Long enough for a busy program under Wine, short enough that a hung one
// fails the test instead of stalling it.
constexpr UINT kSendTimeoutMs = 5000;
constexpr int kTextUnits = 2048;

bool Send(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result = nullptr) {
    DWORD_PTR r = 0;
    if (!::SendMessageTimeoutW(wnd, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, kSendTimeoutMs, &r))
        return false;
    if (result) *result = static_cast<LRESULT>(r);
    return true;
}

LRESULT SendValue(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT failed) {
    LRESULT r = 0;
    return Send(wnd, msg, wp, lp, &r) ? r : failed;
}

// A block of memory inside another process, for the control messages that
// take a pointer: the control reads and writes it in its own address space.
class RemoteBlock {
public:
    RemoteBlock(HWND wnd, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(wnd, &pid);
        if (!pid) return;
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_INFORMATION, FALSE, pid);
        if (!process_) return;
        address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) ::CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    bool ok() const { return address_ != nullptr; }
    char* at(size_t offset) const { return static_cast<char*>(address_) + offset; }
    LPARAM param(size_t offset = 0) const { return reinterpret_cast<LPARAM>(at(offset)); }
    bool Write(size_t offset, const void* data, size_t n) const {
        if (!ok() || offset + n > size_) return false;
        SIZE_T done = 0;
        return ::WriteProcessMemory(process_, at(offset), data, n, &done) && done == n;
    }
    bool Read(size_t offset, void* data, size_t n) const {
        if (!ok() || offset + n > size_) return false;
        SIZE_T done = 0;
        return ::ReadProcessMemory(process_, at(offset), data, n, &done) && done == n;
    }
    std::wstring ReadText(size_t offset, size_t units) const {
        std::wstring text(units, L'\0');
        if (!Read(offset, text.data(), units * sizeof(wchar_t))) return {};
        text.resize(wcsnlen(text.c_str(), units));
        return text;
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

std::wstring ClassOf(HWND wnd) {
    wchar_t name[256] = {};
    ::GetClassNameW(wnd, name, 256);
    return name;
}

struct EnumState {
    DWORD pid;
    const std::wstring* className;
    std::vector<HWND>* found;
};

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM lp) {
    auto* state = reinterpret_cast<EnumState*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(wnd, &pid);
    if (pid == state->pid && (state->className->empty() || ClassOf(wnd) == *state->className))
        state->found->push_back(wnd);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND wnd, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(wnd);
    return TRUE;
}

bool WriteWholeFile(const std::wstring& path, const std::string& content) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = content.empty() ||
              (::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
               written == content.size());
    ::CloseHandle(file);
    return ok;
}

bool ReadWholeFile(const std::wstring& path, std::string& content) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    content.clear();
    char chunk[65536];
    DWORD got = 0;
    bool ok = true;
    for (;;) {
        if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) { ok = false; break; }
        if (got == 0) break;
        content.append(chunk, got);
    }
    ::CloseHandle(file);
    return ok;
}

void DeleteTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path);
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// The environment of this process with the given variables replaced, as a
// block for CreateProcessW.
std::vector<wchar_t> BuildEnvironment(const std::vector<std::pair<std::wstring, std::wstring>>& set) {
    auto sameName = [](const std::wstring& entry, const std::wstring& name) {
        return entry.size() > name.size() && entry[name.size()] == L'=' &&
               _wcsnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
    };
    std::vector<std::wstring> entries;
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p; p += wcslen(p) + 1) entries.emplace_back(p);
        ::FreeEnvironmentStringsW(block);
    }
    for (const auto& [name, value] : set) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const std::wstring& e) { return sameName(e, name); }),
                      entries.end());
        if (!value.empty()) entries.push_back(name + L"=" + value);
    }
    std::vector<wchar_t> block;
    for (const auto& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(0);
    block.push_back(0);
    return block;
}

std::atomic<int> launchCounter{0};

}  // namespace

// ---- Helpers ------------------------------------------------------------------

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), n);
    return text;
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                  nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n,
                          nullptr, nullptr);
    return utf8;
}

DWORD WaitLimit(DWORD timeoutMs) {
    static const DWORD scale = [] {
        wchar_t text[8] = {};
        DWORD n = ::GetEnvironmentVariableW(L"NW_E2E_WAIT_SCALE", text, 8);
        long value = n > 0 && n < 8 ? wcstol(text, nullptr, 10) : 1;
        return static_cast<DWORD>(value >= 1 && value <= 20 ? value : 1);
    }();
    return timeoutMs * scale;
}

std::wstring BinFolder() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    if (wchar_t* slash = wcsrchr(path, L'\\')) *slash = 0;
    return path;
}

std::vector<HWND> ProcessWindows(DWORD pid, const std::wstring& className) {
    std::vector<HWND> found;
    EnumState state{pid, &className, &found};
    ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&state));
    return found;
}

HWND FindProcessWindow(DWORD pid, const std::wstring& className) {
    auto found = ProcessWindows(pid, className);
    return found.empty() ? nullptr : found.front();
}

int ListRowCount(HWND list) {
    if (!list) return -1;
    return static_cast<int>(SendValue(list, LVM_GETITEMCOUNT, 0, 0, -1));
}

int ListColumnCount(HWND list) {
    if (!list) return -1;
    HWND header = reinterpret_cast<HWND>(SendValue(list, LVM_GETHEADER, 0, 0, 0));
    if (!header) return -1;
    return static_cast<int>(SendValue(header, HDM_GETITEMCOUNT, 0, 0, -1));
}

int ListColumnWidth(HWND list, int column) {
    if (!list) return -1;
    return static_cast<int>(SendValue(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0, -1));
}

std::vector<int> ListColumnOrder(HWND list) {
    int count = ListColumnCount(list);
    if (count <= 0) return {};
    RemoteBlock block(list, sizeof(int) * static_cast<size_t>(count));
    std::vector<int> order(static_cast<size_t>(count));
    LRESULT r = 0;
    if (!Send(list, LVM_GETCOLUMNORDERARRAY, static_cast<WPARAM>(count), block.param(), &r) || !r ||
        !block.Read(0, order.data(), sizeof(int) * order.size()))
        return {};
    return order;
}

std::wstring ListColumnTitle(HWND list, int column) {
    if (!list) return {};
    RemoteBlock block(list, sizeof(LVCOLUMNW) + kTextUnits * sizeof(wchar_t));
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = reinterpret_cast<wchar_t*>(block.at(sizeof(LVCOLUMNW)));
    col.cchTextMax = kTextUnits;
    wchar_t zero = 0;
    if (!block.Write(0, &col, sizeof col) || !block.Write(sizeof(LVCOLUMNW), &zero, sizeof zero))
        return {};
    LRESULT r = 0;
    if (!Send(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), block.param(), &r) || !r) return {};
    return block.ReadText(sizeof(LVCOLUMNW), kTextUnits);
}

std::wstring ListCell(HWND list, int row, int column) {
    if (!list) return {};
    RemoteBlock block(list, sizeof(LVITEMW) + kTextUnits * sizeof(wchar_t));
    if (!block.ok()) return {};
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(block.at(sizeof(LVITEMW)));
    item.cchTextMax = kTextUnits;
    wchar_t zero = 0;
    if (!block.Write(0, &item, sizeof item) || !block.Write(sizeof(LVITEMW), &zero, sizeof zero))
        return {};
    if (!Send(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), block.param())) return {};
    // Callback texts too land in the buffer: the control copies them.
    return block.ReadText(sizeof(LVITEMW), kTextUnits);
}

bool ListSetState(HWND list, int row, UINT state, UINT mask) {
    if (!list) return false;
    RemoteBlock block(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = mask;
    item.state = state;
    if (!block.Write(0, &item, sizeof item)) return false;
    LRESULT r = 0;
    return Send(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), block.param(), &r) && r;
}

std::wstring StatusBarText(HWND statusBar, int part) {
    if (!statusBar) return {};
    RemoteBlock block(statusBar, kTextUnits * sizeof(wchar_t));
    wchar_t zero = 0;
    if (!block.Write(0, &zero, sizeof zero)) return {};
    LRESULT length = SendValue(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0, 0);
    if (LOWORD(length) >= kTextUnits) return {};
    if (!Send(statusBar, SB_GETTEXTW, static_cast<WPARAM>(part), block.param())) return {};
    return block.ReadText(0, kTextUnits);
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::string content;
    std::vector<std::string> lines;
    if (!ReadWholeFile(path, content)) return lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        // A line still being written (no newline yet) is not counted.
        if (end == std::string::npos) break;
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

int CountLinesStartingWith(const std::vector<std::string>& lines, const char* prefix) {
    size_t n = strlen(prefix);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.compare(0, n, prefix) == 0;
    }));
}

// ---- Program: start and end ------------------------------------------------------

Program::~Program() {
    if (process_) {
        if (Running()) Kill();
        ::CloseHandle(process_);
        process_ = nullptr;
    }
    if (!folder_.empty() && !keepFolder_) {
        // The loader may hold the copied executable a moment after the end.
        for (int attempt = 0; attempt < 20; ++attempt) {
            DeleteTree(folder_);
            if (::GetFileAttributesW(folder_.c_str()) == INVALID_FILE_ATTRIBUTES) break;
            ::Sleep(50);
        }
    }
}

bool Program::Launch(const LaunchOptions& options) {
    wchar_t temp[MAX_PATH] = {};
    DWORD n = ::GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) { error_ = L"no temporary folder"; return false; }
    std::wstring base = temp;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
        std::wstring candidate = base + L"\\nwe2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(++launchCounter) + L"-" +
                                 std::to_wstring(::GetTickCount64() % 100000);
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) folder_ = candidate;
    }
    if (folder_.empty()) { error_ = L"cannot make a test folder"; return false; }
    wchar_t keep[8];
    keepFolder_ = options.keepFolder || ::GetEnvironmentVariableW(L"NW_E2E_KEEP", keep, 8) > 0;

    std::wstring bin = BinFolder();
    std::wstring exe = PathOf(L"nearwatch.exe");
    if (!::CopyFileW((bin + L"\\nearwatch.exe").c_str(), exe.c_str(), FALSE)) {
        error_ = L"cannot copy " + bin + L"\\nearwatch.exe";
        return false;
    }
    bool ok = true;
    if (options.writeScenario) ok &= WriteFile(L"scenario.txt", options.scenario);
    if (!options.config.empty()) ok &= WriteFile(L"nearwatch.cfg", options.config);
    if (!options.descriptions.empty()) ok &= WriteFile(L"nearwatch_Desc.ini", options.descriptions);
    if (!options.language.empty()) ok &= WriteFile(L"nearwatch_lng.ini", options.language);
    for (const auto& [name, content] : options.files) ok &= WriteFile(name, content);
    for (const auto& [source, name] : options.copies)
        ok &= ::CopyFileW(source.c_str(), PathOf(name).c_str(), FALSE) != 0;
    if (!ok) { error_ = L"cannot write the test files"; return false; }

    std::vector<std::pair<std::wstring, std::wstring>> env = {
        {L"NEARWATCH_RADIO", bin + L"\\simradio.dll"},
        {L"NEARWATCH_SIMRADIO", PathOf(L"scenario.txt")},
        {L"NEARWATCH_SIMRADIO_LOG", PathOf(L"radio.log")},
        // The scan number lives in the process environment: start from 1.
        {L"NEARWATCH_SIMRADIO_SCAN", L""},
    };
    env.insert(env.end(), options.environment.begin(), options.environment.end());
    std::vector<wchar_t> block = BuildEnvironment(env);

    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!options.arguments.empty()) commandLine += L" " + options.arguments;
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(0);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, block.data(), folder_.c_str(), &si, &pi)) {
        error_ = L"cannot start nearwatch.exe, error " + std::to_wstring(::GetLastError());
        return false;
    }
    ::CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    if (options.waitForWindow && !WaitMainWindow(options.windowTimeoutMs)) {
        error_ = Running() ? L"the main window did not appear" : L"the program ended at start";
        return false;
    }
    return true;
}

std::wstring Program::PathOf(const std::wstring& name) const { return folder_ + L"\\" + name; }

bool Program::Running() const {
    return process_ && ::WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::PostClose() const {
    HWND main = MainWindow();
    return main && ::PostMessageW(main, WM_CLOSE, 0, 0);
}

bool Program::WaitExit(DWORD timeoutMs, DWORD* exitCode) const {
    if (!process_ || ::WaitForSingleObject(process_, WaitLimit(timeoutMs)) != WAIT_OBJECT_0) return false;
    if (exitCode) ::GetExitCodeProcess(process_, exitCode);
    return true;
}

bool Program::Close(DWORD timeoutMs, DWORD* exitCode) const {
    return PostClose() && WaitExit(timeoutMs, exitCode);
}

void Program::Kill() {
    if (!process_) return;
    ::TerminateProcess(process_, 255);
    ::WaitForSingleObject(process_, 5000);
}

// ---- Program: files ---------------------------------------------------------------

bool Program::WriteFile(const std::wstring& name, const std::string& content) const {
    return WriteWholeFile(PathOf(name), content);
}

bool Program::ReadFile(const std::wstring& name, std::string& content) const {
    return ReadWholeFile(PathOf(name), content);
}

bool Program::FileExists(const std::wstring& name) const {
    return ::GetFileAttributesW(PathOf(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Program::FileWritten(const std::wstring& name) const {
    // Sharing only reading fails while a writer has the file open.
    HANDLE file = ::CreateFileW(PathOf(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size = {};
    const bool hasBytes = ::GetFileSizeEx(file, &size) && size.QuadPart > 0;
    ::CloseHandle(file);
    return hasBytes;
}

bool Program::WriteScenario(const std::string& scenario) const {
    // Written aside and moved in, so the radio never reads half a file.
    std::wstring aside = PathOf(L"scenario.new");
    if (!WriteWholeFile(aside, scenario)) return false;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (::MoveFileExW(aside.c_str(), PathOf(L"scenario.txt").c_str(), MOVEFILE_REPLACE_EXISTING))
            return true;
        ::Sleep(25);
    }
    return false;
}

// ---- Program: windows ----------------------------------------------------------------

HWND Program::MainWindow() const { return pid_ ? FindProcessWindow(pid_, L"Nearwatch") : nullptr; }

HWND Program::WaitMainWindow(DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = MainWindow()) != nullptr || !Running(); }, timeoutMs);
    if (found) {
        // Let creation finish: the window answers messages once its thread
        // runs the message loop.
        ::SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, nullptr);
    }
    return found;
}

HWND Program::Control(int id) const {
    HWND main = MainWindow();
    return main ? ::GetDlgItem(main, id) : nullptr;
}

bool Program::IsVisible() const {
    HWND main = MainWindow();
    return main && ::IsWindowVisible(main);
}

std::wstring Program::Title() const { return WindowText(MainWindow()); }

// ---- Program: the list ---------------------------------------------------------------

int Program::RowCount() const { return ListRowCount(List()); }
int Program::ColumnCount() const { return ListColumnCount(List()); }

std::wstring Program::ColumnTitle(int column) const { return ListColumnTitle(List(), column); }

int Program::ColumnWidth(int column) const { return ListColumnWidth(List(), column); }

std::vector<int> Program::ColumnOrder() const { return ListColumnOrder(List()); }

std::wstring Program::Cell(int row, int column) const { return ListCell(List(), row, column); }

Row Program::RowTexts(int row) const {
    HWND list = List();
    Row texts;
    int columns = ListColumnCount(list);
    for (int c = 0; c < columns; ++c) texts.push_back(ListCell(list, row, c));
    return texts;
}

std::vector<Row> Program::Rows() const {
    std::vector<Row> rows;
    int count = RowCount();
    for (int r = 0; r < count; ++r) rows.push_back(RowTexts(r));
    return rows;
}

int Program::FindRow(int column, const std::wstring& text) const {
    HWND list = List();
    int count = ListRowCount(list);
    for (int r = 0; r < count; ++r)
        if (ListCell(list, r, column) == text) return r;
    return -1;
}

bool Program::IsSelected(int row) const {
    HWND list = List();
    return list && (SendValue(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED, 0) &
                    LVIS_SELECTED) != 0;
}

int Program::SelectedCount() const {
    HWND list = List();
    return list ? static_cast<int>(SendValue(list, LVM_GETSELECTEDCOUNT, 0, 0, -1)) : -1;
}

std::vector<int> Program::SelectedRows() const {
    std::vector<int> rows;
    int count = RowCount();
    for (int r = 0; r < count; ++r)
        if (IsSelected(r)) rows.push_back(r);
    return rows;
}

bool Program::SelectRow(int row, bool selected) const {
    UINT state = selected ? (LVIS_SELECTED | LVIS_FOCUSED) : 0;
    UINT mask = row < 0 ? LVIS_SELECTED : (LVIS_SELECTED | LVIS_FOCUSED);
    return ListSetState(List(), row, state & mask, mask);
}

bool Program::SelectOnly(int row) const { return SelectRow(-1, false) && SelectRow(row, true); }

DWORD Program::ListExtendedStyle() const {
    HWND list = List();
    return list ? static_cast<DWORD>(SendValue(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0, 0)) : 0;
}

// ---- Program: status bar and tool bar ---------------------------------------------

std::wstring Program::StatusText(int part) const { return StatusBarText(StatusBar(), part); }

int Program::StatusPartCount() const {
    HWND bar = StatusBar();
    return bar ? static_cast<int>(SendValue(bar, SB_GETPARTS, 0, 0, -1)) : -1;
}

int Program::ToolButtonState(int command) const {
    HWND bar = ToolBar();
    return bar ? static_cast<int>(SendValue(bar, TB_GETSTATE, static_cast<WPARAM>(command), 0, -1)) : -1;
}

bool Program::ToolButtonEnabled(int command) const {
    int state = ToolButtonState(command);
    return state >= 0 && (state & TBSTATE_ENABLED) != 0;
}

// ---- Program: commands and keys ------------------------------------------------------

bool Program::Command(int id) const {
    HWND main = MainWindow();
    return main && ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool Program::PostKey(UINT vk, HWND target) const {
    HWND main = MainWindow();
    if (!target && main) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        DWORD thread = ::GetWindowThreadProcessId(main, nullptr);
        if (::GetGUIThreadInfo(thread, &info) && info.hwndFocus) target = info.hwndFocus;
        if (!target) target = List();
    }
    if (!target) return false;
    UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (static_cast<LPARAM>(scan) << 16);
    LPARAM up = down | (LPARAM(1) << 30) | (LPARAM(1) << 31);
    return ::PostMessageW(target, WM_KEYDOWN, vk, down) && ::PostMessageW(target, WM_KEYUP, vk, up);
}

bool Program::PressKeys(UINT vk, UINT modifiers) const {
    HWND main = MainWindow();
    if (!main) return false;
    ::SetForegroundWindow(main);
    WaitUntil([&] { return ::GetForegroundWindow() == main; }, 2000);
    if (::GetForegroundWindow() != main) return false;
    std::vector<INPUT> inputs;
    auto key = [&](UINT code, bool up) {
        INPUT in = {};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = static_cast<WORD>(code);
        in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
        in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(in);
    };
    const UINT mods[][2] = {{MOD_CONTROL, VK_CONTROL}, {MOD_ALT, VK_MENU}, {MOD_SHIFT, VK_SHIFT}};
    for (const auto& m : mods)
        if (modifiers & m[0]) key(m[1], false);
    key(vk, false);
    key(vk, true);
    for (const auto& m : mods)
        if (modifiers & m[0]) key(m[1], true);
    UINT sent = ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    // Let the program take the keys before the caller looks at the result.
    ::SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, nullptr);
    return sent == inputs.size();
}

// ---- Program: dialogs ------------------------------------------------------------------

std::vector<HWND> Program::Dialogs() const {
    std::vector<HWND> visible;
    for (HWND wnd : ProcessWindows(pid_, L"#32770"))
        if (::IsWindowVisible(wnd)) visible.push_back(wnd);
    return visible;
}

HWND Program::WaitDialog(DWORD timeoutMs, const std::wstring& titleContains) const {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND wnd : Dialogs()) {
                if (titleContains.empty() || WindowText(wnd).find(titleContains) != std::wstring::npos) {
                    found = wnd;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

bool Program::WaitNoDialog(DWORD timeoutMs) const {
    return WaitUntil([&] { return Dialogs().empty(); }, timeoutMs);
}

std::wstring Program::WindowText(HWND window) {
    if (!window) return {};
    std::vector<wchar_t> text(kTextUnits * 4, L'\0');
    LRESULT r = 0;
    if (!Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &r)) return {};
    return std::wstring(text.data());
}

std::wstring Program::DialogText(HWND dialog) {
    std::vector<HWND> children;
    ::EnumChildWindows(dialog, CollectChild, reinterpret_cast<LPARAM>(&children));
    std::wstring joined;
    for (HWND child : children) {
        if (_wcsicmp(ClassOf(child).c_str(), L"Static") != 0) continue;
        std::wstring text = WindowText(child);
        if (text.empty()) continue;
        if (!joined.empty()) joined += L"\n";
        joined += text;
    }
    return joined;
}

std::wstring Program::ControlText(HWND dialog, int id) { return WindowText(::GetDlgItem(dialog, id)); }

bool Program::SetControlText(HWND dialog, int id, const std::wstring& text) {
    HWND control = ::GetDlgItem(dialog, id);
    LRESULT r = 0;
    return control && Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &r) && r;
}

bool Program::IsChecked(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    return control && SendValue(control, BM_GETCHECK, 0, 0, 0) == BST_CHECKED;
}

bool Program::SetChecked(HWND dialog, int id, bool checked) {
    HWND control = ::GetDlgItem(dialog, id);
    if (!control) return false;
    if (!Send(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0)) return false;
    // The dialog learns of the change as from a click.
    return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

bool Program::IsEnabled(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    return control && ::IsWindowEnabled(control);
}

bool Program::PressButton(HWND dialog, int id) {
    HWND control = ::GetDlgItem(dialog, id);
    if (!dialog || !::IsWindow(dialog)) return false;
    return ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// ---- Program: the simulated radio ------------------------------------------------------

std::vector<std::string> Program::RadioLog() const { return ReadLines(PathOf(L"radio.log")); }

int Program::ScansStarted() const { return CountLinesStartingWith(RadioLog(), "start "); }

int Program::ScansClosed() const { return CountLinesStartingWith(RadioLog(), "close "); }

bool Program::WaitScans(int n, DWORD timeoutMs) const {
    return WaitUntil([&] { return ScansClosed() >= n; }, timeoutMs, 50);
}

std::vector<int> Program::ScanMultipliers() const {
    std::vector<int> multipliers;
    for (const std::string& line : RadioLog()) {
        unsigned scan = 0, multiplier = 0;
        if (sscanf(line.c_str(), "start %u multiplier %u", &scan, &multiplier) == 2)
            multipliers.push_back(static_cast<int>(multiplier));
    }
    return multipliers;
}

}  // namespace nw::e2e
