/*
 * ServerApi.h - the host's view of a server-access module, in plain C.
 *
 * A host loads the module, looks up its one export InitServerAPI, calls it with
 * SERVER_API_VERSION and receives the table of 27 operations below. Every
 * operation runs on the caller's thread and returns a ServerApiResult (or
 * nothing). Text is UTF-16, zero-terminated; parameter keys are narrow bytes.
 *
 * Threads: any thread may call, several at once. Calls on different
 * connections never wait for each other. While a call runs on a connection,
 * a call on it from another thread answers ApiConnectionBusy at once; the
 * running call's own callbacks may call any operation on any connection.
 * CloseServer and AbortServer work from any thread and never wait for the
 * call they stop, which fails on its own thread within a fraction of a second.
 */
#ifndef SERVER_API_H
#define SERVER_API_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define SERVER_API_VERSION 3
#define SERVER_API_SLOT_COUNT 27

/* Table operations and InitServerAPI: the platform's default (caller-cleans)
 * convention. Host callbacks: callee-cleans (__stdcall on 32-bit x86). */
#if defined(_WIN32)
#define SERVER_API_CALL __cdecl
#define SERVER_API_CALLBACK __stdcall
typedef wchar_t ServerApiChar;
#else
#define SERVER_API_CALL
#define SERVER_API_CALLBACK
typedef char16_t ServerApiChar;
#endif

/* Result codes. 0 is success; failures are negative. */
typedef int32_t ServerApiResult;
enum {
    ApiOk = 0,
    ApiOutOfMemory = -2,
    ApiFailed = -3,
    ApiInvalidArgument = -4,
    ApiNoSuchConnection = -5,
    ApiIndexOutOfRange = -6,
    ApiBufferTooSmall = -7,
    ApiVersionMismatch = -10,
    ApiParameterNotFound = -11,
    ApiMissingServerParameter = -12,
    ApiInternetOpenFailed = -13,
    ApiConnectFailed = -14,
    ApiFolderUnavailable = -15,
    ApiRemoteOpenFailed = -17,
    ApiTransferFailed = -18,
    ApiTransferCancelled = -19,
    /* Another thread's call is running on this connection. Calls on one
     * connection never wait for each other (a wait could be on a thread that
     * is itself waiting for the caller); call again once that one returned.
     * CloseServer and AbortServer are never refused. */
    ApiConnectionBusy = -20
};

/* Host callbacks. Each returns true to go on, false to stop; only the low byte
 * counts. 64-bit arguments travel as two words, low word first, on 32-bit x86. */
typedef bool (SERVER_API_CALLBACK *ParameterCallback)(void *context, const char *key,
                                                      const ServerApiChar *value, int32_t kind);
typedef bool (SERVER_API_CALLBACK *ReadAssetCallback)(void *context, const void *data,
                                                      uint32_t count, int64_t totalSize);
typedef bool (SERVER_API_CALLBACK *TransferProgressCallback)(void *context, uint32_t count,
                                                             int64_t totalSize);
/* On entry *length is the buffer's capacity (262144); on return the bytes placed. */
typedef bool (SERVER_API_CALLBACK *WriteAssetCallback)(void *context, void *buffer,
                                                       uint32_t *length);

/* Server parameters, set by the host in the set it passes to OpenServer
 * (DescribeServerParameters writes each key with its label):
 *   "ServerPrimaryAddress", "ServerPrimaryPort", "ServerPrimaryLoginName",
 *   "ServerPrimaryLoginPassword"  required;
 *   "ServerUsePassive"            non-zero: passive FTP;
 *   "ServerVerifyByRead"          non-zero: GetAssetInfo reads a few bytes and
 *                                 marks a file that gives none "Under Construction";
 *   "ServerEndOnConfirmation"     non-zero: ReadAsset and DownloadAsset end as
 *                                 soon as the server has confirmed the end of the
 *                                 retrieval, instead of retrying the final empty
 *                                 read ten times a second apart (about ten seconds
 *                                 at the end of every file). An empty read without
 *                                 that confirmation is still retried. On WinInet,
 *                                 which cannot tell, the waits stay;
 *   "ServerStopOnRefusal"         non-zero: GetAssetInfo stops retrying the open
 *                                 of a file the server refuses with a permanent
 *                                 (5xx) reply, instead of 30 attempts a second
 *                                 apart; 4xx replies and a transfer in progress
 *                                 are still retried.
 * The flags are decimal text; absent, empty or "0" is off. */
