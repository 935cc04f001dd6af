/* Pargo: the command-line argument library.
 *
 * A program hands over its command line once with PRGO_SetArguments and then
 * asks for arguments by key (the keys are listed below). Texts come back in
 * buffers that belong to the library's own heap: give each one back with
 * PRGO_FreeString, never free it yourself.
 *
 * Usable from C and C++. The library keeps one argument list per process and
 * takes no locks: PRGO_SetArguments must not overlap any other call, lookups
 * may overlap one another. */
#ifndef PARGO_PARGO_H
#define PARGO_PARGO_H

#if defined(_WIN32)
#  if defined(PARGO_BUILDING_LIBRARY)
#    define PRGO_API __declspec(dllexport)
#  else
#    define PRGO_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define PRGO_API __attribute__((visibility("default")))
#else
#  define PRGO_API
#endif

/* Keys by which arguments are looked up. */
enum {
    PRGO_KEY_UNKNOWN = 0,      /* a switch whose keyword the library does not know */
    PRGO_KEY_POSITIONAL = 1,   /* a word that does not begin with '/' */
    PRGO_KEY_READ = 2,
    PRGO_KEY_WRITE = 3,
    PRGO_KEY_TEST = 4,
    PRGO_KEY_NEWNETPARAM = 5,
    PRGO_KEY_CALIBRATE = 6,
    PRGO_KEY_PORT = 7,
    PRGO_KEY_BPS = 8,
    PRGO_KEY_PRTY = 9,
    PRGO_KEY_ADDR = 10,
    PRGO_KEY_LEN = 11,
    PRGO_KEY_SBIT = 12,
    PRGO_KEY_ALEN = 13,
    PRGO_KEY_RS485 = 14,
    PRGO_KEY_APLY = 15,
    PRGO_KEY_X = 16,
    PRGO_KEY_Y = 17,
    PRGO_KEY_W = 18,
    PRGO_KEY_H = 19,
    PRGO_KEY_AUTOREAD = 20,
    PRGO_KEY_AUTOWRITE = 21,
    PRGO_KEY_SILENT = 22,
    PRGO_KEY_CLOSE = 23,
    PRGO_KEY_DEVICE = 24,
    PRGO_KEY_DEVVER = 25,
    PRGO_KEY_AT_OFF = 26,
    PRGO_KEY_AT_ON = 27,
    PRGO_KEY_AMETHOD = 29,
    PRGO_KEY_ELOF = 30,
    PRGO_KEY_EXITEVENT = 31,
    PRGO_KEY_CONFIRMEVENT = 32,
    PRGO_KEY_UNI = 33,
    PRGO_KEY_IO = 34
};

/* I/O channel kinds answered by PRGO_LookupIoArg. */
enum {
    PRGO_IO_UNKNOWN = 0,
    PRGO_IO_STDIO = 1,
    PRGO_IO_PIPE = 2,
    PRGO_IO_SOCKET = 3
};

#ifdef __cplusplus
extern "C" {
#endif

/* Parses command_line (8-bit text; null counts as empty) and replaces every
 * argument of an earlier call. */
PRGO_API void PRGO_SetArguments(const char* command_line);

/* The first argument with key that has no value type or an integer or on/off
 * value: *value (when value is not null) receives its number, 0 for a switch
 * without value. Answers 1 when found, else 0 with *value untouched. */
PRGO_API int PRGO_LookupArgInt(int key, int* value);

/* As PRGO_LookupArgInt, but *value is 1 for a non-zero number, else 0. */
PRGO_API int PRGO_LookupArgBool(int key, int* value);

/* The first argument with key, whatever its type: *text receives its value as
 * text (numbers in decimal; a switch without value gives an empty string).
 * Give *text back with PRGO_FreeString. Answers 1 when found (*text is null
 * when memory ran out), else 0 with *text untouched; a null text answers 0. */
PRGO_API int PRGO_LookupArgString(int key, char** text);

/* The first "io" argument: *io_kind (when io_kind is not null) receives its
 * PRGO_IO_... kind and *parameter the pipe name, the socket port in decimal or
 * an empty string. Give *parameter back with PRGO_FreeString. Answers 1 when
 * found, else 0 with both outputs untouched; a null parameter answers 0. */
PRGO_API int PRGO_LookupIoArg(int* io_kind, char** parameter);

/* Gives back a text received from a lookup; null is ignored. */
PRGO_API void PRGO_FreeString(char* text);

#ifdef __cplusplus
}
#endif

#endif /* PARGO_PARGO_H */
