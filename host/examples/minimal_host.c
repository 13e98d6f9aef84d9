/*
 * minimal_host.c - the smallest complete host of a server-access module.
 *
 *   minimal_host MODULE HOST PORT USER PASSWORD [REMOTE LOCAL]
 *
 * Loads the module, asks what it serves, connects, lists the login folder and,
 * given REMOTE and LOCAL, downloads one file. Texts here are ASCII for
 * brevity; a real host converts UTF-8 (or its own text) to UTF-16.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ServerApi.h"

#if defined(_WIN32)
#include <windows.h>
#define LOAD(path) ((void *)LoadLibraryA(path))
#define UNLOAD(module) FreeLibrary((HMODULE)(module))
static InitServerAPIFunction find_entry(void *module) {
    return (InitServerAPIFunction)GetProcAddress((HMODULE)module, SERVER_API_ENTRY_NAME);
}
#else
#include <dlfcn.h>
#define LOAD(path) dlopen(path, RTLD_NOW)
#define UNLOAD(module) dlclose(module)
static InitServerAPIFunction find_entry(void *module) {
    /* dlsym returns an object pointer; copy it into the function pointer. */
    void *symbol = dlsym(module, SERVER_API_ENTRY_NAME);
    InitServerAPIFunction entry;
    memcpy(&entry, &symbol, sizeof entry);
    return entry;
}
#endif

#define TEXT_CAPACITY 1024

/* ASCII to the module's UTF-16 text. */
static void widen(const char *text, ServerApiChar *out) {
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < TEXT_CAPACITY; ++i) out[i] = (ServerApiChar)(unsigned char)text[i];
    out[i] = 0;
}

/* UTF-16 to ASCII for printing; anything else shows as '?'. */
static const char *narrow(const ServerApiChar *text) {
    static char out[TEXT_CAPACITY];
    size_t i = 0;
    for (; text[i] != 0 && i + 1 < TEXT_CAPACITY; ++i) out[i] = text[i] < 128 ? (char)text[i] : '?';
    out[i] = 0;
    return out;
}

/* Callbacks use the callee-cleans convention and return a one-byte bool. */
static bool SERVER_API_CALLBACK on_progress(void *context, uint32_t count, int64_t total_size) {
    long long *done = (long long *)context;
    *done += count;
    printf("  %lld of %lld bytes\n", *done, (long long)total_size);
    return true; /* false would cancel the download */
}

static int set_text(const ServerApiFunctions *api, int32_t set, const char *key, const char *value) {
    ServerApiChar wide[TEXT_CAPACITY];
    widen(value, wide);
    return api->SetParameter(set, key, wide);
}

/* Walks one list of the listing: index 0, 1, ... until ApiIndexOutOfRange. */
static void print_list(ListingTextFunction slot, int32_t connection, const char *suffix) {
    ServerApiChar name[TEXT_CAPACITY];
    for (int32_t index = 0;; ++index) {
        uint32_t length = TEXT_CAPACITY; /* capacity in, needed length out */
        ServerApiResult result = slot(connection, index, name, &length);
        if (result == ApiIndexOutOfRange) break;
        if (result == ApiOk) printf("  %s%s\n", narrow(name), suffix);
    }
}

int main(int argc, char **argv) {
    if (argc != 6 && argc != 8) {
        fprintf(stderr, "usage: %s MODULE HOST PORT USER PASSWORD [REMOTE LOCAL]\n", argv[0]);
        return 2;
    }
    void *module = LOAD(argv[1]);
    if (module == NULL) {
        fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    InitServerAPIFunction init = find_entry(module);
    const ServerApiFunctions *api = NULL;
    if (init == NULL || init(SERVER_API_VERSION, &api) != ApiOk) {
        fprintf(stderr, "%s is not a server-access module of version 3\n", argv[1]);
        UNLOAD(module);
        return 1;
    }

    ServerApiChar text[TEXT_CAPACITY];
    uint32_t length = TEXT_CAPACITY;
    if (api->GetServerTypeName(text, &length) == ApiOk) printf("server type: %s\n", narrow(text));

    /* The server's settings travel in a parameter set. */
    int32_t set = 0;
    int32_t connection = 0;
    ServerApiResult result = api->CreateParameterSet(&set);
    if (result == ApiOk) {
        set_text(api, set, "ServerPrimaryAddress", argv[2]);
        set_text(api, set, "ServerPrimaryPort", argv[3]);
        set_text(api, set, "ServerPrimaryLoginName", argv[4]);
        set_text(api, set, "ServerPrimaryLoginPassword", argv[5]);
        set_text(api, set, "ServerUsePassive", "1");
        result = api->OpenServer(set, &connection);
        api->DestroyParameterSet(set);
    }
    if (result != ApiOk) {
        fprintf(stderr, "OpenServer failed: %d\n", (int)result);
        api->ReleaseServerAPI();
        UNLOAD(module);
        return 1;
    }

    printf("listing:\n");
    print_list(api->GetFolderName, connection, "/");
    print_list(api->GetAssetName, connection, "");

    if (argc == 8) {
        ServerApiChar remote[TEXT_CAPACITY];
        ServerApiChar local[TEXT_CAPACITY];
        long long done = 0;
        widen(argv[6], remote);
        widen(argv[7], local);
        printf("downloading %s (the module waits ~10 s at the end for more data)\n", argv[6]);
        result = api->DownloadAsset(connection, remote, local, on_progress, &done);
        printf("DownloadAsset: %d\n", (int)result);
    }

    api->CloseServer(connection);
    api->ReleaseServerAPI();
    UNLOAD(module);
    return result == ApiOk ? 0 : 1;
}