#define SERVER_API_KEY_PRIMARY_ADDRESS "ServerPrimaryAddress"
#define SERVER_API_KEY_PRIMARY_PORT "ServerPrimaryPort"
#define SERVER_API_KEY_PRIMARY_LOGIN_NAME "ServerPrimaryLoginName"
#define SERVER_API_KEY_PRIMARY_LOGIN_PASSWORD "ServerPrimaryLoginPassword"
#define SERVER_API_KEY_USE_PASSIVE "ServerUsePassive"
#define SERVER_API_KEY_VERIFY_BY_READ "ServerVerifyByRead"
#define SERVER_API_KEY_END_ON_CONFIRMATION "ServerEndOnConfirmation"
#define SERVER_API_KEY_STOP_ON_REFUSAL "ServerStopOnRefusal"

/* Asset parameters: GetAssetInfo writes the name, the size in decimal digits
 * and, when its read test found no data, "1" under "Under Construction" into
 * the host's set; WriteAsset and UploadAsset store under the host's "Title". */
#define SERVER_API_KEY_ASSET_NAME "AssetName"
#define SERVER_API_KEY_ASSET_SIZE "AssetSize"
#define SERVER_API_KEY_UNDER_CONSTRUCTION "Under Construction"
#define SERVER_API_KEY_TITLE "Title"

/* The 27 slots, in table order. */
typedef void (SERVER_API_CALL *ReleaseServerAPIFunction)(void);
typedef ServerApiResult (SERVER_API_CALL *GetServerTypeNameFunction)(ServerApiChar *text, uint32_t *length);
typedef ServerApiResult (SERVER_API_CALL *GetServerTypeIdFunction)(ServerApiChar *text);
typedef ServerApiResult (SERVER_API_CALL *GetServerGroupNameFunction)(ServerApiChar *text, uint32_t *length);
typedef ServerApiResult (SERVER_API_CALL *DescribeServerParametersFunction)(int32_t parameterSet);
typedef ServerApiResult (SERVER_API_CALL *DescribeAssetParametersFunction)(int32_t parameterSet);
typedef ServerApiResult (SERVER_API_CALL *CreateParameterSetFunction)(int32_t *parameterSet);
typedef void (SERVER_API_CALL *DestroyParameterSetFunction)(int32_t parameterSet);
typedef ServerApiResult (SERVER_API_CALL *SetParameterFunction)(int32_t parameterSet, const char *key,
                                                                const ServerApiChar *value);
typedef ServerApiResult (SERVER_API_CALL *RemoveParameterFunction)(int32_t parameterSet, const char *key);
typedef ServerApiResult (SERVER_API_CALL *GetParameterFunction)(int32_t parameterSet, const char *key,
                                                                ServerApiChar *text, uint32_t *length);
typedef ServerApiResult (SERVER_API_CALL *EnumerateParametersFunction)(int32_t parameterSet,
                                                                       ParameterCallback callback,
                                                                       void *context);
