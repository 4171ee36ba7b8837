/* zrobot: runs a program and acts as its user, step by step, printing what it sees.

   zrobot [--dir DIR] "COMMAND LINE" STEP...
   Steps:
     box=ok|cancel|yes|no   wait for a message box, print it, press the button
     dialog=CLASS           wait for the program's window of that class
     click=ID               click a control of that window
     text=ID                print a control's text
     wait=ID:TEXT           wait until a control shows TEXT
     exit                   wait for the program to end (implied at the end)
   The exit code is the program's, or 100 + the number of the step that failed. Each wait lasts
   up to 15 s, or ZROBOT_WAIT_MS milliseconds where that is set (an emulated machine is slower). */
#include "robot.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int ButtonId(const char* name)
{
    if (!_stricmp(name, "ok")) return IDOK;
    if (!_stricmp(name, "cancel")) return IDCANCEL;
    if (!_stricmp(name, "yes")) return IDYES;
    if (!_stricmp(name, "no")) return IDNO;
    return atoi(name);
}

int main(int argc, char** argv)
{
    int arg = 1;
    std::string dir;
    if (arg + 1 < argc && !strcmp(argv[arg], "--dir")) {
        dir = argv[arg + 1];
        arg += 2;
    }
    if (arg >= argc) {
        fprintf(stderr, "usage: zrobot [--dir DIR] \"COMMAND LINE\" STEP...\n");
        return 2;
    }
    const char* wait = getenv("ZROBOT_WAIT_MS");
    const DWORD waitMs = wait && atol(wait) > 0 ? (DWORD)atol(wait) : 15000;
    robot::Program program(argv[arg++], dir);
    if (!program.Started()) {
        fprintf(stderr, "zrobot: cannot start the program: %lu\n", (unsigned long)GetLastError());
        return 2;
    }
    for (int step = 1; arg < argc; ++arg, ++step) {
        const char* s = argv[arg];
        const char* value = strchr(s, '=');
        value = value ? value + 1 : "";
        bool ok = true;
        if (!strncmp(s, "box=", 4)) {
            robot::MessageBoxInfo box;
            ok = program.WaitMessageBox(&box, waitMs);
            if (ok) {
                printf("box caption=[%s] icon=%s\n%s\n", box.caption.c_str(), box.icon.c_str(), box.text.c_str());
                ok = program.Answer(box, ButtonId(value));
            }
        } else if (!strncmp(s, "dialog=", 7)) {
            ok = program.WaitWindow(value, waitMs) != NULL;
        } else if (!strncmp(s, "click=", 6)) {
            ok = program.Click(atoi(value));
        } else if (!strncmp(s, "text=", 5)) {
            printf("%s: %s\n", value, program.Text(atoi(value)).c_str());
        } else if (!strncmp(s, "wait=", 5)) {
            const char* colon = strchr(value, ':');
            ok = colon && program.WaitText(atoi(value), colon + 1, waitMs);
        } else if (strcmp(s, "exit") != 0) {
            fprintf(stderr, "zrobot: unknown step %s\n", s);
            return 2;
        }
        fflush(stdout);
        if (!ok) {
            fprintf(stderr, "zrobot: step %d (%s) failed\n", step, s);
            return 100 + step;
        }
    }
    int code = program.WaitExit(120000);
    printf("exit %d\n", code);
    return code;
}
