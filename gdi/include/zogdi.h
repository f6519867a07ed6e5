/* Drawing calls of the module on platforms other than Windows: the Windows
 * names, types and semantics of the GDI and USER calls the display uses, plus
 * what a host needs to draw into a pixel canvas and read it back. */
#ifndef ZOGDI_H
#define ZOGDI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ZOGDI_BUILDING)
#define ZOGDI_API __attribute__((visibility("default")))
#else
#define ZOGDI_API
#endif

typedef int BOOL;
typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef DWORD COLORREF;
typedef const char* LPCSTR;
typedef void* HGDIOBJ;
typedef struct ZoGdiDC__* HDC;
typedef struct ZoGdiPen__* HPEN;
typedef struct ZoGdiBrush__* HBRUSH;
typedef struct ZoGdiFont__* HFONT;

typedef struct tagPOINT {
    int32_t x;
    int32_t y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} RECT;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
#define RGB(r, g, b) ((COLORREF)(((uint8_t)(r)) | (((DWORD)(uint8_t)(g)) << 8) | (((DWORD)(uint8_t)(b)) << 16)))
#define GetRValue(c) ((uint8_t)(c))
#define GetGValue(c) ((uint8_t)((c) >> 8))
#define GetBValue(c) ((uint8_t)((c) >> 16))
#define PS_SOLID 0
#define TRANSPARENT 1
#define OPAQUE 2
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_FONT 6
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define CLR_INVALID 0xFFFFFFFFu
#define HGDI_ERROR ((HGDIOBJ)(intptr_t)-1)

/* The calls the module makes, as on Windows. */
ZOGDI_API HPEN CreatePen(int style, int width, COLORREF color);
ZOGDI_API HBRUSH CreateSolidBrush(COLORREF color);
ZOGDI_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
ZOGDI_API BOOL DeleteObject(HGDIOBJ object);
ZOGDI_API BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
ZOGDI_API BOOL LineTo(HDC dc, int x, int y);
ZOGDI_API int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
ZOGDI_API COLORREF SetTextColor(HDC dc, COLORREF color);
ZOGDI_API int SetBkMode(HDC dc, int mode);
ZOGDI_API UINT SetTextAlign(HDC dc, UINT align);
ZOGDI_API BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);

/* A few more Windows calls, for hosts and tests. */
ZOGDI_API HGDIOBJ GetStockObject(int index);
ZOGDI_API BOOL GetCurrentPositionEx(HDC dc, LPPOINT position);
ZOGDI_API COLORREF SetBkColor(HDC dc, COLORREF color);

/* Host side: a device context over a W x H canvas of 0x00RRGGBB pixels
 * (row-major, top row first), a font of a pixel height, and bookkeeping.
 *
 * A width or height of 0 or less gives a DC whose canvas is empty (0 x 0,
 * no pixel pointer); a canvas too large to allocate gives a null DC.
 * ZoGdiCreateFont takes the character (em) height in pixels, 1 to 1024, as a
 * negative lfHeight does on Windows; other heights give a null font.
 * ZoGdiLiveObjects counts pens and brushes that still exist: an object
 * deleted while selected lives on, as in GDI, until it is deselected or its
 * DC is deleted. Handles are checked against a registry, so stale or garbage
 * handles fail instead of crashing. The library is not thread-safe. */
ZOGDI_API HDC ZoGdiCreateCanvasDC(int width, int height, COLORREF fill);
ZOGDI_API void ZoGdiDeleteDC(HDC dc);
ZOGDI_API const uint32_t* ZoGdiPixels(HDC dc, int* width, int* height);
ZOGDI_API HFONT ZoGdiCreateFont(int pixel_height);
ZOGDI_API HGDIOBJ ZoGdiCurrentObject(HDC dc, int kind); /* 1 pen, 2 brush, 6 font */
ZOGDI_API long ZoGdiLiveObjects(void); /* pens and brushes created and not yet deleted */

/* Call trace, for tests and tools that check what was drawn: every call of
 * the eleven drawing calls above is reported, after it ran, to one
 * process-wide observer (null stops it). args hold the call's integers in
 * order: CreatePen style, width; MoveToEx/LineTo/TextOutA x, y; FillRect the
 * rectangle; SetBkMode/SetTextAlign the mode. */
typedef struct ZoGdiCall {
    const char* name;
    HDC dc;
    int32_t args[4];
    COLORREF colour; /* CreatePen, CreateSolidBrush, SetTextColor */
    HGDIOBJ object;  /* created, selected, deleted or used brush */
    const char* text; /* TextOutA, not terminated */
    int length;
} ZoGdiCall;
typedef void (*ZoGdiTraceFn)(void* user, const ZoGdiCall* call);
ZOGDI_API void ZoGdiSetTrace(ZoGdiTraceFn trace, void* user);

#ifdef __cplusplus
}
#endif

#endif