/* "ServerReconnect" (optional; absent, empty or "0": off, "1": on; builds whose
 * FTP client can list it in DescribeServerParameters, WinInet's cannot and
 * ignores it): a connection the server or the network dropped (an idle
 * timeout's "421", a reset) is opened again within the call that finds it gone,
 * with the same address, login, mode and trust, and the current folder is
 * entered again; the call then runs once more. A retrieval cut short resumes
 * with REST at the byte it stopped at, on the same file only (SIZE and, where
 * the server has it, MDTM unchanged); otherwise it fails as before. At most
 * three reconnects a call, one second then two apart; a refused login or
 * certificate ends it at once. UploadAsset sends its local file again, whole,
 * once; WriteAsset fails as before.
 *
 * "ServerVerifyHash" (optional; absent, empty or "0": off; "1": verify where
 * the server offers a digest; "2" or more: require it): every transfer that
 * reaches its end is checked against the server's own digest of the file
 * (HASH with SHA-256 where its FEAT lists it, else the strongest algorithm it
 * lists, chosen with OPTS HASH; else XSHA256, XSHA1, XMD5, XCRC), the local
 * side hashed as the bytes pass.
 * A digest that differs fails the transfer with ApiTransferFailed: ReadAsset
 * after the host got every byte (it must not keep them), DownloadAsset with
 * its local file deleted, WriteAsset and UploadAsset with the stored file left
 * on the server. With "1" a server that offers no digest (or refuses one, or
 * answers none in time) lets the transfer pass unverified; with "2" that fails
 * it too (ApiTransferFailed; a store is refused before it starts, ApiFailed).
 * The wait for a digest is the usual 60 s and a second more per 100 MiB.
 * After each transfer the module writes "ServerVerifyResult" into the set it
 * was opened with, if the host still has it: "verified (SHA-256)", or why the
 * file is not verified or failed; it is removed when no check was made (a
 * transfer stopped early). Builds on WinInet do not list the key and cannot
 * ask for digests: they behave as a server that offers none ("1" passes, "2"
 * fails every transfer before it starts).
 *
 * "ServerFollowGrowing" (optional; absent, empty or "0": off; "1" to "3600":
 * seconds; blanks around the number allowed; any other text fails OpenServer
 * with ApiConnectFailed before anything is sent, the reason in
 * "ServerFailure"): for files still being written. When a retrieval
 * (DownloadAsset, ReadAsset) reaches the end the server sent, the module asks
 * the file's size again (SIZE, with MDTM, once a second); while it has grown,
 * it fetches the new bytes (REST at what it has, RETR) into the same stream,
 * and it ends once the size has stayed the same for that many seconds. The
 * host sees one stream; totalSize stays the size the file had at the start,
 * so the bytes handed over may pass it. Between rounds the file may only
 * grow: a size that shrank, a time (MDTM) that went back or a file gone fails
 * the call (ApiTransferFailed, a download's local file deleted); with
 * "ServerVerifyHash" the whole stream is checked against the server's digest
 * at the end. AbortServer from another thread ends a follow within a second.
 * GetAssetInfo also writes "1" under "Under Construction" when the size grew
 * between its probe and a second one a second later. Builds on WinInet do not
 * list the key and ignore it.
 *
 * OpenServer reads, beside the address, port, login and flags, three optional
 * keys for FTPS (builds whose FTP client has TLS list them in
 * DescribeServerParameters; elsewhere any mode but 0 fails with ApiConnectFailed
 * without connecting):
 *   "ServerUseTLS"          "0" clear text (the default, also when absent);
 *                           "1" explicit FTPS (AUTH TLS), required; "2" implicit
 *                           FTPS (TLS from the first byte, usually port 990).
 *                           Blanks around the digit are allowed; any other
 *                           text ("yes", "3") fails with ApiConnectFailed
 *                           before anything is sent: never clear text.
 *   "ServerTLSCAFile"       a PEM file of the CAs to trust instead of the system's.
 *   "ServerTLSFingerprint"  the SHA-256 fingerprint of the one certificate to
 *                           trust, whoever signed it: hex, either case, colons
 *                           allowed ("AB:CD:...", as openssl x509 -fingerprint
 *                           -sha256 prints it).
 * Without a CA file or a pin, the server's certificate must chain to the system's
 * CAs and name the server's address. When it does not, or the TLS handshake
 * fails, OpenServer returns ApiConnectFailed having sent nothing after the
 * handshake, and writes "ServerTLSFailure" into the set: the reason on one line,
 * then the certificate's fingerprint ("SHA256 Fingerprint=AB:CD:..."). Another
 * failure removes that key. There is never a fallback to clear text.
 *
 * Whenever OpenServer fails after reading the set, it writes "ServerFailure"
 * into it: what happened, in one line, with the server's reply where there is
 * one ("530 Login incorrect.", "ftp.example.org does not resolve", "no greeting
 * within 60 s"). A successful open removes it. A "ServerPrimaryPort" of 0 is
 * the default FTP port, 21. */
#define SERVER_API_KEY_RECONNECT "ServerReconnect"
#define SERVER_API_KEY_VERIFY_HASH "ServerVerifyHash"
#define SERVER_API_KEY_FOLLOW_GROWING "ServerFollowGrowing"
#define SERVER_API_KEY_VERIFY_RESULT "ServerVerifyResult"
#define SERVER_API_KEY_USE_TLS "ServerUseTLS"
#define SERVER_API_KEY_TLS_CA_FILE "ServerTLSCAFile"
#define SERVER_API_KEY_TLS_FINGERPRINT "ServerTLSFingerprint"
#define SERVER_API_KEY_TLS_FAILURE "ServerTLSFailure"
#define SERVER_API_KEY_FAILURE "ServerFailure"
/* After every listing the module writes "ServerListingNote" into the set the
 * connection was opened with, while the host keeps that set, when some lines
 * of the server's listing could not be read: how many, and how many entries
 * the names the server gives (NLST) added, so that none is silently missing.
 * It is removed after a listing whose every line was read. */
