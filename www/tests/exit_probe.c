/* A stand-in for a client-exit library, preloaded into the CGI program by
   www_exports_test: before the program starts it looks the client library's callbacks up
   as an exit library does, writes one line per name ("found" or "missing") and ends the
   process. Never staged. */
#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

static const char* const kNames[] = {"CsYieldControlCallback", "ExitSearchFolderCallback", "ExitDataCallback",
                                     "ExitNoteCallback",
                                     /* internal to the program: never exported */
                                     "Client_Init"};

__attribute__((constructor)) static void LookUpCallbacks(void) {
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        printf("%s %s\n", kNames[i], dlsym(RTLD_DEFAULT, kNames[i]) != NULL ? "found" : "missing");
    fflush(stdout);
    _exit(0);
}
