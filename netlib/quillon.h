/* The network library quillon: FTP upload of a job file to a printer, the
 * printer's model query over its console, and the network printer browse.
 * Plain C interface; every export is synchronous and keeps no state. */
#ifndef QUILLON_H
#define QUILLON_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUILLON_BUILDING_LIBRARY)
#define QUILLON_API __attribute__((visibility("default")))
#else
#define QUILLON_API
#endif

/* Result codes. QUILLON_FileTransfer returns them; QUILLON_GetPrinterInfo
 * leaves them in the thread's last error (QUILLON_GetLastError).
 * QUILLON_FileTransfer returns ERR_CONNECT both before its login (no such
 * host, connection refused or timed out, no greeting, login refused) and
 * when no local data port is free: NOTIFY_LOGGED_IN, sent in between,
 * tells the two apart. */
#define ERR_NET_STARTUP 0x20000000
#define ERR_NO_REPLY 0x20000001
#define ERR_DIRECTORY 0x20000003
#define ERR_TYPE 0x20000004
#define ERR_STORE 0x20000005
#define ERR_CONNECT 0x20000006
#define ERR_PORT 0x20000007
#define ERR_DATA_ACCEPT 0x20000008
#define ERR_FILE_READ 0x20000009
#define ERR_DATA_SEND 0x2000000a
#define ERR_TRANSFER_REPLY 0x2000000b
#define ERR_NOT_PRINTER 0x20000011
#define ERR_CANCELLED 0x20001000
#define QUILLON_ERROR_INVALID_PARAMETER 87
#define QUILLON_ERROR_INSUFFICIENT_BUFFER 122
/* QUILLON_SelectPrinter: the browse module cannot be loaded, or lacks its
 * entry. */
#define QUILLON_ERROR_MOD_NOT_FOUND 126
#define QUILLON_ERROR_PROC_NOT_FOUND 127

/* Progress notification of QUILLON_FileTransfer: message, then wParam. */
#define WM_TRANSFER_NOTIFY 0x410
#define NOTIFY_BEGIN 1
#define NOTIFY_NET_READY 2
#define NOTIFY_LOGGED_IN 3
#define NOTIFY_CONNECTING 4
#define NOTIFY_SENDING 5
#define NOTIFY_PROGRESS 6
#define NOTIFY_SENT 7
/* Sent while the transfer waits for the printer (connect, a reply, the
 * data connection, room to send) each time 200 ms have passed without
 * anything happening; lParam 0. Its answer, like every other one, may ask
 * for the abort, so a waiting transfer ends soon after it is asked to. */
#define NOTIFY_WAITING 8

/* The caller's notify target, owned by the caller. The library calls
 * Callback synchronously on its own thread; an answer of exactly 1 asks
 * for an abort, any other answer means "go on". A null target, or one
 * without a callback, receives nothing and cannot abort. The callback must
 * not throw. */
typedef intptr_t (*QUILLON_NotifyProc)(void* context, unsigned int message,
                                       uintptr_t wParam, intptr_t lParam);
typedef struct QUILLON_NotifyTarget {
  QUILLON_NotifyProc Callback;
  void* Context;
} QUILLON_NotifyTarget;

/* Result block of QUILLON_GetPrinterInfo: 80 bytes, NUL-terminated texts. */
typedef struct PrinterInfo {
  char ModelName[40];
  char Version[40];
} PrinterInfo;

/* Browses the network printers; owner is the caller's window, a QWidget*
 * (may be 0). The length receives the path's length whenever one is chosen;
 * a path that does not fit with its NUL leaves error 122.
 * Returns nonzero when a printer was chosen and its path copied.
 * The dialog is in the module quillon/libquillon-browse.so beside the
 * library, loaded on the first call (so loading the library loads no
 * widget library); when it cannot be loaded, 0 with the last error 126
 * (127: the module lacks its entry) and the loader's reason as the last
 * error's detail. */
QUILLON_API int QUILLON_SelectPrinter(void* owner, char* path, uint32_t size,
                                      uint32_t* length);

/* Asks the printer's console at host (IPv4, IPv6 or a host name, with
 * ":port" if need be; "[v6]:port") for its model and version. 1 and info
 * filled on success (UTF-8, each value cut to 39 bytes on a character
 * boundary); 0 and the last error (87, ERR_CONNECT, ERR_NOT_PRINTER) with
 * its detail otherwise. */
QUILLON_API int QUILLON_GetPrinterInfo(const char* host, PrinterInfo* info);

/* QUILLON_GetPrinterInfo that can be stopped: while it waits (connect,
 * the console's input, a send) notify receives NOTIFY_WAITING at least
 * every 200 ms, and an answer of 1 ends the query at once with the last
 * error ERR_CANCELLED. A null notify makes it QUILLON_GetPrinterInfo. */
QUILLON_API int QUILLON_GetPrinterInfoEx(const QUILLON_NotifyTarget* notify, const char* host,
                                         PrinterInfo* info);

/* Uploads file into directory on the FTP server of the printer at host
 * (IPv4, IPv6 or a host name, with ":port" if need be; "[v6]:port").
 * Returns 0 or an ERR_* code and leaves the same code, with its cause, as
 * the thread's last error. */
QUILLON_API int QUILLON_FileTransfer(const QUILLON_NotifyTarget* notify,
                                     const char* host, const char* directory,
                                     const char* file);

/* The calling thread's last error, as left by the exports. */
QUILLON_API uint32_t QUILLON_GetLastError(void);

/* The cause behind the calling thread's last QUILLON_FileTransfer or
 * QUILLON_GetPrinterInfo result, in words: the step with the peer's reply
 * line, or the system's error text; empty after a success (and the reason
 * after QUILLON_SelectPrinter's errors 126 and 127). Copies at most
 * size - 1 bytes and a NUL into text (which may be 0) and returns the
 * detail's full length. */
QUILLON_API uint32_t QUILLON_GetLastErrorDetail(char* text, uint32_t size);

#ifdef __cplusplus
}
#endif

#endif /* QUILLON_H */
