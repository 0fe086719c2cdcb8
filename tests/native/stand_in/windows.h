// A stand-in for the few Win32 declarations the host uses, so that the host's
// own sources compile on Linux against a scripted console (scripted_console.h).
// Types, constants and layouts follow the real headers.
#pragma once

#include <cstdint>

#define WINAPI
#define TRUE 1
#define FALSE 0

typedef int BOOL;
typedef unsigned char BYTE;
typedef char CHAR;
typedef short SHORT;
typedef unsigned short WORD;
typedef unsigned short WCHAR;
typedef unsigned int UINT;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HMODULE;
typedef const char* LPCSTR;
typedef intptr_t(WINAPI* FARPROC)();

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define CONSOLE_TEXTMODE_BUFFER 1
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u

#define CTRL_C_EVENT 0u
#define CTRL_BREAK_EVENT 1u
#define CTRL_CLOSE_EVENT 2u
#define CTRL_LOGOFF_EVENT 5u
#define CTRL_SHUTDOWN_EVENT 6u

#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0
#define SEM_FAILCRITICALERRORS 0x0001u
#define SEM_NOGPFAULTERRORBOX 0x0002u

#define KEY_EVENT 0x0001
#define MOUSE_EVENT 0x0002
#define WINDOW_BUFFER_SIZE_EVENT 0x0004
#define MENU_EVENT 0x0008
#define FOCUS_EVENT 0x0010

#define RIGHT_ALT_PRESSED 0x0001
#define LEFT_ALT_PRESSED 0x0002
#define RIGHT_CTRL_PRESSED 0x0004
#define LEFT_CTRL_PRESSED 0x0008
#define SHIFT_PRESSED 0x0010
#define NUMLOCK_ON 0x0020
#define SCROLLLOCK_ON 0x0040
#define CAPSLOCK_ON 0x0080
#define ENHANCED_KEY 0x0100

#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F5 0x74
#define VK_F6 0x75
#define VK_F7 0x76
#define VK_F8 0x77
#define VK_F9 0x78
#define VK_F10 0x79
#define VK_F11 0x7A
#define VK_F12 0x7B

#define MB_OK 0x00000000u
#define MB_ICONEXCLAMATION 0x00000030u

struct COORD {
    SHORT X;
    SHORT Y;
};

struct SMALL_RECT {
    SHORT Left;
    SHORT Top;
    SHORT Right;
    SHORT Bottom;
};

struct CHAR_INFO {
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } Char;
    WORD Attributes;
};

struct CONSOLE_CURSOR_INFO {
    DWORD dwSize;
    BOOL bVisible;
};

struct KEY_EVENT_RECORD {
    BOOL bKeyDown;
    WORD wRepeatCount;
    WORD wVirtualKeyCode;
    WORD wVirtualScanCode;
    union {
        WCHAR UnicodeChar;
        CHAR AsciiChar;
    } uChar;
    DWORD dwControlKeyState;
};

struct MOUSE_EVENT_RECORD {
    COORD dwMousePosition;
    DWORD dwButtonState;
    DWORD dwControlKeyState;
    DWORD dwEventFlags;
};

struct INPUT_RECORD {
    WORD EventType;
    union {
        KEY_EVENT_RECORD KeyEvent;
        MOUSE_EVENT_RECORD MouseEvent;
        COORD WindowBufferSizeEvent;
        UINT MenuEvent;
        BOOL FocusEvent;
    } Event;
};

struct EXCEPTION_POINTERS {
    void* ExceptionRecord;
    void* ContextRecord;
};

typedef BOOL(WINAPI* PHANDLER_ROUTINE)(DWORD event);
typedef LONG(WINAPI* LPTOP_LEVEL_EXCEPTION_FILTER)(EXCEPTION_POINTERS* exception);

static_assert(sizeof(KEY_EVENT_RECORD) == 16, "layout of the real record");
static_assert(sizeof(INPUT_RECORD) == 20, "layout of the real record");
static_assert(sizeof(CHAR_INFO) == 4, "layout of the real cell");

HANDLE GetStdHandle(DWORD which);
HANDLE CreateConsoleScreenBuffer(DWORD access, DWORD share, const void* security, DWORD flags,
                                 void* reserved);
BOOL SetConsoleActiveScreenBuffer(HANDLE buffer);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, const void* security, DWORD disposition,
                   DWORD flags, HANDLE template_file);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter);
DWORD GetThreadErrorMode();
BOOL SetThreadErrorMode(DWORD mode, DWORD* previous_mode);
BOOL GetConsoleMode(HANDLE handle, DWORD* mode);
BOOL SetConsoleMode(HANDLE handle, DWORD mode);
BOOL SetConsoleCursorInfo(HANDLE buffer, const CONSOLE_CURSOR_INFO* info);
BOOL SetConsoleTitleA(LPCSTR title);
BOOL WriteConsoleOutputA(HANDLE buffer, const CHAR_INFO* cells, COORD size, COORD source,
                         SMALL_RECT* region);
BOOL GetNumberOfConsoleInputEvents(HANDLE input, DWORD* count);
BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, DWORD* read);
BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, DWORD* read);
BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* records, DWORD length, DWORD* written);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();
HMODULE LoadLibraryA(LPCSTR name);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);
