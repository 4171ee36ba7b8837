#include "hostile_support.h"

#include "resources/resource.h"

#include <algorithm>

using fixture::Contains;

RunOutcome RunInstaller(const std::string& commandLine, const std::string& dir, const std::string& programDir,
                        DWORD timeoutMs)
{
    DeleteFileA((fixture::TempDir() + "\\UPGRADE.LOG").c_str());
    const std::string programLog = programDir + "\\UPGRADE.LOG";
    const size_t programLogBefore = fixture::ReadFile(programLog).size();
    RunOutcome outcome;
    robot::Program program(commandLine, dir);
    const DWORD start = GetTickCount();
    // The temporary log goes into the program directory's UPGRADE.LOG when the run ends: the
    // last text seen of it is kept.
    std::string log;
    while (GetTickCount() - start < timeoutMs) {
        std::string now = fixture::TempLog();
        if (!now.empty())
            log = now;
        int code = program.WaitExit(100);
        if (code != -1 || !program.Running()) {
            // A run that ends just after the wait ran out has its code asked for again.
            outcome.exitCode = code != -1 ? code : program.WaitExit(1000);
            break;
        }
        robot::MessageBoxInfo box;
        if (program.WaitMessageBox(&box, 100)) {
            outcome.boxes.push_back(box.text);
            bool cancel = std::find(box.buttonIds.begin(), box.buttonIds.end(), IDCANCEL) != box.buttonIds.end();
            program.Answer(box, cancel ? IDCANCEL : IDOK);
            continue;
        }
        if (program.WaitWindow(ZFIX_DIALOG_CLASS, 100) && Contains(program.Text(IDC_TEXT5), "Failed to upgrade Zorel.")) {
            outcome.failurePage = true;
            log = fixture::TempLog();
            program.Click(IDCANCEL);
            outcome.exitCode = program.WaitExit(30000);
            break;
        }
    }
    if (program.Running()) {
        HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, program.ProcessId());
        if (h) {
            TerminateProcess(h, 99);
            CloseHandle(h);
        }
        program.WaitExit(10000);
        outcome.exitCode = -1;
    }
    // A run that ends normally appends its whole log to the program directory's UPGRADE.LOG and
    // deletes the temporary one, maybe before the last poll saw its last lines: that copy counts.
    std::string now = fixture::TempLog();
    if (now.empty()) {
        std::string all = fixture::ReadFile(programLog);
        if (all.size() > programLogBefore)
            now = all.substr(programLogBefore);
    }
    outcome.log = now.empty() ? log : now;
    return outcome;
}

std::string Describe(const RunOutcome& o)
{
    std::string text = "exit " + std::to_string(o.exitCode);
    if (o.failurePage)
        text += ", failure page";
    for (const std::string& b : o.boxes)
        text += ", box \"" + b + "\"";
    for (const std::string& line : fixture::Lines(o.log)) {
        if (!line.empty() && line[0] != '\t' &&
            (Contains(line, "ERROR") || Contains(line, "damaged") || Contains(line, "Failed") || Contains(line, "failed") ||
             Contains(line, "Cannot") || Contains(line, "insufficent") || Contains(line, "Refused"))) {
            text += ", log \"" + line + "\"";
            break;
        }
    }
    // The run's last word at level 0, resource look-ups aside.
    std::vector<std::string> lines = fixture::Lines(o.log);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (!it->empty() && (*it)[0] != '\t' && it->compare(0, 15, "FindAndLoadRes:") != 0 && it->compare(0, 8, "WinMain:") != 0 &&
            it->compare(0, 12, "MainDlgProc:") != 0) {
            if (!Contains(text, *it))
                text += ", last \"" + *it + "\"";
            break;
        }
    }
    return text;
}

std::string ResourceOf(const std::string& exe, const char* type, int id)
{
    std::string bytes;
    HMODULE module = LoadLibraryExA(exe.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return bytes;
    HRSRC hRes = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (hRes)
        bytes.assign((const char*)LockResource(LoadResource(module, hRes)), SizeofResource(module, hRes));
    FreeLibrary(module);
    return bytes;
}

bool PutResources(const std::string& exe, const std::map<std::pair<std::string, int>, std::string>& resources)
{
    HANDLE hUpdate = BeginUpdateResourceA(exe.c_str(), FALSE);
    if (!hUpdate)
        return false;
    bool ok = true;
    for (const auto& r : resources)
        ok = UpdateResourceA(hUpdate, r.first.first.c_str(), MAKEINTRESOURCEA(r.first.second),
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), (void*)r.second.data(), (DWORD)r.second.size()) &&
             ok;
    return EndUpdateResourceA(hUpdate, !ok) && ok;
}

std::map<std::string, std::string> Snapshot(const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const std::string& f : fixture::FilesBelow(root))
        files[f] = fixture::ReadFile(root + "\\" + f);
    return files;
}
