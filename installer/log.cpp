#include "installer/log.h"

#include "installer/globals.h"
#include "installer/text.h"

#include <stdlib.h>
#include <time.h>

FILE* gpLogFile = NULL;
char gszTempLogPath[260];

static void WriteIndent(int level)
{
    for (int i = 0; i < level; ++i)
        fputc('\t', gpLogFile);
}

const char* TempDirectoryName(void)
{
    const char* temp = getenv("TEMP");
    return temp ? temp : "\\TEMP";
}

int OpenUpgradeLog(void)
{
    const char* temp = TempDirectoryName();
    CreateDirectoryA(temp, NULL);
    if (!BuildPath(gszTempLogPath, sizeof(gszTempLogPath), "%s\\%s", temp, "UPGRADE.LOG"))
        return FALSE;
    gpLogFile = fopen(gszTempLogPath, "w+");
    if (!gpLogFile)
        return FALSE;

    /* hh:mm:ss Mmm dd yyyy, cut out of the standard local time text. */
    time_t now = time(NULL);
    const char* std = asctime(localtime(&now));
    char szStart[32] = "";
    if (std && strlen(std) >= 24)
        FormatText(szStart, sizeof(szStart), "%.8s %.6s %.4s", std + 11, std + 4, std + 20);

    char szDir[255] = "";
    GetCurrentDirectoryA(sizeof(szDir), szDir);

    fprintf(gpLogFile, "Tirn Hotfix Installer %s for %s\n", LOG_FORMAT_VERSION, LOG_PLATFORM);
    fprintf(gpLogFile, "Executable created %s %s for %s.\n", __TIME__, __DATE__, Str(STR_TITLE));
    fprintf(gpLogFile, "Upgrade started at %s in %s.\n", szStart, szDir);
    fputs("\n\n", gpLogFile);
    return TRUE;
}

void WriteLog(const char* text, int level)
{
    if (!text || !*text || !gpLogFile)
        return;
    WriteIndent(level);
    fputs(text, gpLogFile);
    fputc('\n', gpLogFile);
    fflush(gpLogFile);
}

void WriteLogString(int id, int level)
{
    if (!gpLogFile)
        return;
    WriteIndent(level);
    fputs(Str(id), gpLogFile);
    fputc('\n', gpLogFile);
}

void WriteLogF(int level, const char* fmt, ...)
{
    char szLine[2048];
    va_list ap;
    va_start(ap, fmt);
    FormatTextV(szLine, sizeof(szLine), fmt, ap);
    va_end(ap);
    WriteLog(szLine, level);
}

void FlushLogToProgramDir(void)
{
    if (!gpProgramDir || !*gpProgramDir || !gpLogFile)
        return;
    char szTarget[PATH_BUFFER];
    if (!BuildPath(szTarget, sizeof(szTarget), "%s\\%s", gpProgramDir, "UPGRADE.LOG")) {
        WriteLog("The path of UPGRADE.LOG in the program directory is too long.", 0);
        return;
    }
    FILE* target = fopen(szTarget, "a+");
    if (!target)
        return;
    fflush(gpLogFile);
    rewind(gpLogFile);
    char szPiece[260];
    while (fgets(szPiece, sizeof(szPiece), gpLogFile))
        fputs(szPiece, target);
    fputs("\n\n", target);
    fclose(target);
    fclose(gpLogFile);
    gpLogFile = NULL;
    DeleteFileA(gszTempLogPath);
}