#define SERVER_API_KEY_LISTING_NOTE "ServerListingNote"
typedef ServerApiResult (SERVER_API_CALL *OpenServerFunction)(int32_t parameterSet, int32_t *connection);
typedef void (SERVER_API_CALL *CloseServerFunction)(int32_t connection);
typedef ServerApiResult (SERVER_API_CALL *ListingTextFunction)(int32_t connection, int32_t index,
                                                               ServerApiChar *text, uint32_t *length);
typedef ServerApiResult (SERVER_API_CALL *ChangeFolderFunction)(int32_t connection, const ServerApiChar *name);
typedef ServerApiResult (SERVER_API_CALL *GetCurrentFolderFunction)(int32_t connection, ServerApiChar *first,
                                                                    ServerApiChar *second, uint32_t *length);
typedef ServerApiResult (SERVER_API_CALL *GetAssetInfoFunction)(int32_t connection, const ServerApiChar *name,
                                                                int32_t parameterSet);
typedef ServerApiResult (SERVER_API_CALL *ReadAssetFunction)(int32_t connection, const ServerApiChar *name,
                                                             ReadAssetCallback callback, void *context);
typedef ServerApiResult (SERVER_API_CALL *DownloadAssetFunction)(int32_t connection,
                                                                 const ServerApiChar *remoteName,
                                                                 const ServerApiChar *localPath,
                                                                 TransferProgressCallback progress,
                                                                 void *context);
typedef ServerApiResult (SERVER_API_CALL *WriteAssetFunction)(int32_t connection, int32_t parameterSet,
                                                              int64_t streamSize, WriteAssetCallback callback,
                                                              void *context);
typedef ServerApiResult (SERVER_API_CALL *UploadAssetFunction)(int32_t connection, int32_t parameterSet,
                                                               const ServerApiChar *localPath,
                                                               TransferProgressCallback progress,
                                                               void *context);
typedef void (SERVER_API_CALL *AbortServerFunction)(int32_t connection);
typedef ServerApiResult (SERVER_API_CALL *DeleteAssetFunction)(int32_t connection, const ServerApiChar *name);

/* The table: 27 function addresses, nothing else. */
typedef struct ServerApiFunctions {
    ReleaseServerAPIFunction ReleaseServerAPI;                 /*  0 */
    GetServerTypeNameFunction GetServerTypeName;               /*  1 */
    GetServerTypeIdFunction GetServerTypeId;                   /*  2 */
    GetServerGroupNameFunction GetServerGroupName;             /*  3 */
    DescribeServerParametersFunction DescribeServerParameters; /*  4 */
    DescribeAssetParametersFunction DescribeAssetParameters;   /*  5 */
    CreateParameterSetFunction CreateParameterSet;             /*  6 */
    DestroyParameterSetFunction DestroyParameterSet;           /*  7 */
    SetParameterFunction SetParameter;                         /*  8 */
    RemoveParameterFunction RemoveParameter;                   /*  9 */
    GetParameterFunction GetParameter;                         /* 10 */
    EnumerateParametersFunction EnumerateParameters;           /* 11 */
    OpenServerFunction OpenServer;                             /* 12 */
    CloseServerFunction CloseServer;                           /* 13 */
    ListingTextFunction GetFolderName;                         /* 14 */
    ListingTextFunction GetFolderTitle;                        /* 15 */
    ListingTextFunction GetAssetName;                          /* 16 */
    ListingTextFunction GetAssetTitle;                         /* 17 */
    ChangeFolderFunction ChangeFolder;                         /* 18 */
    GetCurrentFolderFunction GetCurrentFolder;                 /* 19 */
    GetAssetInfoFunction GetAssetInfo;                         /* 20 */
    ReadAssetFunction ReadAsset;                               /* 21 */
    DownloadAssetFunction DownloadAsset;                       /* 22 */
    WriteAssetFunction WriteAsset;                             /* 23 */
    UploadAssetFunction UploadAsset;                           /* 24 */
    AbortServerFunction AbortServer;                           /* 25 */
    DeleteAssetFunction DeleteAsset;                           /* 26 */
} ServerApiFunctions;

/* The module's only export. Stores the table's address through `table` on
 * success: ApiOk; ApiVersionMismatch, ApiInvalidArgument, ApiOutOfMemory or
 * ApiFailed otherwise, with *table untouched. */
typedef ServerApiResult (SERVER_API_CALL *InitServerAPIFunction)(int32_t version,
                                                                 const ServerApiFunctions **table);
#define SERVER_API_ENTRY_NAME "InitServerAPI"

#ifdef __cplusplus
}
#endif

#endif /* SERVER_API_H */
